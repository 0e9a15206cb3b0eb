#pragma once
// Communication: PC link, LAN, Bluetooth, access point names and file servers.
#include "app/ui/pages/page.h"

class QCheckBox;
class QGroupBox;
class QListWidget;

namespace kestrel {

class TCommunicationPage : public TPage {
  Q_OBJECT

 public:
  TCommunicationPage(TPageShell& shell, const TPageRow& row);
  void read() override;
  void modelChanged(int ecrModel) override;

  void readCommunications();
  void btnSaveCommunicationClick();
  void chbxDHCPClick();
  void lstbxServersClick();
  void btnChangeServerListClick();
  void btnLoadAPNfromIniClick();
  void btnSaveAPNtoIniClick();

 protected:
  void apply(const TPageValues& values) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TPageValues values();

  QGroupBox* fECRs = nullptr;
  QGroupBox* fFPs = nullptr;
  QCheckBox* fDHCP = nullptr;
  QListWidget* fServers = nullptr;
};

}  // namespace kestrel
