// Renders the pages of the window, connected to an in-process simulator, into PNG files:
// kestrel-fbh-screenshots OUTPUT_FOLDER.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <iostream>
#include <string>

#include "app/ui/core/dm.h"
#include "app/ui/pages/connect_page.h"
#include "app/ui/shell/main_fbh.h"
#include "sim/device_model.h"
#include "sim/simulator.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "Usage: kestrel-fbh-screenshots OUTPUT_FOLDER\n";
    return 2;
  }
  QApplication app(argc, argv);
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);

  kestrel::sim::SimulatorOptions options;
  options.port = 0;
  // Near paper end and a fiscal receipt open, so the status page shows set bits.
  options.faults.statusBits = {{2, 1}};
  kestrel::sim::Simulator sim(options);
  std::string error;
  if (!sim.start(error)) {
    std::cerr << "simulator: " << error << "\n";
    return 1;
  }
  kestrel::ScriptedDialogs dialogs;
  int rc = 0;
  auto save = [&](QWidget& window, const char* name) {
    // Long enough for the status bar's wait notice to go once the device has answered.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300) QApplication::processEvents(QEventLoop::AllEvents, 50);
    const QString file = out + "/" + name;
    if (!window.grab().save(file)) {
      std::cerr << "cannot write " << file.toStdString() << "\n";
      rc = 1;
    } else {
      std::cout << file.toStdString() << "\n";
    }
  };
  {
    kestrel::Tdm dm;
    kestrel::TfmMainFBH window(dm, &dialogs);
    window.resize(1024, 768);
    window.show();
    kestrel::presetTCP(window, "127.0.0.1", sim.port());
    QApplication::processEvents();
    save(window, "connect_page.png");
    window.findChild<QPushButton*>("btnConnect")->click();
    if (!window.Connected()) {
      std::cerr << "cannot connect to the simulator\n";
      for (const auto& d : dialogs.shown) std::cerr << d.text << "\n";
      rc = 1;
    }
    save(window, "cliche_page.png");  // the page every connection shows first, after its read
    window.showPage("jvpg_Sub__Root_05_Status");
    save(window, "status_page.png");
    window.showPage("jvpg_Sub__Root_06_Custom");
    window.findChild<QLineEdit*>("ed_CMD")->setText("90");
    window.findChild<QLineEdit*>("ed_INP_STR")->setText("[tab]");
    dialogs.answer(kestrel::mrYes);
    window.findChild<QPushButton*>("bbtnExecute")->click();
    save(window, "custom_command_page.png");
    // Setup pages as a read leaves them (showing a page reads it).
    window.showPage("jvpg_Sub_02_Vats");
    save(window, "vat_page.png");
    window.showPage("jvpg_Sub_03_Params");
    save(window, "parameters_page.png");
    window.showPage("jvpg_Sub_04_ReceiptFormat");
    save(window, "receipt_format_page.png");
    window.showPage("jvpg_Sub_24_Communication");
    save(window, "communication_page_printer.png");
    window.showPage("jvpg_Sub_05_ServiceInfo");
    save(window, "service_info_page.png");
    window.showPage("jvpg_Sub_06_Fiscalization");
    save(window, "fiscalization_page.png");
    // The terminal page has no read of its own: its data is read with the service password.
    window.showPage("jvpg_Sub_28_Terminal");
    window.findChild<QLineEdit*>("edServicePassTerminal")->setText(QString::fromStdString(options.servicePassword));
    window.findChild<QPushButton*>("btnReadTerminalData")->click();
    save(window, "terminal_page.png");
    // The report pages after an operation: two X reports and a Z report in the journal.
    sim.withDevice([](kestrel::sim::DeviceModel& d) {
      std::string answer;
      for (const char* in : {"X\t", "X\t", "Z\t"}) d.execute(69, in, answer);
    });
    window.showPage("jvpg_Sub_09_FiscalReports");
    window.findChild<QPushButton*>("bbtnFMbyNumber")->click();
    save(window, "fm_reports_page.png");
    window.showPage("jvpg_Sub_11_KLEN");
    window.findChild<QComboBox*>("cbxKLENtype")->setCurrentIndex(2);
    window.findChild<QCheckBox*>("chbxKLrangeBynum")->click();
    window.findChild<QLineEdit*>("edKLfromNum")->setText("2");
    window.findChild<QLineEdit*>("edKLtoNum")->setText("2");
    window.findChild<QPushButton*>("bbtnGetKLEN")->click();
    window.findChild<QPushButton*>("btnValidateMd5")->click();
    save(window, "journal_page.png");
    // Daily closure and the other selling pages after an operation on a day with sales.
    sim.withDevice([](kestrel::sim::DeviceModel& d) {
      d.mutableState().vat = {1700, 500, 0, 0, 0};
      d.mutableState().vatSet = true;
      d.mutableState().daySales = {1254000, 350000, 0, 0, 9900};
      d.mutableState().dayStorno = {25000, 0, 0, 0, 0};
    });
    window.showPage("jvpg_Sub_07_EndOfDay");
    window.findChild<QPushButton*>("bbtnPrintX")->click();
    save(window, "daily_closure_page.png");
    window.showPage("jvpg_Sub_08_Reports");
    window.findChild<QComboBox*>("cbxPeriodicRepType")->setCurrentIndex(2);
    window.findChild<QPushButton*>("btnPrintPeriodicRep")->click();
    save(window, "reports_page.png");
    window.showPage("jvpg_Sub_19_CashINOUT");
    window.findChild<QLineEdit*>("edInputCash")->setText("150.00");
    window.findChild<QPushButton*>("bbtnCashIn")->click();
    save(window, "cash_io_page.png");
    window.showPage("jvpg_Sub_21_Test");
    window.findChild<QPushButton*>("bbtn_BAH_PROGR_TESTITEM")->click();
    window.findChild<QPushButton*>("bbtn_BAH_TEST_ECR")->click();
    save(window, "test_receipts_page.png");
    // Items after "Read..." "All": a small shop's items spread over the PLU numbers.
    sim.withDevice([](kestrel::sim::DeviceModel& d) {
      // Names as the device keeps them, in code page 1250.
      const char* names[] = {"Kruh bijeli 500 g", "Mlijeko 2,8% 1 l", "Jogurt \xE8" "vrsti 180 g", "Kafa mljevena 200 g",
                             "\x8A" "e\xE6" "er kristal 1 kg", "Jaja M 10 kom", "Sok narand\x9E" "a 1 l",
                             "Voda gazirana 1,5 l", "Pivo 0,5 l", "\xC8" "okolada mlije\xE8" "na 100 g"};
      for (int i = 0; i < 40; ++i) {
        kestrel::sim::Item it;
        const int plu = 1 + i * 37 + (i % 3) * 1000;
        it.vat = 1 + i % 3;
        it.dept = 1 + i % 4;
        it.stock = 1 + i % 2;
        it.price = (99 + 37 * i) * 1000;
        it.stockQty = (i * 7 % 50) * 5000;
        it.soldQty = (i * 3 % 11) * 10000;
        it.barcodes[0] = std::to_string(3870000000000LL + plu);
        it.name = names[i % 10];
        d.mutableState().items[plu] = it;
      }
    });
    window.showPage("jvpg_Sub__Root_03_Items");
    window.findChild<QPushButton*>("bbtnReadItems")->click();
    window.findChild<QAction*>("mniAllItems")->trigger();
    save(window, "items_page.png");
    // A 1366x768 laptop less its panel and the title bar: the long page scrolls.
    window.setMinimumSize(800, 560);
    window.resize(1366, 680);
    window.showPage("jvpg_Sub__Root_05_Status");
    save(window, "small_screen_status_page.png");
  }
  sim.stop();

  // A register shows the larger PC group of the Communication page.
  kestrel::sim::SimulatorOptions registerOptions;
  registerOptions.port = 0;
  registerOptions.model = "KT-11A";
  registerOptions.modelGiven = true;
  kestrel::sim::Simulator registerSim(registerOptions);
  if (registerSim.start(error)) {
    kestrel::Tdm dm;
    kestrel::TfmMainFBH window(dm, &dialogs);
    window.resize(1024, 768);
    window.show();
    kestrel::presetTCP(window, "127.0.0.1", registerSim.port());
    window.findChild<QPushButton*>("btnConnect")->click();
    window.showPage("jvpg_Sub_24_Communication");
    save(window, "communication_page_register.png");
    // The master-data pages as their read leaves them (a register, so that "Keys" shows).
    for (const auto& [page, name] : {std::pair{"jvpg_Sub_22_StockGrp", "stock_groups_page.png"},
                                     std::pair{"jvpg_Sub_12_Departments", "departments_page.png"},
                                     std::pair{"jvpg_Sub_13_Payments", "payments_page.png"},
                                     std::pair{"jvpg_Sub_15_Operators", "operators_page.png"},
                                     std::pair{"jvpg_Sub_16_Keys", "keys_page.png"},
                                     std::pair{"jvpg_Sub_17_Corrections", "corrections_page.png"},
                                     std::pair{"jvpg_Sub__Root_07_Settings", "settings_page.png"}}) {
      window.showPage(page);
      save(window, name);
    }
    // A few clients of a shop (texts in the device's code page 1250).
    registerSim.withDevice([](kestrel::sim::DeviceModel& d) {
      auto& c = d.mutableState().clients;
      c[1] = {"Trgovina \xC8" "ajni\x9A" "ki d.o.o.", "4200000000001", "Poslovnica 7", "Kralja Tvrtka 12",
              "88000 Mostar"};
      c[2] = {"Auto servis Had\x9Ei\xE6", "4200000000028", "", "Ferhadija 3", "71000 Sarajevo"};
      c[5] = {"Pekara Zlatno zrno", "4200000000052", "Prodavnica 2", "Titova 44", "72000 Zenica"};
      c[12] = {"Ljekarna \x8Eiva", "4200000000125", "", "Trg slobode 1", "75000 Tuzla"};
      return 0;
    });
    window.showPage("jvpg_Sub_27_Clients");
    save(window, "clients_page.png");
    registerSim.stop();
  } else {
    std::cerr << "simulator: " << error << "\n";
    rc = 1;
  }
  return rc;
}
