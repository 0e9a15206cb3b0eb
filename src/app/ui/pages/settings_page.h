#pragma once
// Settings: the tool's own settings (items deleted after a Z report), written through
// to the settings file at every change.
#include "app/logic/settings_file.h"
#include "app/ui/pages/page.h"

class QCheckBox;
class QLineEdit;

namespace kestrel {

class TSettingsPage : public TPage {
  Q_OBJECT

 public:
  TSettingsPage(TPageShell& shell, const TPageRow& row);
  void loadSettings();
  // A new connection: the settings file may have changed since the window started.
  void connectionOpened() override { loadSettings(); }
  void saveSettings();
  // The settings as the page shows them.
  TFBHSettings shown() const;
  bool loadingSettings = false;

 private:
  void chbxSettingDelItemsZClick();
  void edDelFromPLUChange();
  void edDelToPLUChange();
  void edDelServPassChange();
  // Device backup: the device's setup into a file, and back (the restore shows its
  // changes first and asks). The service password above opens the service-mode values.
  void btnBackupDeviceClick();
  void btnRestoreDeviceClick();

  QCheckBox* chbxSettingDelItemsZ = nullptr;
  QLineEdit* edDelFromPLU = nullptr;
  QLineEdit* edDelToPLU = nullptr;
  QLineEdit* edDelServPass = nullptr;
  QCheckBox* chbxBackupItems = nullptr;
  QCheckBox* chbxBackupClients = nullptr;
};

}  // namespace kestrel
