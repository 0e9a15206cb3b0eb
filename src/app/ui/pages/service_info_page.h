#pragma once
// Service info: service text and date, service mode with the technician's password,
// RAM reset, the record of a service operation, and the certificate check.
#include "app/ui/pages/page.h"
#include "support/date_time.h"

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTimeEdit;

namespace kestrel {

class TServiceInfoPage : public TPage {
  Q_OBJECT

 public:
  TServiceInfoPage(TPageShell& shell, const TPageRow& row);
  void read() override;
  void readServiceTab();
  void btnSaveServiceClick();
  void btnRamResetClick();
  void btnSetServiceOpClick();
  void btnCheckCertificatesClick();

 private:
  void focusOn(const std::string& name);
  std::string password() const;

  QPlainTextEdit* mmoServiceMsg = nullptr;
  QDateEdit* dtpServiceDate = nullptr;
  QLineEdit* ed_ServicePassword = nullptr;
  QDateEdit* dtpServOPstartDate = nullptr;
  QTimeEdit* dtpServOPstartTime = nullptr;
  QDateEdit* dtpServOPendDate = nullptr;
  QTimeEdit* dtpServOPendTime = nullptr;
  QComboBox* cbxServOPtype = nullptr;
  QComboBox* cbxRAMresetType = nullptr;
  QLabel* lbMessageCertificate = nullptr;
};

}  // namespace kestrel
