#include "app/logic/backup.h"

#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>
#include <fmt/format.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>

#include "app/logic/device_ops.h"
#include "app/logic/loop_outcome.h"
#include "app/logic/mem_table.h"
#include "app/logic/model_table.h"
#include "app/logic/page_host.h"
#include "app/logic/pages/clients.h"
#include "app/logic/pages/communication.h"
#include "app/logic/pages/items.h"
#include "app/logic/pages/items_csv.h"
#include "app/logic/pages/master_data.h"
#include "app/logic/pages/service_info.h"
#include "app/logic/pages/then_always.h"
#include "app/logic/text_file.h"
#include "support/date_time.h"
#include "support/dialogs.h"
#include "support/err_container.h"
#include "support/fd_misc.h"
#include "support/files.h"
#include "support/utf8.h"

namespace kestrel {

namespace {

constexpr const char* ITEMS = "items";
constexpr const char* CLIENTS = "clients";

// Values that name one device rather than its setup: a second device with the first
// one's LAN address would clash on the network.
bool isDeviceIdentity(const std::string& page, const std::string& key) {
  return page == "communication" && (key == "LanMAC" || key == "BthVersion" || key == "BthAddress");
}

bool modelHasTable(const TMasterTable& t, int ecrModel) {
  const TModelRow* m = modelRowOf(ecrModel);
  return std::string(t.cliName) != "keys" || (m && m->MaxProgrammableKeys > 0);
}

// Every value is written quoted with \, CR, LF escaped: SimpleIni trims blanks and
// strips quotes of its own, and a line end would end the value.
std::string quoted(const std::string& v) {
  std::string s = "\"";
  for (char c : v) {
    if (c == '\\') s += "\\\\";
    else if (c == '\n') s += "\\n";
    else if (c == '\r') s += "\\r";
    else s += c;
  }
  return s + "\"";
}

std::string unquoted(const std::string& raw, const std::string& where) {
  if (raw.size() < 2 || raw.front() != '"' || raw.back() != '"')
    throw std::runtime_error(where + ": the value is not quoted (the file is damaged)");
  std::string v;
  for (size_t i = 1; i + 1 < raw.size(); ++i) {
    char c = raw[i];
    if (c == '\\') {
      if (i + 2 >= raw.size()) throw std::runtime_error(where + ": a broken escape (the file is damaged)");
      const char n = raw[++i];
      c = n == 'n' ? '\n' : n == 'r' ? '\r' : n == '\\' ? '\\' : '\0';
      if (!c) throw std::runtime_error(where + ": a broken escape (the file is damaged)");
    }
    v += c;
  }
  return v;
}

void addLines(CSimpleIniA& ini, const std::string& section, const std::vector<std::string>& lines) {
  for (size_t i = 0; i < lines.size(); ++i)
    ini.SetValue(section.c_str(), ("line" + std::to_string(i + 1)).c_str(), quoted(lines[i]).c_str());
}

int countOf(const CSimpleIniA& ini, const std::string& name) {
  const char* v = ini.GetValue("backup", name.c_str(), nullptr);
  if (!v) return -1;
  try {
    size_t used = 0;
    const int n = std::stoi(v, &used);
    if (used == std::string(v).size() && n >= 0) return n;
  } catch (const std::exception&) {
  }
  throw std::runtime_error("[backup] " + name + " is not a count: '" + v + "'");
}

std::vector<std::string> linesOf(const CSimpleIniA& ini, const std::string& section, int count) {
  std::vector<std::string> lines;
  for (int i = 1; i <= count; ++i) {
    const std::string key = "line" + std::to_string(i);
    const char* v = ini.GetValue(section.c_str(), key.c_str(), nullptr);
    if (!v) throw std::runtime_error("[" + section + "] " + key + " is missing (the file is truncated)");
    lines.push_back(unquoted(v, "[" + section + "] " + key));
  }
  return lines;
}

std::string nowText() {
  const LocalDateTime t = LocalDateTime::now();
  return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}", t.year, t.month, t.day, t.hour, t.minute, t.second);
}

// The page host's progress over the steps of a backup or restore.
class Progress {
 public:
  Progress(PageHost& host, int steps) : fHost(host), fShown(host, 0, steps) {}
  void step(const std::string& what) {
    fHost.set_StatusText(what);
    fHost.progressSet(++fDone);
    fHost.processMessages();
  }

