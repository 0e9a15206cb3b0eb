#include "support_cli.h"

#include <cctype>
#include <sstream>
#include <stdexcept>

#include "cli/cli.h"
#include "support/utf8.h"

namespace kestrel::clitest {

CliRun runCli(const std::vector<std::string>& args) {
  std::vector<std::string> words{"kestrel"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  std::ostringstream out, err;
  CliRun r;
  r.status = cli::run(static_cast<int>(words.size()), argv.data(), out, err);
  r.out = out.str();
  r.err = err.str();
  return r;
}

bool Json::has(const std::string& key) const {
  for (const auto& m : members)
    if (m.first == key) return true;
  return false;
}

const Json& Json::operator[](const std::string& key) const {
  for (const auto& m : members)
    if (m.first == key) return m.second;
  throw std::runtime_error("no member " + key);
}

std::vector<std::string> Json::keys() const {
  std::vector<std::string> k;
  for (const auto& m : members) k.push_back(m.first);
  return k;
}

std::vector<std::string> Json::strings() const {
  std::vector<std::string> s;
  for (const Json& j : items) {
    if (j.type != String) throw std::runtime_error("not a string array");
    s.push_back(j.text);
  }
  return s;
}

namespace {

struct Reader {
  const std::string& s;
  size_t p = 0;

  [[noreturn]] void fail(const std::string& why) const {
    throw std::runtime_error("JSON: " + why + " at " + std::to_string(p));
  }
  void ws() {
    while (p < s.size() && (s[p] == ' ' || s[p] == '\t' || s[p] == '\n' || s[p] == '\r')) ++p;
  }
  void expect(char c) {
    if (p >= s.size() || s[p] != c) fail(std::string("expected ") + c);
    ++p;
  }
  bool literal(const char* word) {
    const std::string w = word;
    if (s.compare(p, w.size(), w) != 0) return false;
    p += w.size();
    return true;
  }
  unsigned hex4() {
    if (p + 4 > s.size()) fail("short \\u");
    unsigned v = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = s[p++];
      v <<= 4;
      if (c >= '0' && c <= '9') v |= c - '0';
      else if (c >= 'a' && c <= 'f') v |= c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') v |= c - 'A' + 10;
      else fail("bad hex digit");
    }
    return v;
  }
  // Raw bytes must be valid UTF-8 and no control characters.
  void rawChar(std::string& out) {
    const auto b = static_cast<unsigned char>(s[p]);
    if (b < 0x20) fail("raw control character");
    int len = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 0 || p + len > s.size()) fail("invalid UTF-8");
    unsigned cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    for (int i = 1; i < len; ++i) {
      const auto c = static_cast<unsigned char>(s[p + i]);
      if ((c & 0xC0) != 0x80) fail("invalid UTF-8");
      cp = (cp << 6) | (c & 0x3F);
    }
    static const unsigned minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) fail("invalid UTF-8");
    out.append(s, p, len);
    p += len;
  }
  std::string string() {
    expect('"');
    std::string out;
    for (;;) {
      if (p >= s.size()) fail("open string");
      const char c = s[p];
      if (c == '"') {
        ++p;
        return out;
      }
      if (c != '\\') {
        rawChar(out);
        continue;
      }
      ++p;
      if (p >= s.size()) fail("open escape");
      const char e = s[p++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          unsigned cp = hex4();
          if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (!literal("\\u")) fail("lone high surrogate");
            const unsigned lo = hex4();
            if (lo < 0xDC00 || lo > 0xDFFF) fail("bad low surrogate");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
          } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            fail("lone low surrogate");
          }
          appendUtf8(out, cp);
          break;
        }
        default: fail("bad escape");
      }
    }
  }
  Json value() {
    ws();
    Json j;
    if (p >= s.size()) fail("no value");
    const char c = s[p];
    if (c == '{') {
      ++p;
      j.type = Json::Object;
      ws();
      if (p < s.size() && s[p] == '}') {
        ++p;
        return j;
      }
      for (;;) {
        ws();
        std::string k = string();
        ws();
        expect(':');
        j.members.emplace_back(std::move(k), value());
        ws();
        if (p < s.size() && s[p] == ',') {
          ++p;
          continue;
        }
        expect('}');
        return j;
      }
    }
    if (c == '[') {
      ++p;
      j.type = Json::Array;
      ws();
      if (p < s.size() && s[p] == ']') {
        ++p;
        return j;
      }
      for (;;) {
        j.items.push_back(value());
        ws();
        if (p < s.size() && s[p] == ',') {
          ++p;
          continue;
        }
        expect(']');
        return j;
      }
    }
    if (c == '"') {
      j.type = Json::String;
      j.text = string();
      return j;
    }
    if (literal("true")) {
      j.type = Json::Bool;
      j.boolean = true;
      return j;
    }
    if (literal("false")) {
      j.type = Json::Bool;
      return j;
    }
    if (literal("null")) return j;
    const size_t start = p;
    if (p < s.size() && s[p] == '-') ++p;
    if (p >= s.size() || !std::isdigit(static_cast<unsigned char>(s[p]))) fail("bad value");
    if (s[p] == '0' && p + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[p + 1]))) fail("leading zero");
    while (p < s.size() && (std::isdigit(static_cast<unsigned char>(s[p])) || s[p] == '.' || s[p] == 'e' ||
                            s[p] == 'E' || s[p] == '+' || s[p] == '-'))
      ++p;
    j.type = Json::Number;
    j.number = std::stod(s.substr(start, p - start));
    return j;
  }
};

}  // namespace

Json parseJson(const std::string& text) {
  Reader r{text};
  Json j = r.value();
  r.ws();
  if (r.p != text.size()) r.fail("trailing text");
  return j;
}

}  // namespace kestrel::clitest
