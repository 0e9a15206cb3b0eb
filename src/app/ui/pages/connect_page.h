#pragma once
// Connect/Disconnect: opens and closes the one connection to a device, over a serial
// port or TCP/IP, identifies the model (command 90) and adapts the window to it.
#include <memory>

#include "app/logic/settings_file.h"
#include "app/ui/pages/page.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace kestrel {

class TComPortsBox;

class TConnectPage : public TPage {
  Q_OBJECT

 public:
  TConnectPage(TPageShell& shell, const TPageRow& row);
  ~TConnectPage() override;

  void btnConnectClick();
  void chbxTCPClick();
  bool connectFP();
  bool connectFPcmd90();
  void destroyFP();
  // Fills the page for TCP/IP at address and port (the embedded simulator); the
  // connection remembered in the settings file then no longer replaces it.
  void presetTCP(const std::string& address, uint16_t port);
  // The remembered connection back on the page (unless a preset came first).
  void restoreConnection(const TConnectionSettings& connection);
  // The connection as the page shows it.
  TConnectionSettings connectionShown() const;
  void modelChanged(int ecrModel) override;
  void connectionChanged(bool connected) override;
  // Closes what is left of the link and shows the page ready to connect again.
  void connectionLost() override;
  void restoreSession(TSettingsFile& file) override;
  bool saveSession(TSettingsFile& file) override;
  // "Find device": every listed port (a typed path first) at every line speed, and the
  // TCP/IP address when one is given; the first device found fills the page.
  void btnFindDeviceClick();

 private:
  // Shows a failed connect's message in an alert and keeps it for the status bar.
  void alertFailure(const std::string& text, bool titled);

  bool fPreset = false;
  // Why the last connect failed, in one line.
  std::string fFailure;
  std::unique_ptr<TComPortsBox> fComPorts;
  bool fPortsFilled = false;
  QComboBox* cbxCOM = nullptr;
  QComboBox* cbxSPEED = nullptr;
  QCheckBox* chbxTCP = nullptr;
  QLineEdit* edIPaddr = nullptr;
  QLineEdit* edPort = nullptr;
  QPushButton* btnConnect = nullptr;
  QPushButton* btnFindDevice = nullptr;
};

// Fills the Connect page of the window behind `shell` for TCP/IP (the embedded
// simulator, the tests).
void presetTCP(TPageShell& shell, const std::string& address, uint16_t port);

}  // namespace kestrel