 private:
  PageHost& fHost;
  ProgressScope fShown;
  int fDone = 0;
};

int stepCount(int ecrModel, bool items, bool clients) {
  int n = items + clients;
  for (const auto& p : configPages()) n += pageIsBackedUp(p.name);
  for (const auto& t : masterTables()) n += modelHasTable(t, ecrModel);
  return n;
}

// Loads table rows from CSV lines; the read-only columns (registers, the operator's
// current password) keep the device's values, by row position, so that a save sends
// what the device expects.
void loadFileRows(TMemTable& table, const TMemTable& device, const std::vector<std::string>& lines) {
  tableFromCsvLines(table, lines);
  for (int f = 0; f < table.fieldCount(); ++f) {
    if (!table.field(f).readOnly) continue;
    for (int r = 0; r < table.RecordCount(); ++r)
      table.setValue(r, f, r < device.RecordCount() ? device.value(r, f) : std::string(), true);
  }
}

// Each page's and table's own "saved" message would interrupt a restore many times;
// the summary at the end says it once. Every other dialog passes.
class TSavedMessagesOff : public Dialogs {
 public:
  explicit TSavedMessagesOff(TFDMisc& misc) : fMisc(misc), fInner(misc.dialogs()) { fMisc.set_Dialogs(this); }
  ~TSavedMessagesOff() override { fMisc.set_Dialogs(fInner); }
  TSavedMessagesOff(const TSavedMessagesOff&) = delete;
  TSavedMessagesOff& operator=(const TSavedMessagesOff&) = delete;
  DialogResult show(const DialogRequest& request) override {
    if (request.text == MSG_DATA_SAVED || !fInner) return mrOk;
    return fInner->show(request);
  }

 private:
  TFDMisc& fMisc;
  Dialogs* fInner;
};

class TRestore {
 public:
  TRestore(TDeviceOps& ops, const TBackup& b, const TRestoreOptions& o, TRestoreReport& r)
      : fOps(ops), fB(b), fO(o), fR(r) {}

  void run() {
    const int fileModel = fB.model.empty() ? -1 : modelIndexOf(fB.model);
    if (fileModel != fOps.ecrModel) {
      const TModelRow* m = modelRowOf(fOps.ecrModel);
      fR.notes.push_back("The file is of model " + (fB.model.empty() ? std::string("?") : fB.model) +
                         ", the device is " + (m ? m->name : "of an unknown model") +
                         ": only what applies to this device is restored.");
    }
    const int steps = static_cast<int>(fB.pages.size() + fB.tables.size()) + fB.withItems + fB.withClients;
    Progress progress(fOps.host(), steps);
    TRecordLoop loop(fOps, steps);
    fLoop = &loop;
    // Each part: the stop request is seen before it; a part ended by a stop or by the
    // link ends the restore. A part is done, or failed when something of it was refused
    // (named in notWritten); a part a stop ended is neither.
    auto part = [&](const std::string& name, auto body) {
      if (loop.ended() || fEnded) return;
      progress.step("Restoring " + name + "...");
      if (loop.stopRequested()) return stop("before " + name);
      loop.asking(++fPart);
      const int64_t failedBefore = loop.outcome().failed;
      const size_t refusals = fR.notWritten.size();
      body();
      if (loop.outcome().stopped() || loop.outcome().failed > failedBefore) return;
      if (fR.notWritten.size() > refusals) loop.refused(fPart, fR.notWritten.back());
      else loop.answered(fPart);
    };
    // Entries, not structured bindings: clang before 16 cannot capture a binding in a
    // lambda, and the fuzz build is clang's.
    for (const auto& entry : fB.pages) part(entry.first, [&] { page(entry.first, entry.second); });
    for (const auto& entry : fB.tables) part(entry.first, [&] { table(entry.first, entry.second); });
    if (fB.withItems) part(ITEMS, [&] { items(); });
    if (fB.withClients) part(CLIENTS, [&] { clients(); });
    fR.outcome = loop.outcome();
    fLoop = nullptr;
  }

