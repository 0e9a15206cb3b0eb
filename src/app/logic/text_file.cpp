#include "app/logic/text_file.h"

#include <algorithm>
#include <cstdio>

#include "support/code_pages.h"
#include "support/files.h"
#include "support/utf8.h"

namespace kestrel {

namespace {

std::string validUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  size_t pos = 0;
  while (pos < bytes.size()) {
    char32_t cp = 0;
    if (!decodeUtf8(bytes, pos, cp)) cp = 0xFFFD;
    appendUtf8(out, cp);
  }
  return out;
}

std::string utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  std::string out;
  const auto unit = [&](size_t i) {
    const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
    return static_cast<char32_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
  };
  size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    char32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
      const char32_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    appendUtf8(out, u >= 0xD800 && u <= 0xDFFF ? 0xFFFD : u);
  }
  if (i < bytes.size()) appendUtf8(out, 0xFFFD);  // half a code unit at the end
  return out;
}

bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

}  // namespace

std::string decodeTextBytes(const std::string& bytes, unsigned codePage) {
  const std::string_view b(bytes);
  if (startsWith(b, "\xEF\xBB\xBF")) return validUtf8(b.substr(3));
  if (startsWith(b, "\xFF\xFE")) return utf16ToUtf8(b.substr(2), false);
  if (startsWith(b, "\xFE\xFF")) return utf16ToUtf8(b.substr(2), true);
  return codePageToUtf8(bytes, codePage);
}

std::vector<std::string> splitTextLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\r' && c != '\n') {
      line += c;
      continue;
    }
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    lines.push_back(std::move(line));
    line.clear();
  }
  if (!line.empty()) lines.push_back(std::move(line));
  return lines;
}

std::vector<std::string> readTextLines(const std::string& path, unsigned codePage) {
  return splitTextLines(decodeTextBytes(readWholeFile(path), codePage));
}

std::vector<std::string> readTextLines(const std::string& path, const TInputKind& kind, unsigned codePage) {
  return splitTextLines(decodeTextBytes(readWholeFile(path, kind.maxBytes, kind.name), codePage));
}

namespace {

constexpr size_t kReadPiece = 1 << 16;

// The line breaks in `piece` as next() splits: every CR, and every LF that does not end
// a CR LF; `before` is the byte before the piece. A plain loop over byte comparisons,
// which the compiler turns into wide ones.
size_t countBreaks(std::string_view piece, char before) {
  if (piece.empty()) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(piece.data());
  size_t n = (p[0] == '\r') | ((p[0] == '\n') & (before != '\r'));
  // Counted in runs short enough for a byte-wide sum.
  for (size_t i = 1; i < piece.size();) {
    const size_t end = std::min(piece.size(), i + 255);
    unsigned char run = 0;
    for (; i < end; ++i) run += static_cast<unsigned char>((p[i] == '\r') | ((p[i] == '\n') & (p[i - 1] != '\r')));
    n += run;
  }
  return n;
}

// The first CR or LF in [from, to), or `to`.
const char* lineEnd(const char* from, const char* to) {
  // Most bytes of a text are above CR: one comparison each.
  for (; from < to; ++from)
    if (static_cast<unsigned char>(*from) <= '\r' && (*from == '\r' || *from == '\n')) break;
  return from;
}

}  // namespace

