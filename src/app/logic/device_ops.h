#pragma once
// The device side of every page operation: send a command and judge it (StatusUpdate),
// the answer's fields, the named device parameters of command 255, the saved message.
// The window and the command-line tool each own one, so both judge a device alike.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/logic/page_host.h"

namespace kestrel {

class TFiscalDevice;
class TFDMisc;
class TErrContainer;

inline constexpr const char* TITLE_KESTREL = "Kestrel";
inline constexpr const char* MSG_DATA_SAVED = "The data was saved in the device.";
inline constexpr const char* MSG_ARE_YOU_SURE = "Are you sure?";

class TDeviceOps {
 public:
  TDeviceOps(TFiscalDevice& fd, TFDMisc& misc, TErrContainer& err, PageHost& host)
      : fd(fd), misc(misc), err(err), fHost(&host) {}

  TFiscalDevice& fd;
  TFDMisc& misc;
  TErrContainer& err;
  PageHost& host() { return *fHost; }
  void set_Host(PageHost& host) { fHost = &host; }

  // Model index of the connected device (-1 unknown, 0..6).
  int ecrModel = 0;

  bool ShowErr() const { return fShowErr; }
  void set_ShowErr(bool value) { fShowErr = value; }

  // The verdict on the last command: true when it succeeded. A failure shows its
  // message in an alert (ShowErr on) or in the status bar; the two "not found" codes
  // stay silent.
  // `refused`, when given, follows the device's message where the device refused the
  // command (which field of a form it would not take).
  // `instead`, when given, names what the device refused where its own message names
  // something else (one code for more than one password); the device's message follows.
  bool StatusUpdate(const std::string& refused = {}, const std::string& instead = {});
  // Sends the command and judges it.
  bool command(uint16_t commandValue, const std::string& inputText, const std::string& refused = {});
  // Sends the command without judging it (a result the operation ignores).
  bool commandUnjudged(uint16_t commandValue, const std::string& inputText);
  // Sees every command before it is sent (tests and traces).
  std::function<void(uint16_t command, const std::string& input)> onCommand;
  // Verdicts that found a failure since this object was made (the command-line tool's
  // exit status counts them).
  int failedVerdicts = 0;
  // Whether the last command's engine call succeeded.
  bool lastCommandOk() const { return fLastOk; }
  // Whether the last command ended by the technician's stop (its wait was cancelled).
  bool lastCancelled() const;

  // Field n of the last answer (0 is the device's code). Throws when the answer has no
  // such field.
  const std::string& field(int n) const;
  int fieldCount() const;

  // Named device parameter: read (Name TAB Index TAB TAB, value in field 1) and write
  // (Name TAB Index TAB Value TAB), each judged.
  bool readParam(const std::string& name, const std::string& index, std::string& value);
  // While set, every parameter read also leaves the device's value here under its key
  // ("Name" or "Name.index"): how the command-line tool learns the device's own values.
  std::map<std::string, std::string>* paramsRead = nullptr;
  bool writeParam(const std::string& name, const std::string& index, const std::string& value);

  // "The data was saved in the device."
  void informSaved();
  void inform(const std::string& text);
  // Yes/No question; true for Yes. `noIsDefault` makes No the default button.
  bool ask(const std::string& text, const std::string& title, bool noIsDefault);

  // Switches ShowErr off for a scope and back to what it was on every way out (a read
  // inside a backup must not turn alerts on in the middle of the backup).
  class ShowErrOff {
   public:
    explicit ShowErrOff(TDeviceOps& ops) : fOps(ops), fWas(ops.ShowErr()) { fOps.set_ShowErr(false); }
    ~ShowErrOff() { fOps.set_ShowErr(fWas); }
    ShowErrOff(const ShowErrOff&) = delete;
    ShowErrOff& operator=(const ShowErrOff&) = delete;

   private:
    TDeviceOps& fOps;
    bool fWas;
  };

 private:
  PageHost* fHost;
  bool fShowErr = true;
  bool fLastOk = true;
};

std::string paramReadText(const std::string& name, const std::string& index);
std::string paramWriteText(const std::string& name, const std::string& index, const std::string& value);

}  // namespace kestrel