 private:
  void refused(const std::string& what) { fR.notWritten.push_back(what); }
  void stop(const std::string& where) {
    fLoop->outcome().end = TLoopEnd::Stopped;
    fR.stoppedAt = where;
  }
  // After a command of part `name` failed: a cancelled wait stops the restore (true: the
  // part was stopped, not refused); link failures in several parts in a row end it.
  bool stoppedBy(const std::string& name) {
    if (fLoop->waitCancelled()) {
      stop("during " + name);
      return true;
    }
    if (!fLoop->commandFailed(fPart)) {
      fEnded = true;
      fR.notes.push_back("The restore ended after " + name + ": " + fLoop->outcome().cause + ".");
    }
    return false;
  }
  // The file's page values are the device's own (format 2) or the window's (format 1).
  bool deviceValues() const { return fB.format >= 2; }
  std::string lastError() const {
    const std::string m = fOps.err.LastErrorMessage();
    return m.empty() ? "refused by the device" : m;
  }

  void page(const std::string& name, const TKeyValues& fileValues) {
    const TConfigPage* p = findConfigPage(name);
    if (!p || !pageIsBackedUp(name)) {
      fR.notes.push_back(name + ": not a page a restore writes; skipped");
      return;
    }
    TPageValues values;
    {
      TDeviceOps::ShowErrOff quiet(fOps);
      if (!(deviceValues() ? readWithDeviceValues(*p, fOps, values) : p->read(fOps, values))) {
        if (stoppedBy(name)) return;
        return refused(name + ": the page could not be read (" + lastError() + ")");
      }
    }
    std::map<std::string, std::string> device;
    for (const auto& [k, v] : deviceValues() ? showDeviceValues(*p, values, fOps.ecrModel) : p->show(values, fOps.ecrModel))
      device[k] = v;
    bool changed = false, service = false;
    for (const auto& [key, value] : fileValues) {
      const auto it = device.find(key);
      if (it == device.end()) {
        fR.notes.push_back(name + "." + key + ": not a value of this model; skipped");
        continue;
      }
      if (it->second == value || isDeviceIdentity(name, key)) continue;
      if (needsServiceMode(name, key) && fO.servicePassword.empty()) {
        fR.skipped.push_back(name + "." + key + ": needs the service password; skipped (" + it->second + " -> " +
                           value + ")");
        continue;
      }
      fR.changes.push_back(name + "." + key + ": " + it->second + " -> " + value);
      try {
        if (deviceValues()) setDeviceValue(*p, values, key, value, fOps.ecrModel);
        else p->set(values, key, value, fOps.ecrModel);
      } catch (const std::invalid_argument& e) {
        refused(name + "." + key + ": " + e.what());
        continue;
      }
      changed = true;
      service = service || needsServiceMode(name, key);
    }
    if (!changed || fO.dryRun) return;
    if (save(*p, values, service)) fR.written.push_back(name);
    else if (!stoppedBy(name)) refused(name + ": the save stopped (" + lastError() + ")");
  }

  bool save(const TConfigPage& p, const TPageValues& values, bool service) {
    TDeviceOps::ShowErrOff quiet(fOps);
    if (p.name == "communication") {
      const TParamTable& t = communicationTable();
      if (!service) {
        // Only the values outside service mode: the device refuses the others.
        std::vector<std::string> keys;
        for (const auto& k : t.saveOrder)
          if (!needsServiceMode(p.name, k)) keys.push_back(k);
        return saveParams(fOps, t, keys, values);
      }
      if (!enterServiceMode(fOps, fO.servicePassword)) return false;
      const auto leave = always([&] { fOps.commandUnjudged(253, serviceModeInput("")); });
      return p.save(fOps, values);
    }
    return p.save(fOps, values);
  }

