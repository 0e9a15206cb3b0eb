// Service data and service mode against the simulator: the service text and date in
// both directions, the save that always leaves service mode, RAM reset, the service
// operation's summer time per picked date, and the certificate check.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "app/logic/pages/service_info.h"
#include "app/ops_fixture.h"
#include "sim/device_model.h"

namespace kestrel {
namespace {

const std::string PASSWORD = "1234";  // the simulator's service password
const std::string LEAVE = "0\t \t";   // the save's closing command

using apptest::at;

TEST(ServiceInfoOps, ServiceDateTexts) {
  EXPECT_EQ(serviceDateText(at(2026, 6, 5, 14, 3, 1)), "05-06-26 23:59:59");
  const LocalDateTime today = at(2025, 7, 1);
  struct Case {
    const char* device;
    LocalDateTime shown;
  };
  const Case cases[] = {{"05-06-26 23:59:59", at(2026, 6, 5)}, {"5-6-26 ", at(2026, 6, 5)},
                        {"31-02-26 23:59:59", today},         {"2026-06-05", today},
                        {"05-06-26", today},                  {"", today},
                        {"aa-06-26 23:59:59", today}};
  for (const auto& c : cases) EXPECT_EQ(serviceDateOf(c.device, today), c.shown) << c.device;
}

TEST(ServiceInfoOps, SaveWritesTenLinesAndTheDateInServiceModeAndReadSkipsEmptyLines) {
  apptest::OpsOnSim s;
  std::string focus;
  ASSERT_TRUE(saveService(s.ops, PASSWORD, {"Call 033 123", "", "Kestrel service"}, at(2026, 6, 5), focus));
  const auto params = s.inputsOf(255);
  ASSERT_EQ(params.size(), 11u);
  EXPECT_EQ(params[0], "ServMessage\t0\tCall 033 123\t");
  EXPECT_EQ(params[1], "ServMessage\t1\t \t") << "an empty line goes as one blank";
  EXPECT_EQ(params[9], "ServMessage\t9\t \t") << "a missing line goes as one blank";
  EXPECT_EQ(params[10], "ServiceDate\t\t05-06-26 23:59:59\t");
  EXPECT_EQ(s.inputsOf(253), (std::vector<std::string>{"0\t" + PASSWORD + "\t", LEAVE}));
  EXPECT_EQ(s.dialogs.shown.back().text, "The data was saved in the device.");

  // The device keeps the blank line as an empty one: the text comes back as two lines.
  EXPECT_EQ(s.param("ServMessage", 1), "");
  TServiceRead read;
  ASSERT_TRUE(readServiceTab(s.ops, read));
  ASSERT_TRUE(read.date && read.lines);
  EXPECT_EQ(*read.date, at(2026, 6, 5));
  EXPECT_EQ(*read.lines, (std::vector<std::string>{"Call 033 123", "Kestrel service"}));
}

TEST(ServiceInfoOps, SaveLeavesServiceModeAfterEveryRefusal) {
  apptest::OpsOnSim s;
  std::string focus;
  // No password: only the closing command.
  EXPECT_FALSE(saveService(s.ops, "", {"A"}, at(2026, 6, 5), focus));
  EXPECT_EQ(focus, SERVICE_PASSWORD_FIELD);
  ASSERT_EQ(s.sent.size(), 1u);
  EXPECT_EQ(s.sent[0].input, LEAVE);

  // A wrong password is refused; service mode is still left.
  s.clearSent();
  EXPECT_FALSE(saveService(s.ops, "9999", {"A"}, at(2026, 6, 5), focus));
  EXPECT_EQ(s.inputsOf(253), (std::vector<std::string>{"0\t9999\t", LEAVE}));
  EXPECT_TRUE(s.inputsOf(255).empty());
  EXPECT_NE(s.dialogs.shown.back().text, "The data was saved in the device.");

  // A line the device refuses ends the save at that line.
  s.clearSent();
  EXPECT_FALSE(saveService(s.ops, PASSWORD, {"A", "B", std::string(200, 'x'), "D"}, at(2026, 6, 5), focus));
  EXPECT_EQ(s.inputsOf(255).size(), 3u);
  EXPECT_EQ(s.sent.back().input, LEAVE);
  EXPECT_EQ(s.param("ServMessage", 1), "B");

  // A year the device cannot hold sends nothing but the closing command.
  s.clearSent();
  EXPECT_THROW(saveService(s.ops, PASSWORD, {"A"}, at(2101, 1, 1), focus), std::exception);
  ASSERT_EQ(s.sent.size(), 1u);
  EXPECT_EQ(s.sent[0].input, LEAVE);
}

TEST(ServiceInfoOps, ServiceModeAndRamReset) {
  apptest::OpsOnSim s;
  std::string focus;
  // An empty password would leave service mode: it is asked for, nothing is sent.
  EXPECT_FALSE(activateServiceMode(s.ops, "", focus));
  EXPECT_EQ(s.dialogs.shown.back().text, "Enter service password");
  EXPECT_EQ(focus, SERVICE_PASSWORD_FIELD);
  EXPECT_TRUE(s.sent.empty());
  EXPECT_FALSE(activateServiceMode(s.ops, "9999", focus));
  ASSERT_TRUE(activateServiceMode(s.ops, PASSWORD, focus));
  EXPECT_EQ(s.dialogs.shown.back().text, "Service mode active.");
  ASSERT_TRUE(deactivateServiceMode(s.ops));
  EXPECT_EQ(s.sent.back().input, "0\t\t");
  EXPECT_EQ(s.dialogs.shown.back().text, "Service mode is not active.");

  focus.clear();
  s.clearSent();
  EXPECT_FALSE(ramReset(s.ops, "", 'D', focus));
  EXPECT_EQ(s.dialogs.shown.back().text, "Enter service password");
  EXPECT_EQ(focus, SERVICE_PASSWORD_FIELD);
  EXPECT_FALSE(ramReset(s.ops, PASSWORD, 'D', focus));  // "Are you sure?" defaults to No
  EXPECT_EQ(s.dialogs.shown.back().text, "Are you sure?");
  EXPECT_EQ(s.dialogs.shown.back().title, "RAM reset");
  EXPECT_EQ(s.dialogs.shown.back().defaultButton, mrNo);
  EXPECT_TRUE(s.sent.empty());

  ASSERT_TRUE(s.ops.writeParam("Dept_name", "0", "FOOD"));
  s.dialogs.answer(mrYes);
  const size_t shown = s.dialogs.shown.size();
  EXPECT_TRUE(ramReset(s.ops, PASSWORD, 'D', focus));
  EXPECT_EQ(s.inputsOf(253), (std::vector<std::string>{"0\t" + PASSWORD + "\t", "4\t\tD\t"}));
  EXPECT_EQ(s.dialogs.shown.size(), shown + 1) << "only the question";
  EXPECT_NE(s.param("Dept_name", 0), "FOOD");

  // The device stays in service mode; a deactivation that does not reach it says so
  // rather than "Service mode is not active.".
  EXPECT_TRUE(s.device([](sim::DeviceModel& d) { return d.serviceMode(); }));
  s.fd.TCPIP()->closeConnection();
  const size_t before = s.dialogs.shown.size();
  EXPECT_FALSE(deactivateServiceMode(s.ops));
  ASSERT_EQ(s.dialogs.shown.size(), before + 1) << "the failure is shown";
  EXPECT_NE(s.dialogs.shown.back().text, "Service mode is not active.");
}

TEST(ServiceInfoOps, ServiceOperationSummerTimeIsDecidedPerPickedDateAtMidnight) {
  apptest::OpsOnSim s;
  ASSERT_TRUE(s.ops.command(253, "0\t" + PASSWORD + "\t"));
  EXPECT_FALSE(confirmServiceOperation(s.ops));
  EXPECT_EQ(s.dialogs.shown.back().title, "Set service operation ");
  // Summer time 2026 begins on 29 March at 02:00: at 10:00 that day the clock is in it,
  // yet the day's midnight is not; the 30th is.
  const auto start = at(2026, 3, 29, 10, 0, 0), end = at(2026, 3, 30, 9, 30, 5);
  struct Case {
    const char* minutes;
    std::string input;
  };
  const Case cases[] = {{"60", "5\t29-03-26 10:00:00\t30-03-26 09:30:05 DST\tB\t"},
                        {"0", "5\t29-03-26 10:00:00\t30-03-26 09:30:05\tB\t"}};
  for (const auto& c : cases) {
    ASSERT_TRUE(s.ops.writeParam("DaylightSavingMinutes", "", c.minutes));
    s.clearSent();
    ASSERT_TRUE(setServiceOperation(s.ops, start, end, 'B')) << c.minutes;
    EXPECT_EQ(s.sent.front().input, "DaylightSavingMinutes\t\t\t");
    EXPECT_EQ(s.inputsOf(253), (std::vector<std::string>{c.input}));
    EXPECT_EQ(s.dialogs.shown.back().text, "The data was saved in the device.");
  }
  // An end before the start is the device's to refuse.
  EXPECT_FALSE(setServiceOperation(s.ops, end, start, 'B'));
}

TEST(ServiceInfoOps, CertificateCodeAndCheck) {
  const auto bytes = certificateDateBytes("02-01-24 10:00:00");
  ASSERT_TRUE(bytes);
  EXPECT_EQ(*bytes, (std::array<uint8_t, 4>{0xE8, 0x07, 0x01, 0x02}));
  EXPECT_FALSE(certificateDateBytes("02-300-24 10:00:00"));
  EXPECT_EQ(certificateCode("2024-01-02"), "");

  apptest::OpsOnSim s;  // its clock stands on 1 July 2025
  const TCertificateResult r = checkCertificates(s.ops);
  EXPECT_EQ(s.inputsOf(129).front(), "3\t" + certificateCode("01-07-25 10:00:00") + "\t");
  // The simulator's own certificates are not the maker's.
  EXPECT_EQ(r.label, "The certificates of the device are INVALID!!!");
  EXPECT_FALSE(r.valid);
  EXPECT_TRUE(s.dialogs.shown.empty()) << "the end of each file is no error";

  s.device([](sim::DeviceModel& d) { d.files.erase("KEYSTORE/server.crt"); });
  s.clearSent();
  EXPECT_EQ(checkCertificates(s.ops).label, "The certificates are NOT LOADED!!!");
  EXPECT_EQ(s.inputsOf(129).back(), "1\t");
}

TEST(ServiceInfoOps, ADeviceThatRefusesTheUnlockEndsTheCheckWithItsError) {
  // The device's date moves on between the date read and the unlock (midnight), so the
  // code made from the date it reported is refused.
  sim::SimulatorOptions o;
  auto nextDay = std::make_shared<std::atomic<bool>>(false);
  o.hostClock = [nextDay] { return sim::makeTime(2025, 7, nextDay->load() ? 2 : 1, 10, 0, 0); };
  apptest::OpsOnSim s("KT-33A", o);
  auto record = s.ops.onCommand;
  s.ops.onCommand = [nextDay, record](uint16_t c, const std::string& in) {
    if (c == 129) nextDay->store(true);
    record(c, in);
  };
  const TCertificateResult r = checkCertificates(s.ops);
  EXPECT_FALSE(r.valid);
  EXPECT_TRUE(r.label.empty()) << "the label keeps its text";
  ASSERT_EQ(s.inputsOf(129).size(), 1u) << "nothing is read after a refused unlock";
  ASSERT_FALSE(s.dialogs.shown.empty());
}

}  // namespace
}  // namespace kestrel

namespace kestrel {
namespace {

// The simulator's files can never be the maker's, so the decision is shown here.
TEST(ServiceInfoOps, CertificatesAreValidOnlyWhenBothHashesAreTheMakers) {
  struct Case {
    std::string root, server;
    bool valid;
  };
  const Case cases[] = {{ROOT_CERT_MD5, SERVER_CERT_MD5, true},
                        {ROOT_CERT_MD5, ROOT_CERT_MD5, false},
                        {SERVER_CERT_MD5, SERVER_CERT_MD5, false},
                        {"dcab0a8d4b33d69a4c9b58a9c6cef520", SERVER_CERT_MD5, false},
                        {"", "", false}};
  for (const auto& c : cases) {
    const TCertificateResult r = certificateVerdict(c.root, c.server);
    EXPECT_EQ(r.valid, c.valid) << c.root << " " << c.server;
    EXPECT_EQ(r.label, c.valid ? MSG_CERT_VALID : MSG_CERT_INVALID);
  }
}

}  // namespace
}  // namespace kestrel
