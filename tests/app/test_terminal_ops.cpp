// Terminal operations against the simulator: every function inside service mode, the
// terminal data lines, the command file's line breaks.
#include <gtest/gtest.h>

#include "app/logic/pages/terminal.h"
#include "app/ops_fixture.h"
#include "sim/device_codes.h"

namespace kestrel {
namespace {

const std::string SERVICE_PASSWORD = "1234";

TEST(TerminalOps, CommandFileLineBreaks) {
  EXPECT_EQ(commandFileText("A\\r\\nB"), "A\r\nB");
  EXPECT_EQ(commandFileText("A\\R\\n\\r\\NB\\r"), "A\r\n\r\nB\\r");
  EXPECT_EQ(commandFileText(""), "");
}

TEST(TerminalOps, FunctionsRunInServiceModeAndNeedThePassword) {
  apptest::OpsOnSim s;
  std::string focus;
  TTerminalData data;
  EXPECT_FALSE(readTerminalData(s.ops, "", data, focus));
  EXPECT_EQ(s.dialogs.shown.back().text, "Enter service password");
  EXPECT_EQ(focus, TERMINAL_PASSWORD_FIELD);
  EXPECT_TRUE(s.sent.empty());

  EXPECT_FALSE(terminalFunction(s.ops, "9999", TERMINAL_RESET, focus));
  ASSERT_EQ(s.sent.size(), 1u) << "a wrong password sends nothing else";

  s.clearSent();
  ASSERT_TRUE(terminalFunction(s.ops, SERVICE_PASSWORD, TERMINAL_NEW_COMMAND_FILE, focus));
  ASSERT_EQ(s.sent.size(), 3u);
  EXPECT_EQ(s.sent[1].input, "1\t");
  EXPECT_EQ(s.sent[2].input, "0\t\t");

  s.clearSent();
  ASSERT_TRUE(readTerminalData(s.ops, SERVICE_PASSWORD, data, focus));
  EXPECT_EQ(s.inputsOf(144), (std::vector<std::string>{"2\t", "3\t", "4\t", "5\t"}));
  EXPECT_EQ(s.sent.back().input, "0\t\t");
  EXPECT_EQ(data.info, (std::vector<std::string>{"First install:                    YES",
                                                 "Last sent Z report number:        0",
                                                 "Last Z report number:             0"}));
  ASSERT_TRUE(data.commandFile);
  EXPECT_NE(data.commandFile->find("\r\nSEND Z\r\nEND"), std::string::npos) << *data.commandFile;

  ASSERT_TRUE(terminalFunction(s.ops, SERVICE_PASSWORD, TERMINAL_FORCE_COMMAND, focus));
  ASSERT_TRUE(readTerminalData(s.ops, SERVICE_PASSWORD, data, focus));
  EXPECT_EQ(data.info[0], "First install:                    NO");
  EXPECT_TRUE(s.ops.ShowErr());
}

TEST(TerminalOps, ARefusedFunctionShowsItsCodeInItsLineAndInTheStatusBar) {
  apptest::OpsOnSim s;
  std::string focus;
  TTerminalData data;
  // The device leaves service mode just before the last sent Z number is asked for.
  s.ops.onCommand = [&](uint16_t c, const std::string& in) {
    s.sent.push_back({c, in});
    std::string out;
    if (c == 144 && in == "3\t") s.fd.customCommand(253, "0\t\t", out);
  };
  ASSERT_TRUE(readTerminalData(s.ops, SERVICE_PASSWORD, data, focus));
  ASSERT_EQ(data.info.size(), 3u);
  EXPECT_EQ(data.info[0], "First install:                    YES");
  const std::string code = std::to_string(sim::ERR_NEED_SERVICE);
  EXPECT_EQ(data.info[1], "Last sent Z report number:        Error: " + code);
  EXPECT_EQ(data.info[2], "Last Z report number:             Error: " + code);
  EXPECT_EQ(data.commandFile, "") << "emptied, and the refused read leaves it empty";
  EXPECT_TRUE(s.dialogs.shown.empty()) << "errors after the first function go to the status bar";
  EXPECT_FALSE(s.host.statusHistory.empty());
}

}  // namespace
}  // namespace kestrel