  void table(const std::string& name, const std::vector<std::string>& lines) {
    const TMasterTable* def = findMasterTable(name);
    if (!def || !modelHasTable(*def, fOps.ecrModel)) {
      fR.notes.push_back(name + ": no such table on this device; skipped");
      return;
    }
    TMemTable device(def->tableName), file(def->tableName);
    def->prepare(device);
    def->prepare(file);
    const TModelRow* m = modelRowOf(fOps.ecrModel);
    {
      TDeviceOps::ShowErrOff quiet(fOps);
      if (!def->read(fOps, device, m ? m->MaxProgrammableKeys : 0)) {
        if (stoppedBy(name)) return;
        return refused(name + ": the table could not be read (" + lastError() + ")");
      }
    }
    loadFileRows(file, device, lines);
    // The writable columns: what a restore compares.
    const auto have = tableCsvLines(device, true), want = tableCsvLines(file, true);
    if (have == want) return;
    for (size_t i = 1; i < std::max(have.size(), want.size()); ++i) {
      const std::string a = i < have.size() ? have[i] : "(none)", b = i < want.size() ? want[i] : "(none)";
      if (a != b) fR.changes.push_back(name + " row " + std::to_string(i) + ": " + a + " -> " + b);
    }
    if (fO.dryRun) return;
    TDeviceOps::ShowErrOff quiet(fOps);
    bool ok = false;
    try {
      ok = def->save(fOps, file);
    } catch (const std::exception& e) {
      return refused(name + ": " + e.what());
    }
    if (ok) fR.written.push_back(name);
    else if (!stoppedBy(name)) refused(name + ": the save stopped (" + lastError() + ")");
  }

  // A loop of records in the restore: what it wrote, said exactly.
  void records(const char* what, const TLoopOutcome& r, const TLoopWords& words) {
    const std::string count = std::to_string(r.answered) + " of " + std::to_string(r.total) + " " + words.many;
    if (r.ok()) return fR.written.push_back(std::string(what) + " (" + count + ")");
    if (r.stopped()) {
      stop(std::string("during ") + what + " (" + count + " written)");
      if (r.failed == 0) return;
    }
    refused(std::string(what) + ": " + count + " written. " + r.closingMessage(words, " "));
    if (r.end == TLoopEnd::Failed && isLinkFailure(fOps.err.LastErrorCode())) fEnded = true;
  }

  void items() {
    TMemTable table("fdmt_Articles");
    prepareArticlesTable(table);
    appendItemLines(table, fB.items, fOps.host());
    if (table.RecordCount() == 0) return;
    fR.changes.push_back(ITEMS + std::string(": ") + std::to_string(table.RecordCount()) + " item(s) to write");
    if (fO.dryRun) return;
    TDeviceOps::ShowErrOff quiet(fOps);
    TItemsOps ops(fOps, table, fOps.host());
    records(ITEMS, ops.SaveAllInGrid(), ITEMS_SAVE);
  }

  void clients() {
    TMemTable table(CLIENTS_TABLE_NAME);
    prepareClientTable(table);
    for (size_t i = 1; i < fB.clients.size(); ++i) importClientLine(table, fB.clients[i]);
    if (table.RecordCount() == 0) return;
    fR.changes.push_back(CLIENTS + std::string(": ") + std::to_string(table.RecordCount()) + " client(s) to write");
    if (fO.dryRun) return;
    TDeviceOps::ShowErrOff quiet(fOps);
    records(CLIENTS, SaveAllClientInfo(fOps, table), CLIENTS_SAVE);
  }

  TDeviceOps& fOps;
  const TBackup& fB;
  const TRestoreOptions& fO;
  TRestoreReport& fR;
  TRecordLoop* fLoop = nullptr;
  int fPart = 0;
  bool fEnded = false;  // the link failed in several parts in a row
};

}  // namespace

bool pageIsBackedUp(const std::string& page) { return page != "fiscal" && page != "datetime"; }

bool needsServiceMode(const std::string& page, const std::string& key) {
  if (page != "communication") return false;
  const std::string name = key.substr(0, key.find('.'));
  return name == "APN" || name == "APN_User" || name == "APN_Pass" || name.rfind("DtServer", 0) == 0 ||
         name == "DtUseServer" || name == "DtMaxFileLen";
}

