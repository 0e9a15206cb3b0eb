// The long loops against a faulty simulator: what a stop, a Cancel during a wait, a
// silent device, a NAK and a row the table refuses do to a loop and to its outcome.
#include <gtest/gtest.h>

#include <chrono>

#include "app/items_fixture.h"
#include "app/logic/backup.h"
#include "app/logic/loop_outcome.h"
#include "app/logic/pages/clients.h"

namespace kestrel {
namespace {

using apptest::OpsOnSim;
using apptest::ItemsOnSim;
using apptest::rowsPlu;

TEST(LoopOutcome, ClosingMessagesSayWhatWasDoneAndNameWhatFailed) {
  struct Case {
    TLoopOutcome o;
    const char* text;
  };
  TLoopOutcome stopped;
  stopped.end = TLoopEnd::Stopped;
  stopped.total = 1499;
  stopped.answered = 335;
  TLoopOutcome failedRows;
  failedRows.failed = 3;
  failedRows.failedNumbers = {12, 40, 77};
  TLoopOutcome lost = failedRows;
  lost.end = TLoopEnd::Failed;
  lost.answered = 10;
  lost.reached = 77;
  lost.cause = "the device did not answer 3 times in a row (Timeout expired)";
  TLoopOutcome one;
  one.failed = 1;
  one.failedNumbers = {9};
  one.failure = "Bad value of parameter 1.";
  TLoopOutcome abandoned = stopped;
  abandoned.abandoned = 336;
  const Case cases[] = {
      {TLoopOutcome{}, ""},
      {stopped, "Read stopped after 335 of 1,499 items."},
      {failedRows, "3 items could not be read: PLU 12, 40, 77."},
      {lost,
       "Read ended at PLU 77 after 13 items: the device did not answer 3 times in a row (Timeout expired)."
       "|3 items could not be read: PLU 12, 40, 77."},
      {one, "1 item could not be read: PLU 9 (Bad value of parameter 1)."},
      // A read changes nothing: the abandoned command needs no word.
      {abandoned, "Read stopped after 335 of 1,499 items."},
  };
  for (const Case& c : cases) EXPECT_EQ(c.o.closingMessage(ITEMS_READ, "|"), c.text);
  EXPECT_EQ(abandoned.closingMessage(ITEMS_SAVE),
            "Save stopped after 335 of 1,499 items. PLU 336 was sent, but its answer was not waited for: the device may "
            "have done it.");
  TLoopOutcome many;
  for (int64_t n = 1; n <= 25; ++n) many.failedNumbers.push_back(n);
  EXPECT_TRUE(many.failedList(CLIENTS_READ).ends_with("client 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20 and 5 more"));
}

TEST(LoopOutcome, ShowErrOffPutsBackWhatItFound) {
  OpsOnSim s;
  s.ops.set_ShowErr(false);
  {
    TDeviceOps::ShowErrOff inner(s.ops);
  }
  EXPECT_FALSE(s.ops.ShowErr()) << "an inner scope must not turn alerts on for the outer one";
  s.ops.set_ShowErr(true);
  {
    TDeviceOps::ShowErrOff quiet(s.ops);
    EXPECT_FALSE(s.ops.ShowErr());
  }
  EXPECT_TRUE(s.ops.ShowErr());
}

TEST(ItemsLoops, ARowTheTableRefusesIsNamedAndTheReadGoesOn) {
  ItemsOnSim s;
  apptest::putDeviceItems(*s.sim, {1, 2, 3, 7});
  s.device([](sim::DeviceModel& d) { return d.mutableState().items[2].dept = 150; });
  const TLoopOutcome r = s.items.ReadItems_inRange(1, 10);
  EXPECT_EQ(rowsPlu(s.table), (std::vector<std::string>{"1", "3", "7"}));
  EXPECT_EQ(r.end, TLoopEnd::Done);
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.answered, 3);
  EXPECT_EQ(r.failedNumbers, std::vector<int64_t>{2});
  EXPECT_EQ(r.closingMessage(ITEMS_READ).rfind("1 item could not be read: PLU 2 (", 0), 0u) << r.closingMessage(ITEMS_READ);
  EXPECT_TRUE(s.dialogs.shown.empty()) << "the caller shows the closing message";
}

TEST(ItemsLoops, ADeviceThatFallsSilentEndsTheReadAfterAFewFailures) {
  sim::SimulatorOptions o;
  o.faults.silenceFrom = 8;
  ItemsOnSim s(o);
  s.fd.repeatCount = 1;
  s.fd.TCPIP()->exitByTimeValue = 150;
  std::vector<int> plus;
  for (int p = 1; p <= 40; ++p) plus.push_back(p);
  apptest::putDeviceItems(*s.sim, plus);
  const TLoopOutcome r = s.items.ReadItems_inRange(1, 40);
  EXPECT_EQ(r.end, TLoopEnd::Failed);
  EXPECT_EQ(r.failed, TRecordLoop::MAX_LINK_FAILURES);
  EXPECT_GT(r.answered, 0);
  EXPECT_EQ(s.table.RecordCount(), r.answered);
  // Nothing is asked after the last failure.
  EXPECT_EQ(static_cast<int64_t>(s.inputsOf(107).size()), r.answered + r.failed);
  const std::string text = r.closingMessage(ITEMS_READ);
  EXPECT_NE(text.find("Read ended at PLU " + std::to_string(r.answered + 3) + " after "), std::string::npos) << text;
  EXPECT_NE(text.find("did not answer 3 times in a row"), std::string::npos) << text;
}

TEST(ItemsLoops, StopDuringAWaitAndCancelOfTheWaitEndTheWholeLoop) {
  for (const bool byCancel : {false, true}) {
    SCOPED_TRACE(byCancel ? "the wait's Cancel" : "Stop during the wait");
    sim::SimulatorOptions o;
    o.faults.workMs = 2000;
    ItemsOnSim s(o);
    apptest::putDeviceItems(*s.sim, {1, 2, 3, 4, 5});
    if (byCancel) s.fd.OnIdle = [&s](const TWaitState&) { s.fd.cancelWait(); };  // as the window's button
    else s.host.stopInWait = true;
    const auto start = std::chrono::steady_clock::now();
    const TLoopOutcome r = s.items.ReadItems_inRange(1, 5);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(r.stopped());
    EXPECT_EQ(r.failed, 0) << "an abandoned wait is no failure";
    EXPECT_EQ(r.abandoned, 1);
    EXPECT_EQ(s.inputsOf(107), std::vector<std::string>{"R\t1\t"}) << "nothing is sent after the stop";
    EXPECT_LT(took, std::chrono::milliseconds(1500)) << "the wait of 2 s was not waited out";
    s.fd.OnIdle = nullptr;
  }
}

TEST(ClientsLoops, ARefusedNextGoesOnAndTheGuardComparesWithTheLastAnswered) {
  sim::SimulatorOptions o;
  o.faults.nakEvery = 4;
  OpsOnSim s("KT-11A", o);
  s.fd.repeatCount = 1;  // the window's own attempt count: a NAK refuses the command
  s.device([](sim::DeviceModel& d) {
    for (int n = 1; n <= 8; ++n) d.mutableState().clients[n] = {"C" + std::to_string(n), "", "", "", ""};
    return 0;
  });
  // "F" must not be the refused frame.
  if ((s.sim->framesServed() + 1) % 4 == 0) s.cmd(90, "\t");
  TMemTable table(CLIENTS_TABLE_NAME);
  prepareClientTable(table);
  const TLoopOutcome r = readClientInfo(s.ops, table);
  EXPECT_TRUE(r.ok()) << r.closingMessage(CLIENTS_READ) << r.cause;
  EXPECT_EQ(table.RecordCount(), 8);
  EXPECT_TRUE(s.dialogs.shown.empty() || s.dialogs.shown.front().text.find("Error in protocol") == std::string::npos);
}

TEST(BackupLoops, AStopIsSeenAtEveryStageAndSaidAsAStop) {
  {
    OpsOnSim s;
    s.host.stopAfterChecks = 2;
    TBackup b;
    const TLoopOutcome r = readBackup(s.ops, false, false, b);
    EXPECT_TRUE(r.stopped());
    EXPECT_EQ(r.cause.rfind("stopped while reading ", 0), 0u) << r.cause;
    EXPECT_EQ(r.cause.find("No error"), std::string::npos) << r.cause;
    EXPECT_EQ(b.pages.size(), 2u);
  }
  {
    // A row the table refuses fails the backup, named; the stop is no refusal.
    OpsOnSim s;
    apptest::putDeviceItems(*s.sim, {4, 5});
    s.device([](sim::DeviceModel& d) { return d.mutableState().items[5].dept = 150; });
    TBackup b;
    const TLoopOutcome r = readBackup(s.ops, true, false, b);
    EXPECT_EQ(r.end, TLoopEnd::Failed);
    EXPECT_NE(r.cause.find("items: 1 item could not be read: PLU 5"), std::string::npos) << r.cause;
  }
  OpsOnSim source;
  apptest::putDeviceItems(*source.sim, {1, 2, 3});
  TBackup b;
  ASSERT_TRUE(readBackup(source.ops, true, false, b).ok());
  OpsOnSim target;
  target.host.stopAfterChecks = 1;
  const TRestoreReport report = restoreBackup(target.ops, b, {});
  EXPECT_TRUE(report.stopped());
  EXPECT_EQ(report.outcome.closingMessage(RESTORE_WRITE).rfind("Restore stopped after ", 0), 0u);
  EXPECT_FALSE(report.ok());
  const std::string summary = report.summary(false);
  EXPECT_NE(summary.find("Stopped before "), std::string::npos) << summary;
  EXPECT_EQ(summary.find("Not written:"), std::string::npos) << summary;
  EXPECT_TRUE(apptest::devicePlus(*target.sim).empty());
}

}  // namespace
}  // namespace kestrel
