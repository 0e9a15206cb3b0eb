#pragma once
// A page's device operations against the simulator in-process: the engine configured as
// the window configures it, TDeviceOps over it with scripted dialogs and a recording
// host, and every command sent (number and input text) in order.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "app/logic/device_ops.h"
#include "app/logic/model_table.h"
#include "engine/tcpip_connector.h"
#include "sim/support_engine.h"
#include "support/date_time.h"
#include "support/dialogs.h"

namespace kestrel::apptest {

// Records what the operations ask of their surroundings.
class RecordingHost : public PageHost {
 public:
  void set_StatusText(const std::string& text) override {
    statusText = text;
    if (!text.empty()) statusHistory.push_back(text);
  }
  std::string openFileName(const std::string&, const std::string& filter) override { return next(filter); }
  std::string saveFileName(const std::string&, const std::string& filter, const std::string&) override {
    return next(filter);
  }
  void progressShow(int minimum, int maximum) override {
    progressMin = minimum;
    progressMax = maximum;
    progressVisible = true;
  }
  void progressSet(int position) override { progress.push_back(position); }
  void progressHide() override { progressVisible = false; }
  void processMessages() override { ++messagesRun; }
  // Asked between two records, and by a loop's idle hook while the engine waits: the
  // checks of a wait are not counted, so `stopAfterChecks` counts records only.
  bool stopRequested() override {
    if (engine && engine->busy()) {
      ++waitChecks;
      return stop || stopInWait || (stopAfterChecks >= 0 && stopChecks > stopAfterChecks);
    }
    ++stopChecks;
    return stop || (stopAfterChecks >= 0 && stopChecks > stopAfterChecks);
  }
  bool chooseRange(TRangeChoice& choice, bool withRadioButtons) override {
    rangeDialogs.push_back(withRadioButtons);
    if (ranges.empty()) return false;
    choice = ranges.front();
    ranges.pop_front();
    return true;
  }
  bool enterNumber(std::string& text) override {
    if (numbers.empty()) return false;
    text = numbers.front();
    numbers.pop_front();
    return true;
  }

  std::deque<std::string> files;  // answers of the file choices; empty: cancelled
  std::vector<std::string> filters;
  std::string statusText;
  std::vector<std::string> statusHistory;
  std::vector<int> progress;
  int progressMin = 0, progressMax = 0, messagesRun = 0;
  bool progressVisible = false, stop = false;
  int stopChecks = 0, stopAfterChecks = -1;  // a stop request after that many checks
  bool stopInWait = false;                   // "Stop" pressed while a command waits
  int waitChecks = 0;
  const TFiscalDevice* engine = nullptr;     // whose waits are told apart
  std::deque<TRangeChoice> ranges;           // answers of the range dialog; empty: Cancel
  std::vector<bool> rangeDialogs;            // each range dialog shown: with radio buttons
  std::deque<std::string> numbers;           // answers of the number dialog; empty: Cancel

 private:
  std::string next(const std::string& filter) {
    filters.push_back(filter);
    if (files.empty()) return {};
    std::string f = files.front();
    files.pop_front();
    return f;
  }
};

struct SentCommand {
  int command;
  std::string input;
};

struct OpsOnSim : simtest::EngineOnSim {
  explicit OpsOnSim(const std::string& model = "KT-33A", sim::SimulatorOptions o = {})
      : simtest::EngineOnSim(withModel(o, model)) {
    misc.set_Dialogs(&dialogs);
    host.engine = &fd;
    ops.ecrModel = modelIndexOf(model);
    ops.onCommand = [this](uint16_t c, const std::string& in) { sent.push_back({c, in}); };
  }
  ~OpsOnSim() { misc.set_Dialogs(nullptr); }

  // Every command sent through `ops` since the last clear (not the engine's own 74/90).
  std::vector<SentCommand> sent;
  void clearSent() { sent.clear(); }
  std::vector<std::string> inputsOf(int command) const {
    std::vector<std::string> r;
    for (const auto& s : sent)
      if (s.command == command) r.push_back(s.input);
    return r;
  }
  // The parameter names of the command 255 inputs, in the order sent.
  std::vector<std::string> paramNamesSent() const {
    std::vector<std::string> names;
    for (const auto& in : inputsOf(255)) names.push_back(in.substr(0, in.find('\t')));
    return names;
  }
  std::string param(const std::string& name, int index = 0) {
    return device([&](sim::DeviceModel& d) {
      const auto& params = d.state().params;
      const auto it = params.find(name);
      if (it == params.end() || index < 0 || index >= static_cast<int>(it->second.size())) return std::string();
      return it->second[static_cast<size_t>(index)];
    });
  }

  ScriptedDialogs dialogs;
  RecordingHost host;
  TDeviceOps ops{fd, misc, err, host};

 private:
  static sim::SimulatorOptions withModel(sim::SimulatorOptions o, const std::string& model) {
    o.model = model;
    o.modelGiven = true;
    return o;
  }
};

// `order` without `names` (a save or read order for a model that skips some).
// A moment of the device's clock.
inline LocalDateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return {y, mo, d, h, mi, s, 0}; }

inline std::vector<std::string> without(std::vector<std::string> order, const std::vector<std::string>& names) {
  for (const auto& n : names) std::erase(order, n);
  return order;
}

}  // namespace kestrel::apptest
