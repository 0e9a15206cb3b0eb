// The simulator's platform-independent part: the state file, the answers and faults,
// the pacing of written bytes and the log. simulator_posix.cpp and simulator_win32.cpp
// open the transports and run the serving loop.
#include "sim/simulator.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "engine/frame_codec.h"
#include "engine/socket_io.h"
#include "engine/secrets.h"
#include "sim/simulator_session.h"
#include "support/files.h"

namespace kestrel::sim {

namespace fs = std::filesystem;

namespace {

constexpr auto SAVE_INTERVAL = std::chrono::milliseconds(200);

}  // namespace

Simulator::Simulator(SimulatorOptions options) : fOpt(std::move(options)), fDevice(fOpt.model) {
  fDevice.servicePassword = fOpt.servicePassword;
  if (fOpt.hostClock) fDevice.hostClock = fOpt.hostClock;
}

Simulator::~Simulator() { stop(); }

bool Simulator::loadState(std::string& error) {
  if (fOpt.stateFile.empty()) return true;
  const std::string& path = fOpt.stateFile;
  std::string text;
  try {
    // Read without blocking: a FIFO would hold the start, while the stop requests are held.
    checkRegularFile(path);
    std::error_code ec;
    if (!fs::exists(path, ec) && !ec) return true;  // a fresh device; the first save creates the file
    text = readWholeFile(path);
  } catch (const EFileError& e) {
    // A file that exists but cannot be read must not be replaced by a fresh device.
    std::error_code ec;
    const auto type = fs::status(path, ec).type();
    error = !ec && type != fs::file_type::regular && type != fs::file_type::not_found
                ? fmt::format("state file {} is not a regular file", path)
                : fmt::format("cannot read state file {}: {}", path, e.what());
    return false;
  }
  std::string damage;
  if (!fDevice.deserialize(text, damage)) {
    // Keep the damaged file for inspection instead of overwriting it with a fresh device.
    std::string kept = path + ".broken";
    std::error_code ec;
    for (int n = 1; fs::exists(kept, ec); ++n) kept = fmt::format("{}.broken.{}", path, n);
    fs::rename(path, kept, ec);
    if (ec) {
      error = fmt::format("state file {} is damaged ({}) and cannot be kept aside as {}: {}", path, damage, kept,
                          ec.message());
      return false;
    }
    fStateWarning =
        fmt::format("state file {} is damaged ({}); kept as {}, the device starts from factory defaults", path, damage, kept);
    fDevice.dirty = true;
    return true;
  }
  if (fOpt.modelGiven && fDevice.model().name != modelInfo(fOpt.model).name)
    fStateWarning = fmt::format("state file {} holds a {}; the model {} was not used", path, fDevice.model().name,
                                fOpt.model);
  return true;
}

bool Simulator::saveState(std::string* error) {
  // A state file that could not be read is never replaced by this device.
  if (fOpt.stateFile.empty() || !fStateRead) return true;
  std::string text;
  {
    std::lock_guard lock(fDeviceMutex);
    text = fDevice.serialize();
    fDevice.dirty = false;
  }
  std::string failure;
  try {
    writeFileAtomically(fOpt.stateFile, text, 0644);
  } catch (const EFileError& e) {
    failure = e.what();
  }
  fSaveFailed = !failure.empty();
  if (!failure.empty()) {
    const std::string msg = fmt::format("cannot write state file {}: {}", fOpt.stateFile, failure);
    std::lock_guard lock(fDeviceMutex);
    fDevice.dirty = true;
    if (error) *error = msg;
    if (!fSaveErrorShown) std::fprintf(stderr, "kestrel-sim: %s\n", msg.c_str());
    fSaveErrorShown = true;
  }
  return failure.empty();
}

bool Simulator::start(std::string& error) {
  if (running()) return true;
  fStop = false;
  fStateRead = loadState(error);
  if (!fStateRead) return false;
  if (!openTransports(error)) {
    closeTransports();
    if (fLog) std::fclose(fLog);
    fLog = nullptr;
    return false;
  }
  logNote(fmt::format("started, model {}", fDevice.model().name));
  fThread = std::thread(&Simulator::run, this);
  return true;
}

void Simulator::stop() {
  if (fThread.joinable()) {
    fStop = true;
    wakeLoop();
    fThread.join();
  }
  closeTransports();
  if (fDevice.dirty) saveState();
  if (fLog) {
    logNote("stopped");
    std::fclose(fLog);
    fLog = nullptr;
  }
}

addrinfo* Simulator::listenAddress(std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* res = nullptr;
  const std::string service = std::to_string(fOpt.port);
  if (::getaddrinfo(fOpt.host.empty() ? nullptr : fOpt.host.c_str(), service.c_str(), &hints, &res) != 0 || !res) {
    error = fmt::format("cannot resolve address {}", fOpt.host);
    return nullptr;
  }
  return res;
}

bool Simulator::writeBytes(Session& s, const char* data, size_t len) {
  // With a line speed set, bytes leave at the pace of an 8N1 line: 10 bits per byte.
  const int64_t byteNs = fOpt.baud > 0 ? 10'000'000'000LL / fOpt.baud : 0;
  const size_t chunk = byteNs > 0 ? std::max<size_t>(1, static_cast<size_t>(1'000'000 / byteNs)) : len;
  const auto start = Clock::now();
  size_t done = 0;
  bool flushed = false;
  while (done < len && s.fd >= 0 && !fStop) {
    const size_t n = std::min(chunk, len - done);
    // A chunk goes out when its last byte would have arrived over the line, so the
    // answer is never complete sooner than the line could carry it.
    if (byteNs > 0)
      std::this_thread::sleep_until(start + std::chrono::nanoseconds(byteNs * static_cast<int64_t>(done + n)));
    const long w = writeSome(s, data + done, n);
    if (w > 0) {
      done += static_cast<size_t>(w);
      continue;
    }
    if (w == 0 && waitWritable(s, flushed)) continue;
    if (s.tcp) closeSession(s);
    return false;
  }
  return done == len;
}

void Simulator::received(Session& s, const uint8_t* data, size_t n) {
  s.assembler.feed(data, n);
  s.lastByte = Clock::now();
  serve(s);
  if (s.cut) closeSession(s);
}

void Simulator::tick(std::initializer_list<Session*> sessions, std::chrono::steady_clock::time_point& lastSave) {
  const auto now = Clock::now();
  for (Session* s : sessions) {
    // A frame cut short by the client is answered with NAK once its bytes stop coming.
    if (s->fd >= 0 && s->assembler.partial() && now - s->lastByte > std::chrono::milliseconds(fOpt.frameTimeoutMs)) {
      s->assembler.reset();
      logNote("incomplete frame dropped");
      const char nak = static_cast<char>(frame::NAK);
      writeBytes(*s, &nak, 1);
    }
  }
  if (!fOpt.stateFile.empty() && now - lastSave >= SAVE_INTERVAL) {
    bool dirty;
    {
      std::lock_guard lock(fDeviceMutex);
      dirty = fDevice.dirty;
    }
    if (dirty) saveState();
    lastSave = now;
  }
}

bool Simulator::idleClientDue(const Session& tcp) const {
  return fOpt.idleDropMs > 0 && tcp.fd >= 0 && Clock::now() - tcp.lastByte >= std::chrono::milliseconds(fOpt.idleDropMs);
}

void Simulator::dropIdleClient(Session& tcp) {
  // One client at a time: one that connects and sends nothing would hold off every
  // other. It goes once it has been silent this long and another one is waiting.
  logNote(fmt::format("client dropped: it sent nothing for {} ms while another client waited", fOpt.idleDropMs));
  closeSession(tcp);
}

void Simulator::serve(Session& s) {
  RequestFrame frame;
  while (s.fd >= 0 && !s.cut && !fStop) {
    const auto r = s.assembler.next(frame);
    if (r == FrameAssembler::Result::NeedMore) break;
    if (r == FrameAssembler::Result::Reject) {
      logNote("frame rejected (NAK)");
      const char nak = static_cast<char>(frame::NAK);
      writeBytes(s, &nak, 1);
      continue;
    }
    answerFrame(s, frame);
  }
}

void Simulator::answerFrame(Session& s, const RequestFrame& frame) {
  const FaultOptions& f = fOpt.faults;
  const uint64_t k = ++s.count;
  ++fFrames;
  auto every = [k](int n) { return n > 0 && k % static_cast<uint64_t>(n) == 0; };
  if (f.silenceFrom > 0 && k >= static_cast<uint64_t>(f.silenceFrom)) {
    logNote(fmt::format("fault: silent on command {}", frame.cmd));
    return;
  }
  if (every(f.nakEvery)) {
    logNote(fmt::format("fault: NAK for command {}", frame.cmd));
    const char nak = static_cast<char>(frame::NAK);
    writeBytes(s, &nak, 1);
    return;
  }
  // The engine repeats a frame unchanged when it rejected the answer; the device
  // answers it again without executing the command twice.
  if (frame.raw == s.lastRaw) {
    logNote(fmt::format("repeated frame of command {}, answered again", frame.cmd));
  } else {
    int code;
    {
      std::lock_guard lock(fDeviceMutex);
      fDevice.execute(frame.cmd, frame.data, s.lastData);
      fDevice.statusBytes(s.lastStatus);
      code = fDevice.lastCode();
    }
    s.lastRaw.assign(frame.raw);
    logExchange(frame.cmd, frame.data, code, s.lastData);
  }
  if (f.workMs > 0) {
    const auto done = Clock::now() + std::chrono::milliseconds(f.workMs);
    const auto step = std::chrono::milliseconds(std::max(1, fOpt.synIntervalMs));
    while (!fStop && s.fd >= 0) {
      const auto next = Clock::now() + step;
      if (next >= done) {
        std::this_thread::sleep_until(done);
        break;
      }
      std::this_thread::sleep_until(next);
      const char syn = static_cast<char>(frame::SYN);
      writeBytes(s, &syn, 1);
    }
  }
  if (every(f.dropEvery)) {
    logNote(fmt::format("fault: answer to command {} dropped", frame.cmd));
    return;
  }
  uint8_t status[8];
  std::memcpy(status, s.lastStatus, 8);
  for (auto [byte, bit] : f.statusBits) status[byte] |= static_cast<uint8_t>(1u << bit);
  completeStatusBytes(status);
  uint8_t seq = frame.seq;
  if (every(f.badSeqEvery)) seq = frame::nextSequence(seq, fOpt.protocol == LinkProtocol::Type2);
  buildAnswerFrame(fOpt.protocol, seq, frame.cmd, s.lastData, status, s.out);
  if (every(f.badChecksumEvery)) s.out[s.out.size() - 2] ^= 0x01;
  if (every(f.garbageEvery)) s.out.insert(0, "\x7F\x55\xAA noise ");
  if (every(f.cutEvery)) {
    logNote(fmt::format("fault: connection cut in the answer to command {}", frame.cmd));
    writeBytes(s, s.out.data(), s.out.size() / 2);
    s.cut = true;
    return;
  }
  writeBytes(s, s.out.data(), s.out.size());
}

void Simulator::logNote(std::string_view text) {
  if (!fLog) return;
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
  std::fprintf(fLog, "%s  %.*s\n", stamp, static_cast<int>(text.size()), text.data());
  std::fflush(fLog);
}

void Simulator::logExchange(uint16_t cmd, std::string_view input, int code, std::string_view answer) {
  if (!fLog) return;
  // Passwords never reach the log, neither sent nor read back.
  logNote(fmt::format("cmd {:3}  in \"{}\"  code {}  answer \"{}\"", cmd, escapeBytes(maskedPasswords(cmd, input)),
                      code, escapeBytes(answerHoldsPassword(cmd, input) ? maskedAnswer(answer) : std::string(answer))));
}

}  // namespace kestrel::sim
