// The engine reading a device's answer: a real engine sends its request over loopback
// TCP to a peer that answers with the input's bytes and then ends the connection.
//
// First input byte: bit 0 selects protocol_Type1 (else Type2); bit 1 sends a plain
// command 90 (the delimiter widening, field 0 not checked) instead of a command 255
// read; bit 2 switches the trace on; bit 3 sets the engine up with the KT-33A profile
// as the application does (Type2 and the model's status bits checked as errors).
// The rest is what the device sends.
//
// Each run ends when the engine has read everything and finds the connection closed;
// the per-byte limit is 0, so the engine gives up at that moment instead of waiting for
// more (a limit only matters for a device that stays silent, which this peer never is).
// repeatCount 1: one request, one answer.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "catalogue/fba_kt_33a.h"
#include "engine/fiscal_device.h"
#include "engine/frame_codec.h"
#include "engine/tcpip_connector.h"
#include "support/err_container.h"
#include "support/fd_misc.h"

using namespace kestrel;

namespace {

// Accepts one connection after the other: reads the request up to its terminator,
// sends the reply of the current run, ends its side and waits for the engine to close.
class Peer {
 public:
  Peer() {
    fListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(fListen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fListen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fListen, 4) != 0) std::abort();
    socklen_t len = sizeof a;
    ::getsockname(fListen, reinterpret_cast<sockaddr*>(&a), &len);
    fPort = ntohs(a.sin_port);
    std::thread([this] { run(); }).detach();
  }
  uint16_t port() const { return fPort; }
  void setReply(std::string reply) {
    std::lock_guard lock(fMutex);
    fReply = std::move(reply);
  }

 private:
  void run() {
    for (;;) {
      const int c = ::accept4(fListen, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) continue;
      // No request this target sends holds 03h before its terminator.
      char buf[512];
      bool complete = false;
      while (!complete && waitReadable(c)) {
        const ssize_t n = ::recv(c, buf, sizeof buf, 0);
        if (n <= 0) break;
        complete = std::memchr(buf, frame::TERMINATOR, static_cast<size_t>(n)) != nullptr;
      }
      if (complete) {
        std::string reply;
        {
          std::lock_guard lock(fMutex);
          reply = fReply;
        }
        for (size_t done = 0; done < reply.size();) {
          const ssize_t n = ::send(c, reply.data() + done, reply.size() - done, MSG_NOSIGNAL);
          if (n <= 0) break;
          done += static_cast<size_t>(n);
        }
      }
      // FIN after the reply; closing only once the engine has closed keeps unread bytes
      // on our side from turning the end into a reset that could drop the reply.
      ::shutdown(c, SHUT_WR);
      while (waitReadable(c) && ::recv(c, buf, sizeof buf, 0) > 0) {
      }
      ::close(c);
    }
  }
  static bool waitReadable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 5000) > 0;
  }

  int fListen = -1;
  uint16_t fPort = 0;
  std::mutex fMutex;
  std::string fReply;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Peer* peer = new Peer;  // serves until the process ends
  static TErrContainer* err = [] {
    auto* e = new TErrContainer;
    e->RaiseMode = false;
    return e;
  }();
  static TFDMisc* misc = new TFDMisc;
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  peer->setReply(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));

  err->set_LastErrorCode(0);
  TFiscalDevice fd;
  fd.set_errContainer(err);
  fd.set_Misc(misc);
  fd.messageBox = [](const std::string&) {};
  TFBA_KT_33A profile;
  if (mode & 8) {
    profile.set_fCore(&fd);
  } else {
    fd.dd()->LowLevel().set_ProtocolType((mode & 1) ? protocol_Type1 : protocol_Type2);
    fd.dd()->CodePage = 1250;
  }
  fd.add_DefaultDelimiters();
  fd.firstCommand = false;
  fd.repeatCount = 1;
  fd.set_CommunicationType(ct_TCPIP);
  fd.TCPIP()->set_Address("127.0.0.1");
  fd.TCPIP()->set_port(peer->port());
  fd.TCPIP()->exitByTimeValue = 0;
  fd.TCPIP()->Sniffer()->Active = (mode & 4) != 0;
  if (fd.TCPIP()->openConnection() != 0) std::abort();  // the peer always listens

  std::string out;
  const bool plain90 = (mode & 2) != 0;
  const bool ok = fd.customCommand(plain90 ? 90 : 255, plain90 ? "" : "Header\t1\t\t", out);
  // An accepted answer is made of bytes the device sent.
  if (ok && fd.ansiTextOutput().size() + 1 > size) std::abort();
  fd.TCPIP()->closeConnection();
  return 0;
}