TLoopOutcome readBackup(TDeviceOps& ops, bool withItems, bool withClients, TBackup& b) {
  b = TBackup{};
  const TModelRow* m = modelRowOf(ops.ecrModel);
  b.model = m ? m->name : "";
  b.created = nowText();
  b.withItems = withItems;
  b.withClients = withClients;
  const int steps = stepCount(ops.ecrModel, withItems, withClients);
  TRecordLoop loop(ops, steps);
  Progress progress(ops.host(), steps);
  TDeviceOps::ShowErrOff quiet(ops);
  int step = 0;
  // Each part: the stop request is seen before it, and a cancelled wait inside it stops
  // the backup rather than calling it a refusal.
  auto begin = [&](const std::string& what) {
    progress.step("Reading " + what + "...");
    loop.asking(++step);
    return !loop.stopRequested();
  };
  auto stopped = [&](const std::string& what) {
    TLoopOutcome& o = loop.outcome();
    o.end = TLoopEnd::Stopped;
    o.cause = "stopped while reading " + what + " (" + std::to_string(o.answered) + " of " + std::to_string(steps) +
              " parts read)";
    return o;
  };
  auto failed = [&](const std::string& what, const std::string& why) {
    if (loop.waitCancelled()) return stopped(what);
    loop.fail(what + ": " + why);
    return loop.outcome();
  };
  auto refused = [&](const std::string& what) {
    return failed(what, "the read stopped at a refused command (" + ops.err.LastErrorMessage() + ")");
  };
  for (const auto& p : configPages()) {
    if (!pageIsBackedUp(p.name)) continue;
    if (!begin(p.name)) return stopped(p.name);
    TPageValues values;
    if (!readWithDeviceValues(p, ops, values)) return refused(p.name);
    b.pages.emplace_back(p.name, showDeviceValues(p, values, ops.ecrModel));
    loop.answered(step);
  }
  for (const auto& t : masterTables()) {
    if (!modelHasTable(t, ops.ecrModel)) continue;
    if (!begin(t.cliName)) return stopped(t.cliName);
    TMemTable table(t.tableName);
    t.prepare(table);
    if (!t.read(ops, table, m ? m->MaxProgrammableKeys : 0)) return refused(t.cliName);
    b.tables.emplace_back(t.cliName, tableCsvLines(table));
    loop.answered(step);
  }
  // A part of the items or clients would pass for all of them: a row that failed fails
  // the backup, named.
  auto partRead = [&](const char* what, const TLoopOutcome& r, const TLoopWords& words) {
    if (r.stopped()) return false;
    if (r.ok()) return true;
    loop.fail(std::string(what) + ": " + r.closingMessage(words, " "));
    return false;
  };
  if (withItems) {
    if (!begin(ITEMS)) return stopped(ITEMS);
    TMemTable table("fdmt_Articles");
    prepareArticlesTable(table);
    TItemsOps items(ops, table, ops.host());
    const TLoopOutcome r = items.ReadItems_inRange(1, MAX_PROGRAMMABLE_PLU);
    if (r.stopped()) return stopped(ITEMS);
    if (!partRead(ITEMS, r, ITEMS_READ)) return loop.outcome();
    b.items.push_back(ITEMS_CSV_HEADER);
    for (int row = 0; row < table.RecordCount(); ++row) {
      std::string line;
      appendItemCsvLine(line, table, row);
      b.items.push_back(line);
    }
    loop.answered(step);
  }
  if (withClients) {
    if (!begin(CLIENTS)) return stopped(CLIENTS);
    TMemTable table(CLIENTS_TABLE_NAME);
    prepareClientTable(table);
    const TLoopOutcome r = readClientInfo(ops, table);
    if (r.stopped()) return stopped(CLIENTS);
    if (!partRead(CLIENTS, r, CLIENTS_READ)) return loop.outcome();
    b.clients = clientCsvLines(table);
    loop.answered(step);
  }
  return loop.outcome();
}

std::string backupText(const TBackup& b) {
  CSimpleIniA ini(false);
  ini.SetSpaces(false);
  ini.SetQuotes(false);
  ini.SetValue("backup", "format", std::to_string(b.format).c_str());
  ini.SetValue("backup", "model", b.model.c_str());
  ini.SetValue("backup", "created", b.created.c_str());
  // The counts let a restore tell a truncated file from a whole one.
  for (const auto& [name, kv] : b.pages)
    ini.SetValue("backup", ("config." + name).c_str(), std::to_string(kv.size()).c_str());
  for (const auto& [name, lines] : b.tables)
    ini.SetValue("backup", ("table." + name).c_str(), std::to_string(lines.size()).c_str());
  if (b.withItems) ini.SetValue("backup", ITEMS, std::to_string(b.items.size()).c_str());
  if (b.withClients) ini.SetValue("backup", CLIENTS, std::to_string(b.clients.size()).c_str());
  ini.SetValue("backup", "end", "1");
  for (const auto& [name, kv] : b.pages)
    for (const auto& [key, value] : kv) ini.SetValue(("config." + name).c_str(), key.c_str(), quoted(value).c_str());
  for (const auto& [name, lines] : b.tables) addLines(ini, "table." + name, lines);
  if (b.withItems) addLines(ini, ITEMS, b.items);
  if (b.withClients) addLines(ini, CLIENTS, b.clients);
  std::string text;
  if (ini.Save(text) < 0) throw EFileError("the backup could not be written");
  return text;
}

