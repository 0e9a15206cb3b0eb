// The Communication page's operations against the simulator: the save and read orders
// per model group, the encodings, the access point part with and without service mode,
// the server lines, the access point INI file, and the page as `kestrel config` sees it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/logic/config_pages.h"
#include "app/logic/pages/communication.h"
#include "app/ops_fixture.h"
#include "sim/device_model.h"
#include "sim/link.h"
#include "support/files.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

// The catalogue text of -104002.
const char* const SERVICE_NEEDED = "Service operation error: Service password is needed for this operation";

// "Name.Index" of every command 255 sent, with the value when `withValue`.
std::vector<std::string> paramKeys(const apptest::OpsOnSim& s, bool withValue = false) {
  std::vector<std::string> keys;
  for (const auto& in : s.inputsOf(255)) {
    const auto t1 = in.find('\t'), t2 = in.find('\t', t1 + 1), t3 = in.find('\t', t2 + 1);
    std::string key = in.substr(0, t1);
    if (t2 > t1 + 1) key += "." + in.substr(t1 + 1, t2 - t1 - 1);
    if (withValue) key += "=" + in.substr(t2 + 1, t3 - t2 - 1);
    keys.push_back(key);
  }
  return keys;
}

bool sentWrite(const apptest::OpsOnSim& s, const std::string& text) {
  const auto in = s.inputsOf(255);
  return std::find(in.begin(), in.end(), text) != in.end();
}

void enterServiceMode(apptest::OpsOnSim& s) { ASSERT_TRUE(s.cmd(253, "0\t1234\t")) << s.code(); }

void setServiceMode(sim::DeviceModel& d, bool on) {
  std::string answer;
  d.execute(253, on ? "0\t1234\t" : "0\t \t", answer);
}

// The page as the device has it, read with the page's own read.
TPageValues readPage(apptest::OpsOnSim& s) {
  TPageValues v;
  EXPECT_TRUE(readCommunications(s.ops, v));
  return v;
}

TEST(CommunicationOps, ServerLinesParseAndEdit) {
  struct Case {
    std::string line, port, address;
  };
  const Case cases[] = {
      {"2 - 21/127.0.0.5", "21", "127.0.0.5"},
      {"1 - 2121/ftp.example.com/in", "2121", "ftp.example.com/in"},  // the first "/" splits
      {"1 - /host", "", "host"},
      {"1 - 21", "21", ""},  // no "/": no address
      {"1 - ", "", ""},
      {"3 -", "", ""},  // shorter than the "n - " prefix
      {"", "", ""},
      {"ab/c", "", "c"},
  };
  for (const auto& c : cases) {
    const TServerLine l = parseServerLine(c.line);
    EXPECT_EQ(l.port, c.port) << c.line;
    EXPECT_EQ(l.address, c.address) << c.line;
  }
  EXPECT_EQ(serverLineText(2, "21", "127.0.0.5"), "2 - 21/127.0.0.5");

  // "Save / edit server >": address first, then port, then a line must be selected.
  TPageValues v = {{"lstbxServers", "-1"}, {"edFTPaddress", ""}, {"edFTPport", "21"}};
  EXPECT_EQ(changeServerList(v), TServerEdit::FocusAddress);
  v["edFTPaddress"] = "127.0.0.5";
  v["edFTPport"] = "";
  EXPECT_EQ(changeServerList(v), TServerEdit::FocusPort);
  v["edFTPport"] = "21";
  EXPECT_EQ(changeServerList(v), TServerEdit::NoLineSelected);
  EXPECT_EQ(v.count(serverLineKey(1)) + v.count(serverLineKey(2)), 0u);
  v["lstbxServers"] = "1";
  EXPECT_EQ(changeServerList(v), TServerEdit::Replaced);
  EXPECT_EQ(v[serverLineKey(2)], "2 - 21/127.0.0.5");

  // The fields follow the selected line; no selection empties them.
  v["edFTPaddress"] = v["edFTPport"] = "stale";
  fillServerFields(v);
  EXPECT_EQ(v["edFTPaddress"], "127.0.0.5");
  EXPECT_EQ(v["edFTPport"], "21");
  v["lstbxServers"] = "-1";
  fillServerFields(v);
  EXPECT_EQ(v["edFTPaddress"], "");
  EXPECT_EQ(v["edFTPport"], "");
}

