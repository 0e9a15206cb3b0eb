#pragma once
// Device status: the eight status bytes of the last answer, bit by bit.
#include "app/ui/pages/page.h"

class QCheckBox;
class QGroupBox;

namespace kestrel {

class TStatusPage : public TPage {
  Q_OBJECT

 public:
  TStatusPage(TPageShell& shell, const TPageRow& row);
  // Captions from the engine's bit table, bold for the end-user error bits.
  void set_StatusBitCaptions();
  void startUp() override { set_StatusBitCaptions(); }
  // The boxes take the bits of the engine's last status.
  void showStatusBits();

 private:
  QGroupBox* fByteBoxes[8] = {};
  QCheckBox* fBits[8][8] = {};
};

}  // namespace kestrel