void writeBackupFile(const std::string& path, const TBackup& b) { writePrivateFileAtomically(path, backupText(b)); }

namespace {

// A backup is refused unless its parts fit together: every section once, every key once
// in its section, a count in [backup] for every section and exactly that many values in
// it, and "end" as the last key of [backup]. A file edited by hand or cut and pasted
// together is refused before anything is sent, instead of restoring a part of it.
void checkWhole(const CSimpleIniA& ini, const std::string& text) {
  std::set<std::string> seen;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + at, end - at);
    at = end + 1;
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    const size_t close = line.find(']');
    if (line.empty() || line.front() != '[' || close == std::string_view::npos) continue;
    const std::string name(line.substr(1, close - 1));
    if (!seen.insert(name).second)
      throw std::runtime_error("the section [" + excerpt(name) + "] appears twice (the file is damaged)");
  }
  CSimpleIniA::TNamesDepend sections;
  ini.GetAllSections(sections);
  for (const auto& section : sections) {
    CSimpleIniA::TNamesDepend keys;
    ini.GetAllKeys(section.pItem, keys);
    const std::string name = section.pItem;
    for (const auto& k : keys)
      if (bool twice = false; ini.GetValue(section.pItem, k.pItem, nullptr, &twice) && twice)
        throw std::runtime_error("[" + excerpt(name) + "] " + excerpt(k.pItem) + " appears twice (the file is damaged)");
    if (name == "backup") continue;
    const int count = countOf(ini, name);
    if (count < 0)
      throw std::runtime_error("[" + excerpt(name) + "] has no count in [backup] (the file is damaged)");
    // Fewer values than counted is a truncated file, named where its lines are read.
    if (static_cast<int>(keys.size()) > count)
      throw std::runtime_error("[" + excerpt(name) + "] holds " + std::to_string(keys.size()) + " values, [backup] counts " +
                               std::to_string(count) + " (the file is damaged)");
  }
  CSimpleIniA::TNamesDepend keys;
  ini.GetAllKeys("backup", keys);
  keys.sort(CSimpleIniA::Entry::LoadOrder());
  if (keys.empty() || std::string(keys.back().pItem) != "end" || std::string(ini.GetValue("backup", "end", "")) != "1")
    throw std::runtime_error("the [backup] section is truncated or damaged (\"end=1\" is not its last key)");
  for (const auto& k : keys) {
    const std::string key = k.pItem;
    const bool known = key == "format" || key == "model" || key == "created" || key == "end" || key == ITEMS ||
                       key == CLIENTS || key.rfind("config.", 0) == 0 || key.rfind("table.", 0) == 0;
    if (!known) throw std::runtime_error("[backup] " + excerpt(key) + " is not a key of a backup (the file is damaged)");
    // A count whose section is missing is checked where its lines are read.
  }
}

}  // namespace

