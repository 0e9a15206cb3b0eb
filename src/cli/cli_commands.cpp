#include "cli/cli_commands.h"

#include <algorithm>
#include <ostream>
#include <utility>

#include "app/logic/device_ops.h"
#include "cli/json_out.h"
#include "support/code_pages.h"
#include "support/com_ports.h"

namespace kestrel::cli {

namespace {

constexpr uint16_t STATUS_COMMAND = 74;
constexpr uint16_t PARAMETER_COMMAND = 255;
constexpr const char* MSG_DATA_SAVED = "The data was saved in the device.";

// The 18 diagnostic texts under their property names, in the order of the two requests.
using TI90Text = std::string TI90::*;
constexpr std::pair<const char*, TI90Text> kI90Texts[] = {
    {"shDTP", &TI90::shDTP},
    {"shCCC", &TI90::shCCC},
    {"shNNNNNN", &TI90::shNNNNNN},
    {"shDD", &TI90::shDD},
    {"shOMV", &TI90::shOMV},
    {"shOBV", &TI90::shOBV},
    {"shIBV", &TI90::shIBV},
    {"shSN", &TI90::shSN},
    {"shHV", &TI90::shHV},
    {"shBLV", &TI90::shBLV},
    {"DeviceName", &TI90::DeviceName},
    {"FirmwareRevision", &TI90::FirmwareRevision},
    {"FirmwareDate", &TI90::FirmwareDate},
    {"FirmwareTime", &TI90::FirmwareTime},
    {"CheckSum", &TI90::CheckSum},
    {"SoftwareSwitches", &TI90::SoftwareSwitches},
    {"SerialNumber", &TI90::SerialNumber},
    {"FiscalMemoryNumber", &TI90::FiscalMemoryNumber},
};

std::string hexByte(int value) {
  static const char digits[] = "0123456789ABCDEF";
  return {digits[(value >> 4) & 0xF], digits[value & 0xF]};
}

std::string padRight(std::string text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

// The error status bits of the last answer, their descriptions in one line.
std::string errorBits(const std::vector<StatusBitRow>& bits) {
  std::string why;
  for (const StatusBitRow& r : bits)
    if (r.error) why += (why.empty() ? "" : " ") + r.description;
  return why;
}

// The exit status of a command: it succeeded when customCommand did and the code is 0.
// The device's code 0 beside an error bit of its status is the one failure with code
// 0: the bits say why.
int verdict(bool ok, int code, bool json, std::ostream& err, const std::string& message,
            const std::vector<StatusBitRow>& bits) {
  if (ok && code == 0) return 0;
  if (json) return 1;
  if (code != 0) {
    err << "kestrel: error " << code << ": " << message << '\n';
  } else {
    const std::string why = errorBits(bits);
    err << "kestrel: error: the command failed"
        << (why.empty() ? std::string() : "; the device's status shows an error: " + why) << '\n';
  }
  return 1;
}

void printFields(const CommandOutcome& o, std::ostream& out) {
  const size_t width = std::to_string(o.fields.empty() ? 0 : o.fields.size() - 1).size();
  for (size_t i = 0; i < o.fields.size(); ++i) {
    const std::string n = std::to_string(i);
    out << "field " << std::string(width - n.size(), ' ') << n << ": " << o.fields[i] << '\n';
  }
}

// The device always sets bit 7; bytes without it did not come from an answer.
bool statusReceived(const CommandOutcome& o) {
  return !o.statusBytes.empty() && std::all_of(o.statusBytes.begin(), o.statusBytes.end(), [](int b) { return b & 0x80; });
}

void printStatus(const CommandOutcome& o, std::ostream& out) {
  out << "Status bytes:";
  for (int b : o.statusBytes) out << ' ' << hexByte(b);
  out << '\n';
  if (o.statusBits.empty()) {
    out << "No status bit set.\n";
    return;
  }
  out << "Byte  Bit  Error  Description\n";
  for (const StatusBitRow& r : o.statusBits)
    out << "   " << r.byte << "    " << r.bit << "  " << padRight(r.error ? "yes" : "no", 5) << "  " << r.description
        << '\n';
}

int runInfo(const Invocation& inv, DeviceSession& s, std::ostream& out, std::ostream& err) {
  s.clearFrames();
  TI90& i90 = s.engine().dd()->i90();
  const bool ok = i90.getFromDevice();
  const int code = s.code();
  if (inv.json) {
    JsonObject j;
    for (const auto& [name, member] : kI90Texts) j.add(name, i90.*member);
    j.add("ok", ok).add("error_code", code).add("error_message", s.errors().LastErrorMessage());
    out << j.text() << '\n';
  } else {
    size_t width = 0;
    for (const auto& t : kI90Texts) width = std::max(width, std::string(t.first).size());
    for (const auto& [name, member] : kI90Texts) out << padRight(name, width + 2) << i90.*member << '\n';
  }
  // A read that lacks fields fails even when the device's code says 0: the window's
  // connection counts it as failed too.
  if (!ok && code == 0) {
    err << "kestrel: the diagnostic information is incomplete\n";
    return 1;
  }
  return verdict(true, code, inv.json, err, s.errors().LastErrorMessage(), {});
}

}  // namespace

std::vector<StatusBitRow> setStatusBits(const TFiscalDevice& engine) {
  std::vector<StatusBitRow> rows;
  const TLowLevel& ll = engine.dd()->LowLevel();
  const int count = ll.statusBytes().ByteCountInUse();
  for (int byte = 0; byte < count; ++byte) {
    for (int bit = 0; bit < 7; ++bit) {
      if (!ll.get_sBytesState(byte, bit)) continue;
      rows.push_back({byte, bit, ll.get_sBytesDescription(byte, bit),
                      ll.get_sBytesCheckingFor(byte, bit, ll.errorCheckType())});
    }
  }
  return rows;
}

CommandOutcome runCommand(DeviceSession& s, uint16_t command, const std::string& input) {
  TFiscalDevice& fd = s.engine();
  s.clearFrames();
  // A command that times out leaves the field list alone; its fields must not be the
  // previous command's.
  fd.answerFieldsList.clear();
  CommandOutcome o;
  o.command = command;
  std::string answer;
  o.ok = fd.customCommand(command, input, answer);
  o.code = s.code();
  o.message = s.errors().LastErrorMessage();
  o.answer = answer;
  o.fields = fd.answerFieldsList;
  const int count = fd.dd()->LowLevel().statusBytes().ByteCountInUse();
  for (int i = 0; i < count; ++i) o.statusBytes.push_back(fd.statusByte(i));
  o.statusBits = setStatusBits(fd);
  o.sent = s.sent();
  o.received = s.received();
  return o;
}

CommandOutcome notSent(DeviceSession& s, uint16_t command) {
  CommandOutcome o;
  o.command = command;
  o.code = s.code();
  o.message = s.errors().LastErrorMessage();
  o.sent = s.sent();
  o.received = s.received();
  return o;
}

std::string outcomeJson(const CommandOutcome& o) {
  std::string bits = "[";
  for (size_t i = 0; i < o.statusBits.size(); ++i) {
    const StatusBitRow& r = o.statusBits[i];
    if (i) bits += ", ";
    bits += JsonObject()
                .add("byte", r.byte)
                .add("bit", r.bit)
                .add("description", r.description)
                .add("error", r.error)
                .text();
  }
  bits += "]";
  return JsonObject()
      .add("command", static_cast<int>(o.command))
      .add("ok", o.ok)
      .add("error_code", o.code)
      .add("error_message", o.message)
      .add("answer", o.answer)
      .add("fields", o.fields)
      .add("status_bytes", o.statusBytes)
      .addRaw("status_bits", bits)
      .add("sent", o.sent)
      .add("received", o.received)
      .text();
}

int runDeviceCommand(const Invocation& inv, DeviceSession& s, std::ostream& out, std::ostream& err) {
  if (inv.command == CommandKind::Info) return runInfo(inv, s, out, err);

  std::string input;
  uint16_t command = PARAMETER_COMMAND;
  switch (inv.command) {
    case CommandKind::Cmd:
      input = s.prepared();
      command = inv.number;
      break;
    case CommandKind::Status:
      command = STATUS_COMMAND;
      break;
    case CommandKind::ParamGet:
      input = paramReadText(inv.paramName, inv.paramIndex);
      break;
    case CommandKind::ParamSet:
      input = paramWriteText(inv.paramName, inv.paramIndex, inv.paramValue);
      break;
    default:
      return 2;
  }
  // The engine sends such characters as "?"; the user learns which ones.
  if (const std::string warning = codePageWarning(input, s.engine().dd()->CodePage); !warning.empty())
    err << "kestrel: warning: " << warning << '\n';
  const CommandOutcome o = runCommand(s, command, input);

  if (inv.json) {
    out << outcomeJson(o) << '\n';
  } else {
    switch (inv.command) {
      case CommandKind::Cmd:
        printFields(o, out);
        break;
      case CommandKind::Status:
        if (statusReceived(o)) printStatus(o, out);
        break;
      case CommandKind::ParamGet:
        if (o.ok && o.code == 0) out << (o.fields.size() > 1 ? o.fields[1] : std::string()) << '\n';
        break;
      case CommandKind::ParamSet:
        if (o.ok && o.code == 0) out << MSG_DATA_SAVED << '\n';
        break;
      default:
        break;
    }
  }
  return verdict(o.ok, o.code, inv.json, err, o.message, o.statusBits);
}

bool prepareCommandData(const Invocation& inv, DeviceSession& s, std::ostream& err) {
  if (inv.command != CommandKind::Cmd) return true;
  const TPreparedInput prepared =
      s.misc().prepareTypedInput(inv.data, s.engine().dd()->CodePage, s.engine().maxDataBytes());
  if (!prepared.ok()) {
    err << "kestrel: cmd: " << prepared.error << "; nothing was sent\n";
    return false;
  }
  s.set_prepared(prepared.text);
  return true;
}

void printOpenFailure(const Invocation& inv, DeviceSession& s, std::ostream& out) {
  if (!inv.json) return;
  if (inv.command == CommandKind::Info) {
    JsonObject j;
    for (const auto& t : kI90Texts) j.add(t.first, "");
    j.add("ok", false).add("error_code", s.code()).add("error_message", s.errors().LastErrorMessage());
    out << j.text() << '\n';
    return;
  }
  uint16_t command = PARAMETER_COMMAND;
  if (inv.command == CommandKind::Cmd) command = inv.number;
  if (inv.command == CommandKind::Status) command = STATUS_COMMAND;
  out << outcomeJson(notSent(s, command)) << '\n';
}

int runPorts(const Invocation& inv, std::ostream& out, std::ostream& err) {
  std::vector<std::string> ports;
  TComPortsUsage().fill_List(&ports);
  if (inv.json) {
    out << JsonObject().add("ports", ports).text() << '\n';
    return 0;
  }
  if (ports.empty()) err << "kestrel: no serial ports found\n";
  for (const std::string& p : ports) out << p << '\n';
  return 0;
}

}  // namespace kestrel::cli
