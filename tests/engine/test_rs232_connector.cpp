// The serial transport over a real pseudo-terminal pair (the scripted peer).
#include <grp.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "engine/fiscal_device.h"
#include "engine/rs232_connector.h"
#include "support/err_container.h"
#include "support/fd_misc.h"
#include "util/engine_parts.h"
#include "util/scripted_peer.h"

namespace kestrel {
namespace {

using test::ScriptedPeer;
using Clock = std::chrono::steady_clock;
using test::msSince;

class SerialTransport : public ::testing::Test, protected test::EngineParts {
 protected:
  TRS232Connector& conn() { return *engine.RS232(); }
  void openOn(const ScriptedPeer& peer) {
    conn().portName = peer.slavePath();
    ASSERT_EQ(conn().openConnection(), 0) << conn().lastOpenError();
    ASSERT_TRUE(conn().Active());
  }
  // Times one readByte on a silent line.
  int64_t timeSilentRead() {
    uint8_t b;
    uint32_t n;
    const auto t0 = Clock::now();
    EXPECT_FALSE(conn().readByte(b, n));
    EXPECT_EQ(ec.LastErrorCode(), codes::IO);
    return msSince(t0);
  }
};

TEST(SerialPortPath, PortNumberMapsToTtySAndPortNameWins) {
  TRS232Connector c(nullptr);
  EXPECT_EQ(c.devicePath(), "/dev/ttyS0");
  c.port = 3;
  EXPECT_EQ(c.devicePath(), "/dev/ttyS2");
  c.port = 12;
  EXPECT_EQ(c.devicePath(), "/dev/ttyS11");
  c.portName = "/dev/ttyUSB0";
  EXPECT_EQ(c.devicePath(), "/dev/ttyUSB0");
}

TEST_F(SerialTransport, OpensByPortNameMovesBytesBothWaysAndTracesThem) {
  auto peer = ScriptedPeer::pty({test::expectBytes(3), test::sendBytes(std::string("\x01\x16\xFF", 3))});
  openOn(*peer);
  const int handle = conn().handle();
  EXPECT_GE(handle, 0);
  EXPECT_FALSE(conn().dtr_State());
  EXPECT_FALSE(conn().rts_State());
  EXPECT_EQ(conn().openConnection(), 0);  // already open: untouched
  EXPECT_EQ(conn().handle(), handle);

  conn().Sniffer()->Active = true;
  const uint8_t out[] = {'A', 0x00, 0x0D};  // raw: no NUL dropped, no CR mapped
  EXPECT_EQ(conn().writeBuffer(out, 3), 3u);
  std::string got;
  for (int i = 0; i < 3; ++i) {
    uint8_t b = 0;
    uint32_t n = 0;
    ASSERT_TRUE(conn().readByte(b, n)) << i;
    EXPECT_EQ(n, 1u);
    got += static_cast<char>(b);
  }
  EXPECT_EQ(got, std::string("\x01\x16\xFF", 3));
  EXPECT_EQ(peer->received(), std::string("A\0\r", 3));
  EXPECT_EQ(conn().Sniffer()->values.cHEX.toDeviceValue, "41 00 0D ");
  EXPECT_EQ(conn().Sniffer()->values.cHEX.fromDeviceValue, "01 16 FF ");
  EXPECT_TRUE(peer->waitDone());

  EXPECT_EQ(conn().closeConnection(), 0);
  EXPECT_FALSE(conn().Active());
  EXPECT_EQ(conn().handle(), -1);
  EXPECT_EQ(conn().closeConnection(), -1);
  EXPECT_EQ(ec.LastErrorCode(), 0);
  openOn(*peer);  // the port is free again after closing
}

TEST_F(SerialTransport, ReadWaitsAtMostReadTotalTimeoutConstant) {
  auto peer = ScriptedPeer::pty({});
  // Opened with a limit of 10 s; the one set on the open port is the one that counts.
  conn().init_TimeoutValues(3000, 0, 10000, 3000, 3000);
  openOn(*peer);
  EXPECT_EQ(conn().set_TimeoutValues(3000, 0, 300, 3000, 3000), 0);
  EXPECT_LT(timeSilentRead(), 2500);
  EXPECT_TRUE(conn().Active());  // silence is no loss
  EXPECT_FALSE(conn().linkLost());
}

TEST_F(SerialTransport, AHangUpLosesTheLineAtOnce) {
  auto peer = ScriptedPeer::pty({test::silence(100), test::closeConnection()});
  conn().init_TimeoutValues(3000, 0, 10000, 3000, 3000);
  openOn(*peer);
  ASSERT_TRUE(peer->waitDone());
  uint8_t b;
  uint32_t n;
  const auto t0 = Clock::now();
  EXPECT_FALSE(conn().readByte(b, n));
  EXPECT_LT(msSince(t0), 5000);  // not the 10 s a silent line would take
  EXPECT_TRUE(conn().linkLost());
  EXPECT_FALSE(conn().Active()) << "the dead descriptor is closed";
  EXPECT_EQ(conn().target(), peer->slavePath());
}

TEST_F(SerialTransport, ClearIOBuffersDropsWhatWaits) {
  auto peer = ScriptedPeer::pty({test::silence(100), test::sendBytes("xyz")});
  conn().init_TimeoutValues(3000, 0, 300, 3000, 3000);
  openOn(*peer);
  EXPECT_EQ(conn().readByte(), 'x');  // "yz" now wait in the transport's own buffer
  EXPECT_EQ(conn().clearIOBuffers(), 0);
  timeSilentRead();
}

TEST_F(SerialTransport, ASecondOpenOfTheSamePortIsRefusedAsBusy) {
  auto peer = ScriptedPeer::pty({});
  openOn(*peer);
  TRS232Connector second(&engine);
  second.portName = peer->slavePath();
  EXPECT_EQ(second.openConnection(), codes::NOT_OPEN);
  EXPECT_FALSE(second.Active());
  EXPECT_NE(second.lastOpenError().find("busy"), std::string::npos) << second.lastOpenError();
}

TEST_F(SerialTransport, AMissingPortGivesMinusThreeNamingTheCauseInTheTrace) {
  const std::string folder = testing::TempDir() + "kestrel_rs232_trace";
  std::filesystem::create_directories(folder);
  TSniffer& trace = *conn().Sniffer();
  trace.set_logFolder(folder);
  trace.set_logFileName("trace.txt");
  trace.set_saveToFile_isOn(true);
  ASSERT_TRUE(trace.saveToFile_isOn());

  conn().portName = "/dev/kestrel-no-such-port";
  EXPECT_EQ(conn().openConnection(), codes::NOT_OPEN);
  EXPECT_FALSE(conn().Active());
  EXPECT_EQ(conn().lastOpenError(), "/dev/kestrel-no-such-port: the port does not exist");
  std::ifstream log(trace.logFolder() + trace.logFileName());
  std::stringstream text;
  text << log.rdbuf();
  EXPECT_NE(text.str().find("/dev/kestrel-no-such-port: the port does not exist"), std::string::npos) << text.str();

  ec.RaiseMode = true;
  try {
    conn().openConnection();
    FAIL() << "no exception";
  } catch (const EConnectorError& e) {
    EXPECT_EQ(e.code(), codes::NOT_OPEN);
    EXPECT_EQ(e.what(), ec.LastErrorMessage());
  }
  std::filesystem::remove_all(folder);
}

TEST_F(SerialTransport, APortWithoutPermissionNamesTheGroupThatGivesAccess) {
  const group* dialout = ::getgrnam("dialout");
  if (::geteuid() != 0 || !dialout) GTEST_SKIP() << "needs root (to become another user) and a dialout group";
  int master, slave;
  char name[256];
  ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
  ASSERT_EQ(::chown(name, 0, dialout->gr_gid), 0);
  ASSERT_EQ(::chmod(name, 0660), 0);

  const pid_t child = ::fork();
  if (child == 0) {
    // As an ordinary user outside the group.
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    conn().portName = name;
    const int rc = conn().openConnection();
    const bool named = conn().lastOpenError().find("permission denied") != std::string::npos &&
                       conn().lastOpenError().find("'dialout'") != std::string::npos &&
                       conn().lastOpenError().find("sudo usermod -aG dialout $USER") != std::string::npos;
    ::_exit(rc == codes::NOT_OPEN && named ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  ::close(slave);
  ::close(master);
}

struct BadSetting {
  int32_t baudRate;
  uint8_t byteSize, parity, stopBits;
  const char* named;
};

TEST_F(SerialTransport, SettingsATerminalCannotTakeFailTheOpenBeforeThePortIsTouched) {
  auto peer = ScriptedPeer::pty({});
  conn().portName = peer->slavePath();
  for (const BadSetting& s : {BadSetting{12345, 8, 0, 0, "12345"}, BadSetting{1000000, 8, 0, 0, "1000000"},
                              BadSetting{9600, 9, 0, 0, "data bits"}, BadSetting{9600, 4, 0, 0, "data bits"},
                              BadSetting{9600, 8, 5, 0, "parity"}, BadSetting{9600, 8, 0, 3, "stop-bit"}}) {
    conn().baudRate = s.baudRate;
    conn().byteSize = s.byteSize;
    conn().parity = s.parity;
    conn().stopBits = s.stopBits;
    EXPECT_EQ(conn().openConnection(), codes::NOT_OPEN) << s.named;
    EXPECT_FALSE(conn().Active());
    EXPECT_NE(conn().lastOpenError().find(s.named), std::string::npos) << conn().lastOpenError();
  }
}

struct LineSetting {
  int32_t baudRate;
  uint8_t byteSize, parity, stopBits;
  speed_t speed;
  tcflag_t size, parityFlags;
  bool twoStops;
};

TEST(SerialLineSettings, MapOntoTermiosRawAndWithoutFlowControl) {
  TRS232Connector c(nullptr);
  for (const LineSetting& s : {
           LineSetting{115200, 8, 0, 0, B115200, CS8, 0, false},
           LineSetting{9600, 7, 1, 2, B9600, CS7, PARENB | PARODD, true},
           LineSetting{921600, 8, 2, 1, B921600, CS8, PARENB, true},  // one and a half: two
           LineSetting{19200, 5, 3, 0, B19200, CS5, PARENB | PARODD | CMSPAR, false},
           LineSetting{50, 6, 4, 0, B50, CS6, PARENB | CMSPAR, false},
       }) {
    c.baudRate = s.baudRate;
    c.byteSize = s.byteSize;
    c.parity = s.parity;
    c.stopBits = s.stopBits;
    termios tio{};
    tio.c_iflag = ICRNL | IXON | INPCK | ISTRIP;
    tio.c_oflag = OPOST | ONLCR;
    tio.c_lflag = ICANON | ECHO | ISIG;
    tio.c_cflag = CRTSCTS | CS8 | PARENB;
    ASSERT_TRUE(c.toTermios(tio)) << s.baudRate;
    EXPECT_EQ(::cfgetospeed(&tio), s.speed) << s.baudRate;
    EXPECT_EQ(::cfgetispeed(&tio), s.speed) << s.baudRate;
    EXPECT_EQ(tio.c_cflag & CSIZE, s.size) << s.baudRate;
    EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), s.parityFlags) << s.baudRate;
    EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, s.twoStops) << s.baudRate;
    EXPECT_EQ(tio.c_cflag & (CRTSCTS | CLOCAL | CREAD), CLOCAL | CREAD);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | INPCK | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
  }
}

TEST_F(SerialTransport, OpeningPutsTheSettingsOnTheTerminal) {
  // A pseudo-terminal keeps speed and stop bits but always reports 8 bits without parity.
  auto peer = ScriptedPeer::pty({});
  conn().baudRate = 9600;
  conn().stopBits = 2;
  openOn(*peer);
  termios tio{};
  ASSERT_EQ(::tcgetattr(conn().handle(), &tio), 0);
  EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B9600));
  EXPECT_NE(tio.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(tio.c_iflag & (IXON | ICRNL), 0u);
}