TBackup parseBackup(const std::string& text) {
  // Several values per key, so that a key given twice is seen instead of the last one winning.
  CSimpleIniA ini(false, true);
  ini.SetQuotes(false);
  if (ini.LoadData(text) < 0) throw std::runtime_error("the file is no backup (it cannot be read as INI)");
  const char* format = ini.GetValue("backup", "format", nullptr);
  if (!format) throw std::runtime_error("the file is no backup (no [backup] section with its format)");
  if (std::string(format) != "1" && std::string(format) != std::to_string(BACKUP_FORMAT))
    throw std::runtime_error("backup format " + excerpt(format) + " is not known to this version");
  if (!ini.GetValue("backup", "end", nullptr)) throw std::runtime_error("the [backup] section is truncated");
  checkWhole(ini, text);
  TBackup b;
  b.format = std::stoi(format);
  b.model = ini.GetValue("backup", "model", "");
  b.created = ini.GetValue("backup", "created", "");

  CSimpleIniA::TNamesDepend keys;
  ini.GetAllKeys("backup", keys);
  keys.sort(CSimpleIniA::Entry::LoadOrder());
  for (const auto& k : keys) {
    const std::string name = k.pItem;
    if (name.rfind("config.", 0) == 0) {
      const int count = countOf(ini, name);
      CSimpleIniA::TNamesDepend pageKeys;
      ini.GetAllKeys(name.c_str(), pageKeys);
      pageKeys.sort(CSimpleIniA::Entry::LoadOrder());
      if (static_cast<int>(pageKeys.size()) != count)
        throw std::runtime_error("[" + name + "] holds " + std::to_string(pageKeys.size()) + " of " +
                                 std::to_string(count) + " values (the file is truncated)");
      TKeyValues kv;
      for (const auto& pk : pageKeys)
        kv.emplace_back(pk.pItem, unquoted(ini.GetValue(name.c_str(), pk.pItem, ""), "[" + name + "] " + pk.pItem));
      b.pages.emplace_back(name.substr(7), kv);
    } else if (name.rfind("table.", 0) == 0) {
      const std::string table = name.substr(6);
      const TMasterTable* def = findMasterTable(table);
      if (!def) throw std::runtime_error("[" + name + "]: no such table");
      auto lines = linesOf(ini, name, countOf(ini, name));
      TMemTable check(def->tableName);
      def->prepare(check);
      try {
        tableFromCsvLines(check, lines);
      } catch (const std::exception& e) {
        throw std::runtime_error("[" + name + "] " + e.what());
      }
      b.tables.emplace_back(table, std::move(lines));
    } else if (name == ITEMS) {
      b.withItems = true;
      b.items = linesOf(ini, ITEMS, countOf(ini, ITEMS));
    } else if (name == CLIENTS) {
      b.withClients = true;
      b.clients = linesOf(ini, CLIENTS, countOf(ini, CLIENTS));
    }
  }
  // The item and client lines are checked the way the restore loads them.
  if (b.withItems) {
    NullPageHost host;
    TMemTable t("fdmt_Articles");
    prepareArticlesTable(t);
    try {
      appendItemLines(t, b.items, host);
    } catch (const std::exception& e) {
      throw std::runtime_error(std::string("[items] ") + e.what());
    }
  }
  if (b.withClients) {
    TMemTable t(CLIENTS_TABLE_NAME);
    prepareClientTable(t);
    for (size_t i = 1; i < b.clients.size(); ++i) try {
        importClientLine(t, b.clients[i]);
      } catch (const std::exception& e) {
        throw std::runtime_error("[clients] line" + std::to_string(i + 1) + ": " + e.what());
      }
  }
  return b;
}

TBackup readBackupFile(const std::string& path) { return parseBackup(readWholeFile(path, BACKUP_INPUT.maxBytes, BACKUP_INPUT.name)); }

TRestoreReport restoreBackup(TDeviceOps& ops, const TBackup& backup, const TRestoreOptions& options) {
  TRestoreReport report;
  TSavedMessagesOff quiet(ops.misc);
  TRestore(ops, backup, options, report).run();
  return report;
}

std::string TRestoreReport::summary(bool dryRun) const {
  std::string s;
  auto list = [&](const char* title, const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    s += title;
    s += '\n';
    for (const auto& l : lines) s += "  " + l + '\n';
  };
  if (dryRun) {
    list("Would change:", changes);
    if (changes.empty()) s += "Nothing to change: the device holds the file's values.\n";
  } else {
    list("Written:", written);
    list("Not written:", notWritten);
    if (stopped()) s += "Stopped " + stoppedAt + ": nothing after it was written.\n";
    else if (written.empty() && notWritten.empty()) s += "Nothing to change: the device holds the file's values.\n";
  }
  if (dryRun) list("Not readable:", notWritten);
  list(dryRun ? "Would be skipped:" : "Skipped (not written):", skipped);
  list("Notes:", notes);
  return s;
}

}  // namespace kestrel