TEST(CommunicationOps, EachModelGroupSavesItsOwnPcLinkInTheSaveOrder) {
  const std::vector<std::string> common = {
      "DHCPenable",      "LANport_fpCommands", "LAN_IP",      "LAN_NetMask",        "LAN_Gateway",
      "LAN_PriDNS",      "LAN_SecDNS",         "LanMAC",      "BthEnable",          "BthDiscoverability",
      "BthPairing",      "BthPinCode",         "APN.0",       "APN_User.0",         "APN_Pass.0",
      "APN.1",           "APN_User.1",         "APN_Pass.1",  "DtServerAddress.0",  "DtServerPort.0",
      "DtServerAddress.1", "DtServerPort.1",   "DtServerAddress.2", "DtServerPort.2", "DtUseServer",
      "DtServerUserName", "DtServerUserPsw",   "DtServerReportPath", "DtServerCommandPath", "DtMaxFileLen"};
  struct Case {
    std::string model;
    std::vector<std::string> pcLink;
  };
  const Case cases[] = {
      {"KT-33A", {"MainInterfaceType", "FpComBaudRate"}},
      {"KT-11A",
       {"FpComPort", "FpComBaudRate", "ComPortDevice.0", "ComPortBaudRate.0", "ComPortProtocol.0", "ComPortDevice.1",
        "ComPortBaudRate.1", "ComPortProtocol.1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    apptest::OpsOnSim s(c.model);
    enterServiceMode(s);
    TPageValues v = readPage(s);
    s.clearSent();
    ASSERT_TRUE(saveCommunications(s.ops, v));
    std::vector<std::string> expected = c.pcLink;
    expected.insert(expected.end(), common.begin(), common.end());
    EXPECT_EQ(paramKeys(s), expected);
    EXPECT_EQ(s.dialogs.shown.back().text, "The data was saved in the device.");
  }
}

TEST(CommunicationOps, SaveEncodingsReachTheDeviceAndReadBackInTheReadOrder) {
  apptest::OpsOnSim s("KT-11A");
  enterServiceMode(s);
  TPageValues v = readPage(s);
  v["cbxPCportSpeed"] = "3";  // 9600
  v["cbxDevSpeed1"] = "3";    // 9600
  v["cbxDevType2"] = "2";     // Scale
  v["chbxDHCP"] = "0";
  v["edLANport"] = "";
  v["edIP"] = "";
  v["edMask"] = "255.255.0.0";  // a setting stored in the device, never a target
  v["edAPN1"] = "internet";
  v["edAPN2"] = "";  // cleared: must be written, not read
  v[serverLineKey(2)] = "2 - 21/127.0.0.5";
  v[serverLineKey(3)] = "3 -";
  v["lstbxServers"] = "1";
  v["edFTPmaxFileLen"] = "";
  s.device([](sim::DeviceModel& d) { d.mutableState().params["APN"][1] = "old.apn"; });
  s.clearSent();
  ASSERT_TRUE(saveCommunications(s.ops, v));

  for (const char* text :
       {"FpComBaudRate\t\t3\t", "ComPortBaudRate\t0\t9600\t", "ComPortDevice\t1\t2\t", "DHCPenable\t\t0\t",
        "LANport_fpCommands\t\t0\t", "LAN_IP\t\t \t", "APN\t1\t \t", "DtServerPort\t1\t21\t",
        "DtServerAddress\t1\t127.0.0.5\t", "DtServerAddress\t2\t \t", "DtServerPort\t2\t0\t", "DtUseServer\t\t1\t",
        "DtMaxFileLen\t\t0\t"})
    EXPECT_TRUE(sentWrite(s, text)) << text;
  EXPECT_EQ(s.param("APN", 0), "internet");
  EXPECT_EQ(s.param("APN", 1), "");
  EXPECT_EQ(s.param("LAN_IP"), "");
  EXPECT_EQ(s.param("LANport_fpCommands"), "0");

  s.clearSent();
  TPageValues back = readPage(s);
  EXPECT_EQ(paramKeys(s),
            (std::vector<std::string>{
                "FpComPort",          "FpComBaudRate",       "ComPortDevice.0",     "ComPortBaudRate.0",
                "ComPortProtocol.0",  "ComPortDevice.1",     "ComPortBaudRate.1",   "ComPortProtocol.1",
                "APN.0",              "APN_User.0",          "APN_Pass.0",          "APN.1",
                "APN_User.1",         "APN_Pass.1",          "DtServerAddress.0",   "DtServerPort.0",
                "DtServerAddress.1",  "DtServerPort.1",      "DtServerAddress.2",   "DtServerPort.2",
                "DtUseServer",        "DtServerUserName",    "DtServerUserPsw",     "DtServerReportPath",
                "DtServerCommandPath", "DtMaxFileLen",       "LANport_fpCommands",  "LanMAC",
                "DHCPenable",         "LAN_IP",              "LAN_NetMask",         "LAN_Gateway",
                "LAN_PriDNS",         "LAN_SecDNS",          "BthEnable",           "BthDiscoverability",
                "BthPairing",         "BthPinCode",          "BthVersion",          "BthAddress"}));
  EXPECT_EQ(back["cbxDevSpeed1"], "3");
  EXPECT_EQ(back["cbxDevType2"], "2");
  EXPECT_EQ(back["edMask"], "255.255.0.0");
  EXPECT_EQ(back["edAPN1"], "internet");
  EXPECT_EQ(back[serverLineKey(2)], "2 - 21/127.0.0.5");
  EXPECT_EQ(back[serverLineKey(3)], "3 - 0/");
  EXPECT_EQ(back["lstbxServers"], "1");
  EXPECT_EQ(back["edFTPaddress"], "127.0.0.5");  // filled from the selected line
  EXPECT_EQ(back["edFTPport"], "21");
  EXPECT_EQ(back["ledBT_Firmware"], "4.2");

  // An entry index that is no integer fails the read with an exception.
  s.device([](sim::DeviceModel& d) { d.mutableState().params["DtUseServer"][0] = "x"; });
  TPageValues bad;
  EXPECT_THROW(readCommunications(s.ops, bad), std::invalid_argument);
  EXPECT_EQ(bad["edAPN1"], "internet");  // what came before stays
}

TEST(CommunicationOps, OutsideServiceModeTheSaveStopsAtTheAccessPointsInTheStatusBar) {
  apptest::OpsOnSim s("KT-33A");
  TPageValues v = readPage(s);
  v["chbxDHCP"] = "0";
  v["edIP"] = "127.1.1.9";
  v["ledMAC"] = "001122334455";  // needs service mode too: refused, not judged
  v["edAPN1"] = "internet";
  s.clearSent();
  const size_t dialogs = s.dialogs.shown.size();
  EXPECT_FALSE(saveCommunications(s.ops, v));
  // The device refuses the first access point setting with -104002; only "APN_User" 1
  // may go on after it, so the save ends there.
  EXPECT_EQ(s.code(), CODE_SERVICE_PASSWORD_NEEDED);
  EXPECT_EQ(paramKeys(s).back(), "APN.0");
  EXPECT_EQ(s.host.statusText, SERVICE_NEEDED);
  EXPECT_EQ(s.host.statusHistory.size(), 1u);  // the MAC refusal was not reported
  EXPECT_EQ(s.dialogs.shown.size(), dialogs);  // no alert, no saved message
  EXPECT_TRUE(sentWrite(s, "LanMAC\t\t001122334455\t"));
  EXPECT_EQ(s.param("LanMAC"), "00155D4B5400");
  EXPECT_EQ(s.param("LAN_IP"), "127.1.1.9");  // written before the refusal: stays
  EXPECT_EQ(s.param("APN"), "");

  // ShowErr is on again: the next failing command of any page shows an alert.
  EXPECT_TRUE(s.ops.ShowErr());
  EXPECT_FALSE(s.ops.writeParam("DHCPenable", "", "7"));
  EXPECT_EQ(s.dialogs.shown.size(), dialogs + 1);
}

// A write whose answer is not judged still ends the save when the technician stops it
// during its wait: nothing is written after it.
TEST(CommunicationOps, AStopDuringAnUnjudgedWriteEndsTheSave) {
  TPageValues v;
  {
    apptest::OpsOnSim fast("KT-33A");
    v = readPage(fast);
  }
  sim::SimulatorOptions o;
  std::string error;
  ASSERT_TRUE(sim::parseFault("slow:400", o.faults, error)) << error;
  apptest::OpsOnSim s("KT-33A", o);
  std::thread stopper;
  s.ops.onCommand = [&](uint16_t c, const std::string& in) {
    s.sent.push_back({c, in});
    if (in.rfind("LanMAC\t", 0) == 0)
      stopper = std::thread([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        s.fd.cancelWait();
      });
  };
  EXPECT_FALSE(saveParams(s.ops, communicationTable(), {"LanMAC", "DHCPenable"}, v));
  if (stopper.joinable()) stopper.join();
  EXPECT_EQ(s.code(), CODE_CANCELLED);
  EXPECT_EQ(paramKeys(s), std::vector<std::string>{"LanMAC"});
}

TEST(CommunicationOps, ServicePasswordOnTheSecondApnUserLetsTheSaveGoOn) {
  apptest::OpsOnSim s("KT-33A");
  enterServiceMode(s);
  TPageValues v = readPage(s);
  v["edAPN2user"] = "user2";
  v["edAPN2pass"] = "pass2";
  // The device leaves service mode for "APN_User" 1 only.
  s.ops.onCommand = [&](uint16_t c, const std::string& in) {
    s.sent.push_back({c, in});
    if (in.rfind("APN_User\t1\t", 0) == 0) s.device([](sim::DeviceModel& d) { setServiceMode(d, false); });
    if (in.rfind("APN_Pass\t1\t", 0) == 0) s.device([](sim::DeviceModel& d) { setServiceMode(d, true); });
  };
  s.clearSent();
  ASSERT_TRUE(saveCommunications(s.ops, v));
  EXPECT_EQ(paramKeys(s).back(), "DtMaxFileLen");
  EXPECT_EQ(s.param("APN_User", 1), "");
  EXPECT_EQ(s.param("APN_Pass", 1), "pass2");
  EXPECT_EQ(s.dialogs.shown.back().text, "The data was saved in the device.");
  // The skipped setting stays visible after the verdicts that followed it.
  EXPECT_EQ(s.host.statusText, SERVICE_NEEDED);
  EXPECT_TRUE(s.ops.ShowErr());

  // Any other refusal there ends the save, shown in the status bar (ShowErr still off).
  s.ops.onCommand = [&](uint16_t c, const std::string& in) { s.sent.push_back({c, in}); };
  v["edAPN2user"] = std::string(65, 'u');
  s.clearSent();
  const size_t dialogs = s.dialogs.shown.size();
  EXPECT_FALSE(saveCommunications(s.ops, v));
  EXPECT_EQ(paramKeys(s).back(), "APN_User.1");
  EXPECT_EQ(s.dialogs.shown.size(), dialogs);
  EXPECT_FALSE(s.host.statusText.empty());
  EXPECT_TRUE(s.ops.ShowErr());
}

// ---- the access point INI file ----

struct IniFolder : ::testing::Test {
  void SetUp() override {
    char tmpl[] = "/tmp/kestrel_comm_XXXXXX";
    folder = mkdtemp(tmpl);
  }
  void TearDown() override { fs::remove_all(folder); }
  std::string path(const std::string& name) const { return folder + "/" + name; }
  static void write(const std::string& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }
  static unsigned mode(const std::string& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mode & 0777;
  }
  std::string folder;
};

TPageValues accessPointValues() {
  return {{"edAPN1", "internet"}, {"edAPN1user", "u1"},  {"edAPN1pass", " secret "},
          {"edAPN2", "mms"},      {"edAPN2user", ""},    {"edAPN2pass", "p2"},
          {serverLineKey(1), "1 - 21/ftp.one"},         {serverLineKey(2), "2 - 2121/127.0.0.5"},
          {serverLineKey(3), "3 - 990/ftp.three/in"},   {"lstbxServers", "2"},
          {"edFTPuser", "fbh"},   {"edFTPpass", "pw"},   {"edFTPcmdFiles", "/cmd"},
          {"edFTPrepFiles", "/rep"}, {"edFTPmaxFileLen", "500"}};
}

TEST_F(IniFolder, SaveKeepsForeignContentWritesTheKeyOrderOwnerOnlyAndLoadsBack) {
  const std::string p = path("apn.ini");
  write(p, "; site settings\n[Other]\nKeep=yes\n\n[FTP]\n; kept comment\nNote=1\n");
  ::chmod(p.c_str(), 0644);
  saveAccessPointIni(p, accessPointValues());
  const std::string text = readWholeFile(p);
  EXPECT_EQ(mode(p), 0600u);
  EXPECT_EQ(text.rfind("; site settings\n", 0), 0u) << text;
  EXPECT_NE(text.find("[Other]\nKeep=yes\n"), std::string::npos) << text;
  EXPECT_NE(text.find("; kept comment\nNote=1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[APN]\nApn1=internet\nApn1user=u1\nApn1pass=\" secret \"\nApn2=mms\nApn2user=\nApn2pass=p2\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Note=1\nAddress 1=ftp.one\nPort 1=21\nAddress 2=127.0.0.5\nPort 2=2121\nAddress 3=ftp.three/in\n"
                      "Current server=3\nPort 3=990\nUser=fbh\nPassword=pw\nFolder-command files=/cmd\n"
                      "Folder-report files=/rep\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("500"), std::string::npos);  // the maximum file size is not part of the file

  TPageValues loaded;
  ASSERT_TRUE(loadAccessPointIni(p, loaded));
  TPageValues expected = accessPointValues();
  expected.erase("edFTPmaxFileLen");
  expected["edFTPaddress"] = "ftp.three/in";  // from the selected third line
  expected["edFTPport"] = "990";
  EXPECT_EQ(loaded, expected);

  // A new file is owner-only from the start; the folder holds no temporary file.
  const std::string fresh = path("new.ini");
  TPageValues none = accessPointValues();
  none["lstbxServers"] = "-1";
  saveAccessPointIni(fresh, none);
  EXPECT_EQ(mode(fresh), 0600u);
  EXPECT_NE(readWholeFile(fresh).find("Current server=0\n"), std::string::npos);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
}

TEST_F(IniFolder, LoadTakesWhatTheFileGivesAndNeverFailsOnBadContent) {
  struct Case {
    std::string name, content;
    std::string apn1, line1, selected, address;
  };
  const Case cases[] = {
      {"empty", "", "", "1 - /", "0", ""},
      {"truncated", "[APN]\nApn1=inter", "inter", "1 - /", "0", ""},
      {"current 3", "[FTP]\nAddress 3=h3\nPort 3=7\nCurrent server=3\n", "", "1 - /", "2", "h3"},
      {"current 0", "[FTP]\nAddress 1=h1\nCurrent server=0\n", "", "1 - /h1", "-1", ""},
      {"current no number", "[FTP]\nAddress 1=h1\nCurrent server=abc\n", "", "1 - /h1", "0", "h1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string p = path("in.ini");
    write(p, c.content);
    TPageValues v;
    ASSERT_TRUE(loadAccessPointIni(p, v));
    EXPECT_EQ(v["edAPN1"], c.apn1);
    EXPECT_EQ(v[serverLineKey(1)], c.line1);
    EXPECT_EQ(v["lstbxServers"], c.selected);
    EXPECT_EQ(v["edFTPaddress"], c.address);
    EXPECT_EQ(v["edFTPuser"], "");
  }
  // Bytes that are no INI text: whatever parses is taken, the lines keep their form.
  const char garbage[] = "\xff[APN\n=\n[[]]\nApn1\n\xc3(=x\r\r[FTP]Port 1=\x01\n\0Address 1=after-nul\n[FTP\n";
  for (const std::string& content : {std::string(garbage, sizeof garbage - 1), std::string(garbage, 20)}) {
    write(path("bad.ini"), content);
    TPageValues v;
    ASSERT_TRUE(loadAccessPointIni(path("bad.ini"), v));
    for (int n = 1; n <= SERVER_LINES; ++n) EXPECT_EQ(v[serverLineKey(n)].rfind(std::to_string(n) + " - ", 0), 0u);
  }
  // A file that cannot be read fills nothing.
  TPageValues v = {{"edAPN1", "kept"}};
  EXPECT_FALSE(loadAccessPointIni(path("missing.ini"), v));
  EXPECT_EQ(v, (TPageValues{{"edAPN1", "kept"}}));
}

TEST_F(IniFolder, ButtonsAskForTheFileAndAddTheExtension) {
  apptest::OpsOnSim s;
  s.host.files = {"", path("chosen"), path("chosen.ini")};
  EXPECT_FALSE(saveAccessPointIniAs(s.ops, accessPointValues()));  // cancelled: nothing written
  EXPECT_TRUE(fs::is_empty(folder));
  ASSERT_TRUE(saveAccessPointIniAs(s.ops, accessPointValues()));
  EXPECT_TRUE(fs::exists(path("chosen.ini")));
  EXPECT_EQ(s.dialogs.shown.back().text, "APN and FTP settings saved.");
  EXPECT_EQ(s.host.filters, (std::vector<std::string>{"ini|*.ini", "ini|*.ini"}));
  TPageValues v;
  ASSERT_TRUE(loadAccessPointIniFrom(s.ops, v));
  EXPECT_EQ(v["edAPN1"], "internet");
  EXPECT_TRUE(s.sent.empty());  // nothing goes to the device
}

TEST(CommunicationOps, ConfigPageShowsServerPartsAndRefusesReadOnlyAndOtherModelsKeys) {
  const TConfigPage* p = findConfigPage("communication");
  ASSERT_NE(p, nullptr);
  apptest::OpsOnSim s("KT-33A");
  TPageValues v;
  ASSERT_TRUE(p->read(s.ops, v));
  p->set(v, "DtServerPort.1", "2121", 2);
  p->set(v, "DtServerAddress.1", "127.0.0.5", 2);
  p->set(v, "MainInterfaceType", "LAN", 2);
  p->set(v, "APN.0", "internet", 2);
  EXPECT_EQ(v[serverLineKey(2)], "2 - 2121/127.0.0.5");
  const TKeyValues kv = p->show(v, 2);
  std::vector<std::string> keys;
  for (const auto& [k, value] : kv) keys.push_back(k);
  EXPECT_EQ(std::vector<std::string>(keys.begin(), keys.begin() + 2),
            (std::vector<std::string>{"MainInterfaceType", "FpComBaudRate"}));
  auto at = [&](const std::string& k) {
    for (const auto& e : kv)
      if (e.first == k) return e.second;
    return std::string("<missing>");
  };
  EXPECT_EQ(at("MainInterfaceType"), "LAN");
  EXPECT_EQ(at("FpComBaudRate"), "115200");
  EXPECT_EQ(at("DtServerAddress.1"), "127.0.0.5");
  EXPECT_EQ(at("DtServerPort.1"), "2121");
  EXPECT_EQ(at("DtServerPort.0"), "21");
  EXPECT_EQ(at("DtUseServer"), "0");
  EXPECT_EQ(at("BthVersion"), "4.2");
  EXPECT_EQ(at("FpComPort"), "<missing>");
  EXPECT_EQ(std::find(keys.begin(), keys.end(), "DtServerPort.2") + 1, std::find(keys.begin(), keys.end(), "DtUseServer"));
  EXPECT_THROW(p->set(v, "BthVersion", "5.0", 2), std::invalid_argument);
  EXPECT_THROW(p->set(v, "FpComPort", "USB", 2), std::invalid_argument);  // register group only
  EXPECT_THROW(p->set(v, "DtServerPort.0", "21/x", 2), std::invalid_argument);
}

}  // namespace
}  // namespace kestrel
