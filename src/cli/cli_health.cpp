// kestrel health: what a technician checks first on a device, in one reading: who it
// is, whether it is fiscalized, how far its clock is off, and which status bits need
// attention.
#include "cli/cli_health.h"

#include <cstdlib>
#include <ostream>

#include "app/logic/pages/cliche.h"
#include "cli/cli_args.h"
#include "cli/cli_pages.h"
#include "cli/device_session.h"
#include "cli/json_out.h"
#include "support/date_time.h"

namespace kestrel::cli {

namespace {

struct Watched {
  int byte, bit;
  const char* what;
};

// The bits a device should not stand with for long. Service mode is not among them: no
// status bit and no answer of the device tells it (command 253 only enters and leaves
// it), and probing it with a write that needs it would change the device.
constexpr Watched WATCHED[] = {
    {2, 0, "paper_out"},        {2, 1, "paper_near_end"},    {4, 4, "fm_full"},
    {4, 3, "fm_near_full"},     {2, 2, "journal_full"},      {2, 4, "journal_near_full"},
    {2, 3, "open_receipt"},     {2, 5, "open_receipt"},
};
constexpr int FISCAL_MODE_BYTE = 5, FISCAL_MODE_BIT = 3;
// Bits that are only the OR of other error bits: those bits are named themselves.
bool summaryBit(int byte, int bit) { return bit == 5 && (byte == 0 || byte == 4); }

// A status bit that is an error makes the command fail; the health reading wants the
// answer and the bits all the same, so the error flags are off while it runs.
class ErrorFlagsOff {
 public:
  explicit ErrorFlagsOff(TLowLevel& ll) : fLL(ll), fCheck(ll.errorCheckType()) {
    for (int byte = 0; byte < 8; ++byte)
      for (int bit = 0; bit < 8; ++bit) {
        fFlags[byte][bit] = ll.get_sBytesCheckingFor(byte, bit, fCheck);
        ll.set_sBytesChecking(byte, bit, fCheck, false);
      }
  }
  ~ErrorFlagsOff() {
    for (int byte = 0; byte < 8; ++byte)
      for (int bit = 0; bit < 8; ++bit) fLL.set_sBytesChecking(byte, bit, fCheck, fFlags[byte][bit]);
  }
  ErrorFlagsOff(const ErrorFlagsOff&) = delete;
  ErrorFlagsOff& operator=(const ErrorFlagsOff&) = delete;
  bool isError(int byte, int bit) const { return fFlags[byte][bit]; }

 private:
  TLowLevel& fLL;
  TErrorChecking fCheck;
  bool fFlags[8][8]{};
};

struct Problem {
  std::string what, text;
};

// Seconds from this computer's clock to the device's (positive: the device is ahead).
long long secondsBetween(const LocalDateTime& computer, const LocalDateTime& device) {
  auto days = [](const LocalDateTime& t) {
    // Days from a fixed day (proleptic Gregorian), enough for a difference.
    const int y = t.month <= 2 ? t.year - 1 : t.year;
    const int era = y / 400;
    const int yoe = y - era * 400;
    const int mp = (t.month + 9) % 12;
    const int doy = (153 * mp + 2) / 5 + t.day - 1;
    return static_cast<long long>(era) * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy;
  };
  auto seconds = [&](const LocalDateTime& t) { return days(t) * 86400 + t.hour * 3600 + t.minute * 60 + t.second; };
  return seconds(device) - seconds(computer);
}

}  // namespace

int runHealth(PageCommandContext& ctx) {
  TLowLevel& ll = ctx.session.engine().dd()->LowLevel();
  ErrorFlagsOff flagsOff(ll);
  TI90& i90 = ctx.session.engine().dd()->i90();
  if (!i90.getFromDevice()) {
    ctx.err << "kestrel: health: the diagnostic information could not be read: "
            << ctx.session.errors().LastErrorMessage() << '\n';
    return 1;
  }
  // The bits as the diagnostic answer left them, before the clock's answer replaces them.
  std::vector<Problem> problems;
  for (const Watched& w : WATCHED) {
    if (!ll.get_sBytesState(w.byte, w.bit)) continue;
    bool seen = false;
    for (const Problem& p : problems) seen = seen || p.what == w.what;
    if (!seen) problems.push_back({w.what, ll.get_sBytesDescription(w.byte, w.bit)});
  }
  for (int byte = 0; byte < 8; ++byte)
    for (int bit = 0; bit < 7; ++bit) {
      if (!flagsOff.isError(byte, bit) || !ll.get_sBytesState(byte, bit) || summaryBit(byte, bit)) continue;
      bool named = false;
      for (const Watched& w : WATCHED) named = named || (w.byte == byte && w.bit == bit);
      if (!named) problems.push_back({"error", ll.get_sBytesDescription(byte, bit)});
    }
  const bool fiscalized = ll.get_sBytesState(FISCAL_MODE_BYTE, FISCAL_MODE_BIT);

  LocalDateTime device;
  const LocalDateTime computer = LocalDateTime::now();
  const bool clockRead = readDeviceDateTime(ctx.ops, device);
  if (!clockRead) {
    ctx.err << "kestrel: health: the device's clock could not be read: " << ctx.session.errors().LastErrorMessage()
            << '\n';
    return 1;
  }
  const long long difference = secondsBetween(computer, device);
  const std::string model = !i90.DeviceName.empty() ? i90.DeviceName : i90.shNNNNNN;

  if (ctx.json) {
    std::string list = "[";
    for (size_t i = 0; i < problems.size(); ++i)
      list += (i ? "," : "") + JsonObject().add("what", problems[i].what).add("text", problems[i].text).text();
    list += "]";
    ctx.out << JsonObject()
                   .add("model", model)
                   .add("serial", i90.SerialNumber)
                   .add("fiscal_memory", i90.FiscalMemoryNumber)
                   .add("fiscalized", fiscalized)
                   .add("clock_difference_s", static_cast<int64_t>(difference))
                   .addRaw("problems", list)
                   .text()
            << '\n';
  } else {
    ctx.out << "model: " << model << "\nserial: " << i90.SerialNumber << "\nfiscal memory: " << i90.FiscalMemoryNumber
            << "\nfiscalized: " << (fiscalized ? "yes" : "no") << "\nclock difference: " << difference << " s\n";
    if (problems.empty()) ctx.out << "OK\n";
    for (const Problem& p : problems) ctx.out << p.what << ": " << p.text << '\n';
  }
  return 0;
}

}  // namespace kestrel::cli