TTextLineReader::TTextLineReader(const std::string& path, const TInputKind& kind, unsigned codePage)
    : fCodePage(codePage), fPath(path) {
  checkInputFile(path, kind);
  fFile = std::fopen(path.c_str(), "rb");
  char mark[3] = {};
  const size_t got = fFile ? std::fread(mark, 1, sizeof mark, fFile) : 0;
  const std::string_view head(mark, got);
  if (!fFile || std::ferror(fFile) || startsWith(head, "\xEF\xBB\xBF") || startsWith(head, "\xFF\xFE") ||
      startsWith(head, "\xFE\xFF")) {
    // The whole-file path reads these, and gives the errors their usual words.
    if (fFile) std::fclose(fFile);
    fFile = nullptr;
    fWhole = readTextLines(path, kind, codePage);
    fCount = fWhole.size();
    return;
  }
  // Counted as next() splits: CR LF, LF or CR end a line; a last line needs no break.
  // The file is read twice, but the second time from the system's cache, which costs
  // less than holding its lines.
  fCount = countBreaks(head, '\0');
  char last = head.empty() ? '\n' : head.back();
  fBytes.resize(kReadPiece);
  for (size_t n; (n = std::fread(fBytes.data(), 1, kReadPiece, fFile)) > 0; last = fBytes[n - 1])
    fCount += countBreaks(std::string_view(fBytes.data(), n), last);
  if (std::ferror(fFile)) {
    std::fclose(fFile);
    fFile = nullptr;
    throw EFileError("Cannot read file \"" + path + "\"");
  }
  if (last != '\r' && last != '\n') ++fCount;
  std::rewind(fFile);
  fBytes.clear();
}

TTextLineReader::~TTextLineReader() {
  if (fFile) std::fclose(fFile);
}

bool TTextLineReader::fill() {
  if (!fFile) return false;
  fBytes.resize(kReadPiece);
  const size_t n = std::fread(fBytes.data(), 1, kReadPiece, fFile);
  fBytes.resize(n);
  fPos = 0;
  if (n == 0 && std::ferror(fFile)) throw EFileError("Cannot read file \"" + fPath + "\"");
  return n > 0;
}

bool TTextLineReader::next(std::string& line) {
  if (!fFile) {
    if (fWholePos >= fWhole.size()) return false;
    line = std::move(fWhole[fWholePos++]);
    return true;
  }
  line.clear();
  for (;;) {
    if (fPos >= fBytes.size() && !fill()) return !line.empty();
    if (fSkipLF) {
      fSkipLF = false;
      if (fBytes[fPos] == '\n') ++fPos;
      continue;
    }
    // An 8-bit code page converts byte by byte, and CR and LF are themselves in it: the
    // line is found among the bytes and only its bytes are converted.
    const char* from = fBytes.data() + fPos;
    const char* to = fBytes.data() + fBytes.size();
    const char* end = lineEnd(from, to);
    appendCodePageAsUtf8(line, std::string_view(from, static_cast<size_t>(end - from)), fCodePage);
    if (end == to) {
      fPos = fBytes.size();
      continue;
    }
    fSkipLF = *end == '\r';
    fPos = static_cast<size_t>(end - fBytes.data()) + 1;
    return true;
  }
}

namespace {
// Joined first and converted once: a file of many lines costs two allocations.
std::string textFileBytes(const std::vector<std::string>& lines, unsigned codePage) {
  std::size_t size = 0;
  for (const auto& line : lines) size += line.size() + 2;
  std::string text;
  text.reserve(size);
  for (const auto& line : lines) {
    text += line;
    text += "\r\n";
  }
  return utf8ToCodePage(text, codePage);
}
}  // namespace

void writeTextLines(const std::string& path, const std::vector<std::string>& lines, unsigned codePage) {
  writeFileAtomically(path, textFileBytes(lines, codePage));
}

void writePrivateTextLines(const std::string& path, const std::vector<std::string>& lines, unsigned codePage) {
  writePrivateFileAtomically(path, textFileBytes(lines, codePage));
}

namespace {
// Lines are converted and written in pieces of about this many bytes: large enough that
// the calls cost nothing, small enough to stay in the processor's cache.
constexpr std::size_t WRITER_PIECE = 256 * 1024;
}  // namespace

TTextFileWriter::TTextFileWriter(const std::string& path, unsigned codePage) : fFile(path), fCodePage(codePage) {
  fText.reserve(WRITER_PIECE + 4096);
  fBytes.reserve(WRITER_PIECE + 4096);
}

void TTextFileWriter::endLine() {
  fText += "\r\n";
  if (fText.size() >= WRITER_PIECE) flush();
}

void TTextFileWriter::flush() {
  fBytes.clear();
  appendInCodePage(fBytes, fText, fCodePage);
  fText.clear();
  fFile.write(fBytes);
}

void TTextFileWriter::commit() {
  flush();
  fFile.commit();
}

}  // namespace kestrel