TEST_F(SerialTransport, DtrAndRtsOnAPseudoTerminalCountAsDone) {
  auto peer = ScriptedPeer::pty({});
  EXPECT_EQ(conn().set_DTRState(true), codes::NOT_OPEN);  // closed
  conn().setDTRToFalseInOpenComPort = true;
  conn().setRTSToFalseInOpenComPort = true;
  openOn(*peer);
  EXPECT_EQ(conn().set_DTRState(true), 0);
  EXPECT_TRUE(conn().dtr_State());
  EXPECT_EQ(conn().set_RTSState(true), 0);
  EXPECT_TRUE(conn().rts_State());
  EXPECT_EQ(conn().set_DTRState(false), 0);
  EXPECT_FALSE(conn().dtr_State());
  EXPECT_EQ(ec.LastErrorCode(), 0);
}

TEST_F(SerialTransport, OperationsOnAClosedPort) {
  EXPECT_EQ(conn().clearIOBuffers(), codes::NOT_OPEN);
  EXPECT_EQ(conn().set_TimeoutValues(1, 2, 3, 4, 5), codes::NOT_OPEN);
  uint8_t b;
  uint32_t n;
  EXPECT_FALSE(conn().readByte(b, n));
  EXPECT_EQ(ec.LastErrorCode(), codes::IO);
  const uint8_t out[] = {1};
  EXPECT_EQ(conn().writeBuffer(out, 1), 0u);
  EXPECT_FALSE(conn().writeByte(1));

  ec.RaiseMode = true;
  EXPECT_THROW(conn().clearIOBuffers(), EConnectorError);
  EXPECT_THROW(conn().readByte(b, n), EConnectorError);
}

