#include "app/ui/pages/settings_page.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLineEdit>

#include "app/logic/backup.h"
#include "app/logic/device_ops.h"
#include "app/logic/page_host.h"
#include "app/logic/page_table.h"
#include "app/logic/settings_file.h"
#include "app/ui/core/form_helpers.h"
#include "support/fd_misc.h"

#include <algorithm>

namespace kestrel {

TSettingsPage::TSettingsPage(TPageShell& shell, const TPageRow& pageRow) : TPage(shell, pageRow) {
  QGroupBox* box = nullptr;
  QFormLayout* form = formBox(this, "grpKestrelSettings", "Kestrel settings", &box);
  box->setMinimumWidth(360);
  auto* row = new QHBoxLayout;
  row->addWidget(box);
  QGroupBox* backupBox = nullptr;
  QFormLayout* backupForm = formBox(this, "grpDeviceBackup", "Device backup", &backupBox);
  chbxBackupItems = checkBox("chbxBackupItems", "With items", backupBox);
  chbxBackupClients = checkBox("chbxBackupClients", "With clients", backupBox);
  auto* btnBackupDevice = pushButton("btnBackupDevice", "Back up device...", backupBox);
  auto* btnRestoreDevice = pushButton("btnRestoreDevice", "Restore device...", backupBox);
  backupForm->addRow(chbxBackupItems);
  backupForm->addRow(chbxBackupClients);
  backupForm->addRow(buttonRow({btnBackupDevice, btnRestoreDevice}));
  onClick(btnBackupDevice, "btnBackupDeviceClick", [this] { btnBackupDeviceClick(); }, TSwitching::Unswitched);
  onClick(btnRestoreDevice, "btnRestoreDeviceClick", [this] { btnRestoreDeviceClick(); }, TSwitching::Unswitched);
  row->addWidget(backupBox);
  row->addStretch(1);
  content()->addLayout(row);
  chbxSettingDelItemsZ = checkBox("chbxSettingDelItemsZ", "Delete items after Z report", box);
  edDelFromPLU = digitsEdit("edDelFromPLU", 5, box);
  edDelFromPLU->setText("1");
  edDelToPLU = digitsEdit("edDelToPLU", 5, box);
  edDelToPLU->setText("99999");
  edDelServPass = digitsEdit("edDelServPass", 8, box);
  edDelServPass->setEchoMode(QLineEdit::Password);
  for (auto* e : {edDelFromPLU, edDelToPLU, edDelServPass}) {
    e->setEnabled(false);
    e->setMinimumWidth(120);
  }
  form->addRow(chbxSettingDelItemsZ);
  form->addRow("From PLU:", edDelFromPLU);
  form->addRow("To PLU:", edDelToPLU);
  form->addRow("Service password:", edDelServPass);
  connect(chbxSettingDelItemsZ, &QCheckBox::clicked, this, [this] { chbxSettingDelItemsZClick(); });
  connect(edDelFromPLU, &QLineEdit::textChanged, this, [this] { edDelFromPLUChange(); });
  connect(edDelToPLU, &QLineEdit::textChanged, this, [this] { edDelToPLUChange(); });
  connect(edDelServPass, &QLineEdit::textChanged, this, [this] { edDelServPassChange(); });
}

void TSettingsPage::loadSettings() {
  loadingSettings = true;
  try {
    if (TSettingsFile* file = shell().FIniSettingFile()) {
      const TFBHSettings s = file->load();
      shell().set_DeleteItemsAFterZrep(s.DelItemsOnZ);
      edDelFromPLU->setText(qs(s.delete_FromPLU));
      edDelToPLU->setText(qs(s.delete_ToPLU));
      edDelServPass->setText(qs(s.delete_ServicePass));
      for (auto* e : {edDelFromPLU, edDelToPLU, edDelServPass}) e->setEnabled(s.DelItemsOnZ);
      chbxSettingDelItemsZ->setChecked(s.DelItemsOnZ);
    }
  } catch (const std::exception& e) {
    // The page keeps what was filled so far; the technician learns why.
    shell().set_StatusText(std::string("Settings file: ") + e.what());
  }
  loadingSettings = false;
}

TFBHSettings TSettingsPage::shown() const {
  TFBHSettings s;
  s.DelItemsOnZ = chbxSettingDelItemsZ->isChecked();
  s.delete_FromPLU = ss(edDelFromPLU->text());
  s.delete_ToPLU = ss(edDelToPLU->text());
  s.delete_ServicePass = ss(edDelServPass->text());
  return s;
}

void TSettingsPage::saveSettings() {
  TSettingsFile* file = shell().FIniSettingFile();
  if (!file) return;
  shell().checkSettingsSaved(file->save(shown()));
}

void TSettingsPage::chbxSettingDelItemsZClick() {
  if (loadingSettings) return;
  const bool on = chbxSettingDelItemsZ->isChecked();
  shell().set_DeleteItemsAFterZrep(on);
  for (auto* e : {edDelFromPLU, edDelToPLU, edDelServPass}) e->setEnabled(on);
  saveSettings();
}

void TSettingsPage::edDelFromPLUChange() {
  if (loadingSettings) return;
  const QString fixed = qs(checkedPLUText(ss(edDelFromPLU->text()), "1"));
  if (fixed != edDelFromPLU->text()) {
    edDelFromPLU->setText(fixed);  // runs this handler again, which saves
    return;
  }
  saveSettings();
}

void TSettingsPage::edDelToPLUChange() {
  if (loadingSettings) return;
  const QString fixed = qs(checkedPLUText(ss(edDelToPLU->text()), "99999"));
  if (fixed != edDelToPLU->text()) {
    edDelToPLU->setText(fixed);
    return;
  }
  saveSettings();
}

void TSettingsPage::edDelServPassChange() {
  if (loadingSettings) return;
  saveSettings();
}

void TSettingsPage::btnBackupDeviceClick() {
  const std::string file = ops().host().saveFileName("Back up device", BACKUP_FILTER, "device-backup.ini");
  if (file.empty()) return;
  TBackup backup;
  const TLoopOutcome read = readBackup(ops(), chbxBackupItems->isChecked(), chbxBackupClients->isChecked(), backup);
  if (!read.ok()) return ops().inform("The backup was not written: " + read.cause);
  writeBackupFile(file, backup);
  ops().inform("The device's configuration was written to " + file);
}

void TSettingsPage::btnRestoreDeviceClick() {
  const std::string file = ops().host().openFileName("Restore device", BACKUP_FILTER);
  if (file.empty()) return;
  const TBackup backup = readBackupFile(file);
  std::string password = edDelServPass->text().toStdString();
  // The comparison walks the same steps as the restore; its step texts are no restore.
  auto compare = [&] {
    TRestoreReport r = restoreBackup(ops(), backup, {true, password});
    shell().set_StatusText("");
    return r;
  };
  // A comparison ended by a stop asks nothing: it says how far it got.
  auto stopped = [&](const TRestoreReport& r) {
    if (!r.stopped()) return false;
    shell().set_StatusText("Restore stopped: nothing was written.");
    ops().misc.myAlert(r.outcome.closingMessage(RESTORE_COMPARE) + "\nNothing was written.", TITLE_KESTREL, inf_OkBtn);
    return true;
  };
  TRestoreReport dry = compare();
  if (stopped(dry)) return;
  const bool needsPassword = std::any_of(dry.skipped.begin(), dry.skipped.end(), [](const std::string& n) {
    return n.find("needs the service password") != std::string::npos;
  });
  // The Settings field is for the Z report's deletion; the restore asks for itself.
  if (password.empty() && needsPassword) {
    bool given = false;
    const QString typed = QInputDialog::getText(
        this, "Restore device", "Some values of the backup are written in service mode.\nService password:",
        QLineEdit::Password, QString(), &given);
    if (given && !typed.isEmpty()) {
      password = typed.toStdString();
      dry = compare();
      if (stopped(dry)) return;
    }
  }
  if (dry.changes.empty()) return ops().inform(dry.summary(true));
  if (!ops().ask(dry.summary(true) + "\r\nWrite these changes to the device?", "Restore device", true)) {
    shell().set_StatusText("Restore cancelled: nothing was written.");
    return;
  }
  const TRestoreReport done = restoreBackup(ops(), backup, {false, password});
  if (done.stopped()) {
    shell().set_StatusText("Restore stopped.");
    ops().misc.myAlert(done.outcome.closingMessage(RESTORE_WRITE) + "\n" + done.summary(false), TITLE_KESTREL, inf_OkBtn);
    return;
  }
  shell().set_StatusText(done.ok() ? "Restore finished." : "Restore finished; some values were not written.");
  ops().inform(done.summary(false));
}

}  // namespace kestrel
