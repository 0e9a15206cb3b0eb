#pragma once
// The real window, offscreen, for the window's tests: a QApplication for the test
// program, the settings file in a folder of this run, a window with scripted dialogs
// and file choices, and the simulator in-process.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/ui/core/dm.h"
#include "app/ui/core/qt_dialogs.h"
#include "app/ui/pages/connect_page.h"
#include "app/ui/shell/main_fbh.h"
#include "sim/link.h"
#include "sim/simulator.h"

namespace kestrel {
namespace guitest {

namespace fs = std::filesystem;

// The pages the tests walk to (the others by the page table's own names).
inline constexpr const char* PAGE_ITEMS = "jvpg_Sub__Root_03_Items";
inline constexpr const char* PAGE_VATS = "jvpg_Sub_02_Vats";
inline constexpr const char* PAGE_CLIENTS = "jvpg_Sub_27_Clients";
inline constexpr const char* PAGE_JOURNAL = "jvpg_Sub_11_KLEN";
inline constexpr const char* PAGE_RECEIPT_FORMAT = "jvpg_Sub_04_ReceiptFormat";
inline constexpr const char* PAGE_TEST_RECEIPTS = "jvpg_Sub_21_Test";

// The settings file goes to a folder of this test run, never the user's own.
class GuiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    char tmpl[] = "/tmp/kestrel_gui_XXXXXX";
    folder = mkdtemp(tmpl);
    setenv("APPDATA", folder.c_str(), 1);
    setenv("XDG_DOCUMENTS_DIR", (folder + "/docs").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    app = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override {
    app.reset();
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
  static inline std::string folder;

 private:
  int argc = 1;
  char arg0[8] = "gui";
  char* argv[2] = {arg0, nullptr};
  std::unique_ptr<QApplication> app;
};
inline const auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

inline std::string settingsPath() { return GuiEnvironment::folder + "/Kestrel/FBH/KESTREL_FBH.INI"; }

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// One window with its data module and scripted dialogs.
struct Window {
  Window() {
    w.show();
    QApplication::processEvents();
  }
  template <class T>
  T* find(const char* name) {
    T* widget = w.findChild<T*>(name);
    if (!widget) ADD_FAILURE() << "no widget " << name;
    return widget;
  }
  // A page of the window as its own class.
  template <class P>
  P* pageAs(const char* name) {
    auto* p = dynamic_cast<P*>(w.page(name));
    if (!p) ADD_FAILURE() << "no page " << name;
    return p;
  }
  // A serial port entry (also when the window came up with a remembered TCP/IP
  // connection).
  void usePort(const std::string& entry) {
    if (auto* tcp = find<QCheckBox>("chbxTCP"); tcp->isChecked()) tcp->click();
    find<QComboBox>("cbxCOM")->setEditText(QString::fromStdString(entry));
  }
  void clickConnect() { find<QPushButton>("btnConnect")->click(); }
  std::vector<std::string> shownTexts() const {
    std::vector<std::string> t;
    for (const auto& d : dialogs.shown) t.push_back(d.text);
    return t;
  }

  ScriptedDialogs dialogs;
  ScriptedFileChooser files;
  Tdm dm;
  TfmMainFBH w{dm, &dialogs, &files};
};

// `baud` (pty only): the line speed the simulator answers at; 0: any. `fault`: as the
// simulator's --fault takes it ("slow:300", "nak"), none when empty.
inline std::unique_ptr<sim::Simulator> startSimulator(bool pty, const std::string& model = "", int baud = 0,
                                                      const std::string& fault = "") {
  sim::SimulatorOptions o;
  o.port = 0;
  o.tcp = !pty;
  o.pty = pty;
  o.baud = baud;
  if (!model.empty()) {
    o.model = model;
    o.modelGiven = true;
  }
  std::string error;
  if (!fault.empty() && !sim::parseFault(fault, o.faults, error)) ADD_FAILURE() << "fault " << fault << ": " << error;
  auto s = std::make_unique<sim::Simulator>(o);
  if (!s->start(error)) ADD_FAILURE() << "simulator: " << error;
  return s;
}

// Connects the window to `sim` over TCP as a technician would; the window then shows
// the "Date, header & footer" page.
inline void connectTo(Window& win, sim::Simulator& sim) {
  presetTCP(win.w, "127.0.0.1", sim.port());
  win.clickConnect();
  ASSERT_TRUE(win.w.Connected()) << "the window did not connect to the simulator";
}

// A grid cell's text as the technician sees it.
inline std::string cell(QTableView* grid, int row, int column) {
  return grid->model()->index(row, column).data().toString().toStdString();
}

// Every command the window sends through its operations, in order.
struct Sent {
  explicit Sent(Window& win) {
    win.w.ops().onCommand = [this](uint16_t c, const std::string& in) { all.push_back({c, in}); };
  }
  std::vector<std::string> inputsOf(int command) const {
    std::vector<std::string> r;
    for (const auto& [c, in] : all)
      if (c == command) r.push_back(in);
    return r;
  }
  std::vector<std::pair<int, std::string>> all;
};

}  // namespace guitest
}  // namespace kestrel
