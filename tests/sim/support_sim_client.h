#pragma once
// A raw client of the simulator for its tests: writes request frames over TCP or a
// terminal and reads answers byte by byte, counting SYN and noticing NAK.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/link.h"

namespace kestrel::simtest {

// Answer data split into fields, each ended by TAB.
std::vector<std::string> fieldsOf(std::string_view data);

struct Answer {
  bool timedOut = false;
  bool nak = false;
  bool valid = false;  // length, separator, postamble, checksum and terminator as they should be
  int syn = 0;
  int noise = 0;       // other bytes before the frame
  uint8_t seq = 0;
  uint16_t cmd = 0;
  std::string data;
  uint8_t status[8] = {};
  std::vector<std::string> fields() const { return fieldsOf(data); }
  int code() const;  // field 0 as a number
};

class RawClient {
 public:
  static std::unique_ptr<RawClient> tcp(uint16_t port);
  static std::unique_ptr<RawClient> terminal(const std::string& path);  // POSIX only
  ~RawClient();

  void sendRaw(std::string_view bytes);
  std::string frame(uint16_t cmd, std::string_view data, uint8_t seq) const;
  // Sends a frame with the next sequence number and reads its answer.
  Answer call(uint16_t cmd, std::string_view data, int timeoutMs = 3000);
  Answer readAnswer(int timeoutMs = 3000);
  // True when the peer closes the connection within the time.
  bool closedByPeer(int timeoutMs);
  void close();

  uint8_t seq = 0x20;
  sim::LinkProtocol protocol = sim::LinkProtocol::Type2;

 private:
  explicit RawClient(std::intptr_t fd) : fFd(fd) {}
  bool readByte(uint8_t& b, int timeoutMs);
  std::intptr_t fFd;  // a descriptor (POSIX) or a socket (Windows)
};

}  // namespace kestrel::simtest
