#include "app/logic/pages/communication.h"

// Text stays UTF-8, so no wide-character converter; Debian ships the template bodies
// behind SI_IMPLEMENTATION.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "app/logic/config_pages.h"
#include "app/logic/device_ops.h"
#include "app/logic/field_helpers.h"
#include "support/err_container.h"
#include "support/files.h"

namespace kestrel {

const std::vector<std::string> PC_PORT_CHOICES = {"None", "COM 1", "COM 2", "USB", "Bluetooth"};
const std::vector<std::string> COM_DEVICE_CHOICES = {"None", "Barcode reader", "Scale", "Display"};
const std::vector<std::string> INTERFACE_TYPE_CHOICES = {"Auto", "RS232", "Bluetooth", "USB", "LAN"};
const std::vector<std::string> BT_PAIRING_CHOICES = {"Unsecure", "Reset and save", "Reset"};

std::string serverLineKey(int line) { return std::string(SERVER_LIST) + "." + std::to_string(line); }

const std::vector<std::string>& initialServerLines() {
  static const std::vector<std::string> lines = {"1 - ", "2 - ", "3 -"};
  return lines;
}

TServerLine parseServerLine(const std::string& line) {
  const auto slash = line.find('/');
  const std::string before = line.substr(0, slash);
  TServerLine s;
  s.port = before.size() > 4 ? before.substr(4) : std::string();
  if (slash != std::string::npos) s.address = line.substr(slash + 1);
  return s;
}

std::string serverLineText(int line, const std::string& port, const std::string& address) {
  return std::to_string(line) + " - " + port + "/" + address;
}

namespace {

std::string valueOf(const TPageValues& values, const std::string& key, const std::string& fallback = {}) {
  auto it = values.find(key);
  return it == values.end() ? fallback : it->second;
}

std::string lineOf(const TPageValues& values, int line) {
  return valueOf(values, serverLineKey(line), initialServerLines()[static_cast<size_t>(line - 1)]);
}

// The selected line, 1..3, or 0 when none is.
int selectedLine(const TPageValues& values) {
  int row = -1;
  try {
    row = parseIntValue(valueOf(values, SERVER_LIST, "-1"));
  } catch (const std::invalid_argument&) {
    row = -1;
  }
  return row >= 0 && row < SERVER_LINES ? row + 1 : 0;
}

// A free text that may be cleared: the save loop sends an empty one as a blank, which
// the device stores as empty.
TParamBinding text(const char* name, const char* index, const char* widget) {
  return {name, index, widget, TParamEnc::Text};
}
TParamBinding number(const char* name, const char* index, const char* widget) {
  return {name, index, widget, TParamEnc::TextZero};
}
TParamBinding choice(const char* name, const char* index, const char* widget, TParamEnc enc, TModelRule models,
                     const std::vector<std::string>& choices) {
  return {name, index, widget, enc, models, &choices};
}
TParamBinding check(const char* name, const char* widget) { return {name, "", widget, TParamEnc::Check}; }

// The server parameters: one per line and part, written from and read into the line.
struct TServerParam {
  std::string name;
  int line;
  bool port;
  std::string key() const { return name + "." + std::to_string(line - 1); }
};

const std::vector<TServerParam>& serverParams() {
  static const std::vector<TServerParam> params = [] {
    std::vector<TServerParam> p;
    for (int line = 1; line <= SERVER_LINES; ++line) {
      p.push_back({"DtServerAddress", line, false});
      p.push_back({"DtServerPort", line, true});
    }
    return p;
  }();
  return params;
}

const TServerParam* serverParam(const std::string& key) {
  for (const auto& s : serverParams())
    if (s.key() == key) return &s;
  return nullptr;
}

std::vector<std::string> serverKeys() {
  std::vector<std::string> keys;
  for (const auto& s : serverParams()) keys.push_back(s.key());
  return keys;
}

TParamTable makeTable() {
  using E = TParamEnc;
  using M = TModelRule;
  TParamTable t;
  t.page = "communication";
  t.bindings = {
      choice("FpComPort", "", "cbxPCcomPort", E::EntryIndex, M::RegisterGroup, PC_PORT_CHOICES),
      choice("FpComBaudRate", "", "cbxPCportSpeed", E::EntryIndex, M::RegisterGroup, SPEED_CHOICES),
      choice("FpComBaudRate", "", "cbxFPspeed", E::EntryIndex, M::NotRegisterGroup, SPEED_CHOICES),
      choice("ComPortDevice", "0", "cbxDevType1", E::EntryIndex, M::RegisterGroup, COM_DEVICE_CHOICES),
      choice("ComPortDevice", "1", "cbxDevType2", E::EntryIndex, M::RegisterGroup, COM_DEVICE_CHOICES),
      choice("ComPortBaudRate", "0", "cbxDevSpeed1", E::EntryText, M::RegisterGroup, SPEED_CHOICES),
      choice("ComPortBaudRate", "1", "cbxDevSpeed2", E::EntryText, M::RegisterGroup, SPEED_CHOICES),
      choice("ComPortProtocol", "0", "cbxDevProtocol1", E::EntryIndex, M::RegisterGroup, numberChoices(0, 9)),
      choice("ComPortProtocol", "1", "cbxDevProtocol2", E::EntryIndex, M::RegisterGroup, numberChoices(0, 9)),
      choice("MainInterfaceType", "", "cbxInterfaceType", E::EntryIndex, M::NotRegisterGroup, INTERFACE_TYPE_CHOICES),
      check("DHCPenable", "chbxDHCP"),
      number("LANport_fpCommands", "", "edLANport"),
      {"LAN_IP", "", "edIP", E::Text},
      {"LAN_NetMask", "", "edMask", E::Text},
      {"LAN_Gateway", "", "edGateway", E::Text},
      {"LAN_PriDNS", "", "edDNS1", E::Text},
      {"LAN_SecDNS", "", "edDNS2", E::Text},
      {"LanMAC", "", "ledMAC", E::Text, M::Any, nullptr, false},
      check("BthEnable", "chbxBlueToothON"),
      check("BthDiscoverability", "chbxBT_Discoverable"),
      choice("BthPairing", "", "cbxBT_Pairing", E::EntryIndex, M::Any, BT_PAIRING_CHOICES),
      text("BthPinCode", "", "ledBT_PinCode"),
      {"BthVersion", "", "ledBT_Firmware", E::ReadOnly},
      {"BthAddress", "", "ledBT_Address", E::ReadOnly},
      text("APN", "0", "edAPN1"),
      text("APN_User", "0", "edAPN1user"),
      text("APN_Pass", "0", "edAPN1pass"),
      text("APN", "1", "edAPN2"),
      text("APN_User", "1", "edAPN2user"),
      text("APN_Pass", "1", "edAPN2pass"),
      choice("DtUseServer", "", SERVER_LIST, E::EntryIndex, M::Any, numberChoices(0, SERVER_LINES - 1)),
      text("DtServerUserName", "", "edFTPuser"),
      text("DtServerUserPsw", "", "edFTPpass"),
      text("DtServerReportPath", "", "edFTPrepFiles"),
      text("DtServerCommandPath", "", "edFTPcmdFiles"),
      number("DtMaxFileLen", "", "edFTPmaxFileLen"),
  };
  // The model part: register group FpComPort, FpComBaudRate and the two ports; other
  // models MainInterfaceType, FpComBaudRate (each key applies only where it belongs).
  const std::vector<std::string> pcLink = {"FpComPort",         "MainInterfaceType", "FpComBaudRate",
                                           "ComPortDevice.0",   "ComPortBaudRate.0", "ComPortProtocol.0",
                                           "ComPortDevice.1",   "ComPortBaudRate.1", "ComPortProtocol.1"};
  const std::vector<std::string> apn = {"APN.0", "APN_User.0", "APN_Pass.0", "APN.1", "APN_User.1", "APN_Pass.1"};
  const std::vector<std::string> servers = serverKeys();
  auto join = [](std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  };
  t.readOrder = join({pcLink, apn, servers,
                      {"DtUseServer", "DtServerUserName", "DtServerUserPsw", "DtServerReportPath",
                       "DtServerCommandPath", "DtMaxFileLen", "LANport_fpCommands", "LanMAC", "DHCPenable", "LAN_IP",
                       "LAN_NetMask", "LAN_Gateway", "LAN_PriDNS", "LAN_SecDNS", "BthEnable", "BthDiscoverability",
                       "BthPairing", "BthPinCode", "BthVersion", "BthAddress"}});
  t.saveOrder = join({pcLink,
                      {"DHCPenable", "LANport_fpCommands", "LAN_IP", "LAN_NetMask", "LAN_Gateway", "LAN_PriDNS",
                       "LAN_SecDNS", "LanMAC", "BthEnable", "BthDiscoverability", "BthPairing", "BthPinCode"},
                      apn, servers,
                      {"DtUseServer", "DtServerUserName", "DtServerUserPsw", "DtServerReportPath",
                       "DtServerCommandPath", "DtMaxFileLen"}});
  return t;
}

std::string serverPart(const TPageValues& values, const TServerParam& s) {
  const TServerLine l = parseServerLine(lineOf(values, s.line));
  return s.port ? l.port : l.address;
}

// The value a save writes for a server part: the device value it carries, else the
// line's part; an empty part as a value the device stores, never as a read.
std::string serverValueToWrite(const TPageValues& values, const TServerParam& s) {
  const auto d = values.find(deviceValueKey(s.key()));
  const std::string v = d != values.end() ? d->second : serverPart(values, s);
  checkSendable(s.key(), v);
  return v.empty() ? (s.port ? "0" : " ") : v;
}

bool saveServerParam(TDeviceOps& ops, const TPageValues& values, const TServerParam& s) {
  return ops.writeParam(s.name, std::to_string(s.line - 1), serverValueToWrite(values, s));
}

}  // namespace

const TParamTable& communicationTable() {
  static const TParamTable table = makeTable();
  return table;
}

void fillServerFields(TPageValues& values) {
  const int line = selectedLine(values);
  const TServerLine l = line ? parseServerLine(lineOf(values, line)) : TServerLine{};
  values[SERVER_ADDRESS_FIELD] = l.address;
  values[SERVER_PORT_FIELD] = l.port;
}

TServerEdit changeServerList(TPageValues& values) {
  const std::string address = valueOf(values, SERVER_ADDRESS_FIELD);
  const std::string port = valueOf(values, SERVER_PORT_FIELD);
  if (address.empty()) return TServerEdit::FocusAddress;
  if (port.empty()) return TServerEdit::FocusPort;
  const int line = selectedLine(values);
  if (!line) return TServerEdit::NoLineSelected;
  values[serverLineKey(line)] = serverLineText(line, port, address);
  return TServerEdit::Replaced;
}

bool readCommunications(TDeviceOps& ops, TPageValues& values) {
  const TParamTable& t = communicationTable();
  std::string address[SERVER_LINES];
  for (const auto& key : t.readOrder) {
    if (const TServerParam* s = serverParam(key)) {
      std::string v;
      if (!ops.readParam(s->name, std::to_string(s->line - 1), v)) return false;
      if (s->port) values[serverLineKey(s->line)] = serverLineText(s->line, v, address[s->line - 1]);
      else address[s->line - 1] = v;
      continue;
    }
    if (!readParams(ops, t, {key}, values)) return false;
    if (key == "DtUseServer") fillServerFields(values);
  }
  return true;
}

bool saveCommunications(TDeviceOps& ops, const TPageValues& values) {
  const TParamTable& t = communicationTable();
  // Every value checked before the first is written.
  std::vector<std::string> bound;
  for (const auto& key : t.saveOrder)
    if (const TServerParam* s = serverParam(key)) serverValueToWrite(values, *s);
    else bound.push_back(key);
  paramWriteTexts(ops, t, bound, values);
  // ShowErr goes back on on every way out.
  std::optional<TDeviceOps::ShowErrOff> errorsToStatusBar;
  std::string skipped;
  for (const auto& key : t.saveOrder) {
    if (key == "APN.0") errorsToStatusBar.emplace(ops);
    const TServerParam* s = serverParam(key);
    if (s ? saveServerParam(ops, values, *s) : saveParams(ops, t, {key}, values)) continue;
    if (key == "APN_User.1" && ops.err.LastErrorCode() == CODE_SERVICE_PASSWORD_NEEDED) {
      // Its message is in the status bar; the save goes on with errors shown again.
      skipped = ops.err.LastErrorMessage();
      ops.set_ShowErr(true);
      continue;
    }
    return false;
  }
  errorsToStatusBar.reset();
  ops.informSaved();
  // The next verdicts cleared the status bar: the skipped setting must stay visible.
  if (!skipped.empty()) ops.host().set_StatusText(skipped);
  return true;
}

// ---- the access point INI file ----

namespace {

struct TIniKey {
  const char* section;
  const char* key;
  const char* widget;  // a page value, or null for a server part / the current server
  int line = 0;        // server line of a server part
  bool port = false;
};

// In the order the file is written.
const std::vector<TIniKey>& iniKeys() {
  static const std::vector<TIniKey> keys = {
      {"APN", "Apn1", "edAPN1"},
      {"APN", "Apn1user", "edAPN1user"},
      {"APN", "Apn1pass", "edAPN1pass"},
      {"APN", "Apn2", "edAPN2"},
      {"APN", "Apn2user", "edAPN2user"},
      {"APN", "Apn2pass", "edAPN2pass"},
      {"FTP", "Address 1", nullptr, 1, false},
      {"FTP", "Port 1", nullptr, 1, true},
      {"FTP", "Address 2", nullptr, 2, false},
      {"FTP", "Port 2", nullptr, 2, true},
      {"FTP", "Address 3", nullptr, 3, false},
      {"FTP", "Current server", nullptr},
      {"FTP", "Port 3", nullptr, 3, true},
      {"FTP", "User", "edFTPuser"},
      {"FTP", "Password", "edFTPpass"},
      {"FTP", "Folder-command files", "edFTPcmdFiles"},
      {"FTP", "Folder-report files", "edFTPrepFiles"},
  };
  return keys;
}

std::string withIniExtension(const std::string& path) {
  return std::filesystem::path(path).has_extension() ? path : path + ".ini";
}

}  // namespace

void saveAccessPointIni(const std::string& path, const TPageValues& values) {
  CSimpleIniA ini(true);
  ini.SetSpaces(false);
  // Quotes keep the blanks around a password.
  ini.SetQuotes(true);
  std::error_code ec;
  // An existing file that cannot be read is not replaced: its other keys would be lost.
  if (std::filesystem::exists(path, ec) && ini.LoadData(readWholeFile(path)) < 0)
    throw EFileError("Cannot read file \"" + path + "\"");
  for (const auto& k : iniKeys()) {
    std::string v;
    if (k.widget) v = valueOf(values, k.widget);
    else if (k.line) {
      const TServerLine l = parseServerLine(lineOf(values, k.line));
      v = k.port ? l.port : l.address;
    } else v = std::to_string(selectedLine(values));
    // A line break in a value would start a key of its own.
    std::replace_if(v.begin(), v.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    ini.SetValue(k.section, k.key, v.c_str());
  }
  std::string content;
  if (ini.Save(content) < 0) throw EFileError("Cannot write file \"" + path + "\"");
  writePrivateFileAtomically(path, content);
}

bool loadAccessPointIni(const std::string& path, TPageValues& values) {
  CSimpleIniA ini(true);
  ini.SetQuotes(true);
  try {
    if (ini.LoadData(readWholeFile(path)) < 0) return false;
  } catch (const EFileError&) {
    return false;
  }
  auto get = [&](const TIniKey& k) { return std::string(ini.GetValue(k.section, k.key, "")); };
  std::string address[SERVER_LINES], port[SERVER_LINES];
  for (const auto& k : iniKeys()) {
    if (!k.line) continue;
    (k.port ? port : address)[k.line - 1] = get(k);
  }
  for (const auto& k : iniKeys())
    if (k.widget && std::string(k.section) == "APN") values[k.widget] = get(k);
  for (int line = 1; line <= SERVER_LINES; ++line)
    values[serverLineKey(line)] = serverLineText(line, port[line - 1], address[line - 1]);
  // A missing (or unreadable) number counts as 1, as the platform's integer read gives it.
  int current = 1;
  try {
    current = parseIntValue(ini.GetValue("FTP", "Current server", "1"));
  } catch (const std::invalid_argument&) {
    current = 1;
  }
  values[SERVER_LIST] = current >= 1 && current <= SERVER_LINES ? std::to_string(current - 1) : "-1";
  for (const auto& k : iniKeys())
    if (k.widget && std::string(k.section) == "FTP") values[k.widget] = get(k);
  fillServerFields(values);
  return true;
}

bool saveAccessPointIniAs(TDeviceOps& ops, const TPageValues& values) {
  const std::string path = ops.host().saveFileName("Save APN and FTP settings", INI_FILTER, "");
  if (path.empty()) return false;
  saveAccessPointIni(withIniExtension(path), values);
  ops.inform(MSG_APN_SAVED);
  return true;
}

bool loadAccessPointIniFrom(TDeviceOps& ops, TPageValues& values) {
  const std::string path = ops.host().openFileName("Load APN and FTP settings", INI_FILTER);
  return !path.empty() && loadAccessPointIni(path, values);
}

// ---- kestrel config ----

TConfigPage communicationConfigPage() {
  TConfigPage p;
  p.name = "communication";
  p.read = readCommunications;
  p.save = saveCommunications;
  p.show = [](const TPageValues& values, int ecrModel) {
    TKeyValues kv = showParamTable(communicationTable(), values, ecrModel);
    auto at = std::find_if(kv.begin(), kv.end(), [](const auto& e) { return e.first == "DtUseServer"; });
    TKeyValues servers;
    for (const auto& s : serverParams()) servers.emplace_back(s.key(), serverPart(values, s));
    kv.insert(at, servers.begin(), servers.end());
    return kv;
  };
  p.set = [](TPageValues& values, const std::string& key, const std::string& value, int ecrModel) {
    const TServerParam* s = serverParam(key);
    if (!s) return setParamTable(communicationTable(), values, key, value, ecrModel);
    if (value.find('/') != std::string::npos && s->port)
      throw std::invalid_argument(key + ": a port holds no '/'");
    TServerLine l = parseServerLine(lineOf(values, s->line));
    (s->port ? l.port : l.address) = value;
    values[serverLineKey(s->line)] = serverLineText(s->line, l.port, l.address);
  };
  p.deviceValue = [](const std::string& key, const std::string& value, int ecrModel) {
    const TServerParam* s = serverParam(key);
    if (!s) return paramTableDeviceValue(communicationTable(), key, value, ecrModel);
    checkSendable(key, value);
    if (s->port && !value.empty() && value.find_first_not_of("0123456789") != std::string::npos)
      throw std::invalid_argument(key + ": '" + value + "' is not a port number");
    return value;
  };
  return p;
}

}  // namespace kestrel
