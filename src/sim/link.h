#pragma once
// Device side of the link frames: picks request frames out of a byte stream and
// builds answer frames. Transport-free, so it can be tested byte by byte.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::sim {

enum class LinkProtocol { Type1, Type2 };

struct RequestFrame {
  uint8_t seq = 0;
  uint16_t cmd = 0;
  std::string_view data;  // valid until the next call of FrameAssembler::next or feed
  std::string_view raw;   // the whole frame, same lifetime
};

class FrameAssembler {
 public:
  enum class Result { NeedMore, Frame, Reject };

  explicit FrameAssembler(LinkProtocol protocol = LinkProtocol::Type2);
  void feed(const uint8_t* data, size_t len);
  // Takes the next frame off the buffered bytes. Reject: a frame start that cannot
  // be accepted (bad length, postamble, checksum or terminator) was dropped; the
  // device answers it with NAK. Bytes before a frame start are skipped silently.
  Result next(RequestFrame& frame);
  // Bytes of an unfinished frame are waiting.
  bool partial() const { return fStart < fBuf.size(); }
  void reset();
  LinkProtocol protocol() const { return fProtocol; }

 private:
  void consume(size_t n);

  LinkProtocol fProtocol;
  std::string fBuf;
  size_t fStart = 0;
  std::string fFrame;
};

// Answer frame: SOH, length, sequence, command, data, separator, status, postamble,
// checksum, terminator. Status holds 8 bytes (6 are used with Type1).
void buildAnswerFrame(LinkProtocol protocol, uint8_t seq, uint16_t cmd, std::string_view data,
                      const uint8_t* status, std::string& out);
// Request frame, as the engine writes it (the simulator's own test clients use it).
void buildRequestFrame(LinkProtocol protocol, uint8_t seq, uint16_t cmd, std::string_view data, std::string& out);

// Faults that the simulator injects on request. Counters run per connection over
// the accepted frames, counted from 1; "every n-th" with n = 1 means every frame.
struct FaultOptions {
  int nakEvery = 0;          // answer NAK instead of executing
  int badChecksumEvery = 0;  // answer with a corrupted checksum
  int badSeqEvery = 0;       // answer with another sequence number
  int dropEvery = 0;         // execute but send no answer
  int garbageEvery = 0;      // noise bytes before the answer frame
  int cutEvery = 0;          // send half the answer, then cut the connection
  int silenceFrom = 0;       // from this frame on, no answer and no execution (0: never)
  int workMs = 0;            // time each command takes; SYN bytes are sent meanwhile
  std::vector<std::pair<int, int>> statusBits;  // (byte, bit) always set in answers

  bool any() const;
};

// One --fault FAULT: nak[:N], checksum[:N], seq[:N], drop[:N], garbage[:N], cut[:N],
// silence[:N], status:BYTE.BIT, slow:MS. Returns false with a message on a bad fault text.
bool parseFault(std::string_view text, FaultOptions& faults, std::string& error);

}  // namespace kestrel::sim