TEST(SerialTransportComponents, WithoutTheEnginesComponentsOperationsReturnTheirCodes) {
  TRS232Connector alone(nullptr);
  EXPECT_EQ(alone.openConnection(), codes::NO_ERR_CONTAINER);
  EXPECT_EQ(alone.clearIOBuffers(), codes::NO_ERR_CONTAINER);
  EXPECT_EQ(alone.set_DTRState(true), codes::NO_TRANSPORT);
  EXPECT_EQ(alone.set_TimeoutValues(1, 2, 3, 4, 5), codes::NO_TRANSPORT);
  uint8_t b;
  uint32_t n;
  EXPECT_FALSE(alone.readByte(b, n));

  TErrContainer ec;
  ec.RaiseMode = false;
  TFiscalDevice engine;  // container but no helper component
  engine.set_errContainer(&ec);
  std::vector<std::string> shown;
  engine.messageBox = [&](const std::string& text) { shown.push_back(text); };
  EXPECT_EQ(engine.RS232()->openConnection(), codes::NO_MISC);
  EXPECT_EQ(ec.LastErrorCode(), codes::NO_MISC);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], ec.LastErrorMessage());
}

TEST_F(SerialTransport, DiagnosticReadAfterOpenOnASilentDeviceGivesMinusThreeAndLeavesThePortOpen) {
  auto peer = ScriptedPeer::pty({test::expectFrame()});
  engine.repeatCount = 1;
  engine.dd()->LowLevel().set_ProtocolType(protocol_Type2);
  engine.dd()->i90().getAfterConnect = true;
  conn().init_TimeoutValues(3000, 0, 200, 3000, 3000);
  conn().exitByTimeValue = 300;
  conn().portName = peer->slavePath();
  EXPECT_EQ(conn().openConnection(), codes::NOT_OPEN);
  EXPECT_EQ(ec.LastErrorCode(), codes::NOT_OPEN);
  EXPECT_TRUE(conn().Active());
  EXPECT_NE(conn().lastOpenError().find("diagnostic"), std::string::npos);
  ASSERT_TRUE(peer->waitDone());
  EXPECT_EQ(peer->frames().at(0), std::string("\x01\x30\x30\x32\x3A\x20\x30\x30\x34\x3A\x05\x30\x31\x3B\x3F\x03"));
}

TEST_F(SerialTransport, ALineLostDuringTheDiagnosticReadIsNoOpenError) {
  // The device hangs up in the middle of its answer to the first command.
  auto peer = ScriptedPeer::pty({test::expectFrame(), test::sendBytes("\x01\x30\x30"), test::closeConnection()});
  engine.repeatCount = 2;
  engine.dd()->LowLevel().set_ProtocolType(protocol_Type2);
  engine.dd()->i90().getAfterConnect = true;
  conn().exitByTimeValue = 5000;
  conn().portName = peer->slavePath();
  EXPECT_EQ(conn().openConnection(), CODE_CONNECTION_LOST);
  EXPECT_EQ(ec.LastErrorMessage(), "Connection lost: " + peer->slavePath());
  EXPECT_NE(conn().lastOpenError().find("lost during the diagnostic read"), std::string::npos) << conn().lastOpenError();
  EXPECT_FALSE(conn().Active());
  EXPECT_TRUE(engine.connectionLost());
  EXPECT_EQ(peer->frames().size(), 1u) << "a lost line is not tried again";
}

}  // namespace
}  // namespace kestrel
