#include "catalogue/raw_passthrough.h"

#include <cctype>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/fiscal_device.h"
#include "support/caught.h"
#include "support/err_container.h"
#include "support/fd_misc.h"

namespace kestrel {

namespace {

uint32_t tickMs() {
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

enum class Input { Hex, Text };

class RawExchange {
 public:
  explicit RawExchange(TFiscalDevice& engine) : fEngine(engine), fMisc(*engine.Misc()) {}

  // Input text to the bytes to send; false for malformed hexadecimal input.
  bool toBytes(const std::string& inputText, Input kind) {
    std::string text = fMisc.prepare_InputForSpecialSymbols(inputText);
    if (kind == Input::Text) {
      fMessage = fMisc.convert_WideString_ToAnsiString(text, fEngine.dd()->CodePage);
      return true;
    }
    std::string digits;
    for (char c : text) {
      if (c == ' ') continue;
      if (!isHexDigit(c)) return false;
      digits += c;
    }
    if (digits.size() % 2 != 0) return false;
    fMessage.clear();
    for (size_t i = 0; i < digits.size(); i += 2) fMessage += static_cast<char>(fMisc.hexToByte(digits.substr(i, 2)));
    return true;
  }

  bool run(bool withAnswer, std::string* outputText) {
    setCode(codes::GENERAL);
    TFDConnector* conn = fEngine.activeConnector();
    if (!conn) {
      setCode(codes::NO_TRANSPORT);
      return false;
    }
    bool result = false;
    try {
      result = prepare(*conn) && write(*conn) && (!withAnswer || read(*conn));
    } catch (...) {
      reportCaught("RawExchange.run");
      setCode(codes::GENERAL);
      result = false;
    }
    if (withAnswer && outputText) *outputText = answerText();
    trace(*conn);
    finish(*conn);
    return result;
  }

 private:
  void setCode(int code) {
    if (TErrContainer* err = fEngine.errContainer()) err->set_LastErrorCode(code);
  }
  int lastCode() const { return fEngine.errContainer()->LastErrorCode(); }

  bool prepare(TFDConnector& conn) {
    if (!conn.Active()) {
      if (!fEngine.ocoecModeOn) {
        setCode(codes::NOT_OPEN);
        return false;
      }
      int opened = conn.openConnection();
      if (opened != 0) {
        setCode(opened);
        return false;
      }
    }
    return conn.clearIOBuffers() == 0;
  }

  bool write(TFDConnector& conn) {
    const auto* data = reinterpret_cast<const uint8_t*>(fMessage.data());
    const auto size = static_cast<uint32_t>(fMessage.size());
    if (size > 0 && conn.writeBuffer(data, size) != size) {
      // Keep the transport's own code when it set one.
      if (lastCode() == 0) setCode(codes::GENERAL);
      return false;
    }
    setCode(codes::OK);
    return true;
  }

  bool readByte(TFDConnector& conn, uint8_t& b) {
    const uint32_t start = tickMs();
    for (;;) {
      bool got = false;
      try {
        uint32_t count = 0;
        got = conn.readByte(b, count) && count == 1;
      } catch (const EConnectorError&) {
        got = false;  // a silent read: the transport's code and trace line tell why; the limit decides
      }
      if (got) return true;
      if (conn.exitByTime && tickMs() - start >= conn.exitByTimeValue) return false;
      // A closed link answers at once: do not spin while the limit runs.
      if (!conn.Active()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  bool read(TFDConnector& conn) {
    fAnswer.clear();
    fAnswer.reserve(TFiscalDevice::BUFFER_SIZE);
    uint8_t b = 0;
    while (fAnswer.size() < TFiscalDevice::BUFFER_SIZE) {
      if (!readByte(conn, b)) {
        try {
          conn.clearIOBuffers();
        } catch (...) {
          reportCaught("RawExchange.read");
        }
        setCode(codes::TIMEOUT);
        return false;
      }
      fAnswer.push_back(b);
      if (fAnswer.size() < 4) continue;
      const size_t length = (static_cast<size_t>(fAnswer[2]) << 8) | fAnswer[3];
      if (length == 0 || (b == 0 && fAnswer.size() >= length + 4)) break;
    }
    return true;
  }

  std::string answerText() const {
    if (fAnswer.size() < 3) return {};
    std::string text;
    for (size_t i = 0; i < fAnswer.size() && i < 4; ++i) {
      std::string hex = fMisc.byteToHex(fAnswer[i]);
      for (char& c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      text += hex;
    }
    if (fAnswer.size() > 4)
      text += fMisc.convert_AnsiString_ToWideString(std::string(fAnswer.begin() + 4, fAnswer.end()),
                                                    fEngine.dd()->CodePage);
    return text;
  }

  void trace(TFDConnector& conn) const {
    TSniffer* s = conn.Sniffer();
    if (!s || !s->Active) return;
    std::string sent, received;
    for (unsigned char c : fMessage) fMisc.putByteToHEX(c, sent);
    for (uint8_t c : fAnswer) fMisc.putByteToHEX(c, received);
    std::string command = fMessage.empty() ? std::string("--") : fMisc.byteToHex(static_cast<uint8_t>(fMessage[0]));
    s->logThis("Unframed command " + command + ": sent " + sent + "received " + received, true);
  }

  // Closes an on-demand connection; a failed close replaces a success code only.
  void finish(TFDConnector& conn) {
    if (!fEngine.ocoecModeOn) return;
    try {
      if (!conn.Active()) return;
      const int remembered = lastCode();
      const int closed = conn.closeConnection();
      setCode(remembered != 0 ? remembered : closed);
    } catch (...) {
      reportCaught("RawExchange.finish");
      setCode(codes::GENERAL);
    }
  }

  TFiscalDevice& fEngine;
  TFDMisc& fMisc;
  std::string fMessage;
  std::vector<uint8_t> fAnswer;
};

bool passThrough(TFiscalDevice& engine, const std::string& inputText, Input kind, std::string* outputText) {
  if (outputText) outputText->clear();
  TErrContainer* err = engine.errContainer();
  if (!err) {
    if (engine.messageBox) engine.messageBox("Error container component not assigned. Please assign this component!");
    return false;
  }
  if (!engine.Misc()) {
    err->set_LastErrorCode(codes::NO_MISC);
    if (engine.messageBox) engine.messageBox(err->LastErrorMessage());
    return false;
  }
  std::lock_guard<std::recursive_mutex> guard(engine.lock());
  // As for customCommand: bytes written in the middle of a running command garble it.
  if (engine.busy()) {
    err->set_LastErrorCode(CODE_ENGINE_BUSY);
    return false;
  }
  RawExchange exchange(engine);
  if (!exchange.toBytes(inputText, kind)) {
    err->set_LastErrorCode(codes::GENERAL);
    return false;
  }
  return exchange.run(outputText != nullptr, outputText);
}

}  // namespace

bool ba_SumUp3G(TFiscalDevice& engine, const std::string& inputText, std::string& outputText) {
  return passThrough(engine, inputText, Input::Hex, &outputText);
}

bool ba_KT99_JPN_01(TFiscalDevice& engine, const std::string& inputText, std::string& outputText) {
  return passThrough(engine, inputText, Input::Hex, &outputText);
}

bool ba_KT99_JPN_02(TFiscalDevice& engine, const std::string& inputText, std::string& outputText) {
  return passThrough(engine, inputText, Input::Hex, &outputText);
}

bool ba_KT99_JPN_03(TFiscalDevice& engine, const std::string& inputText) {
  return passThrough(engine, inputText, Input::Text, nullptr);
}

bool ba_KT99_JPN_04(TFiscalDevice& engine, const std::string& inputText) {
  return passThrough(engine, inputText, Input::Hex, nullptr);
}

}  // namespace kestrel
