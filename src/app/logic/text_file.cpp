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
  bool afterCR = false, open = false;
  auto count = [&](std::string_view piece) {
    if (piece.empty()) return;
    // Each CR and each LF ends a line, but a LF right after a CR ends the same one;
    // counted with std::count, which goes through the bytes many at a time.
    fCount += static_cast<size_t>(std::count(piece.begin(), piece.end(), '\r') +
                                  std::count(piece.begin(), piece.end(), '\n'));
    if (afterCR && piece.front() == '\n') --fCount;
    for (size_t cr = piece.find('\r'); cr != std::string_view::npos && cr + 1 < piece.size(); cr = piece.find('\r', cr + 1))
      if (piece[cr + 1] == '\n') --fCount;
    afterCR = piece.back() == '\r';
    open = piece.back() != '\r' && piece.back() != '\n';
  };
  count(head);
  fBytes.resize(kReadPiece);
  for (size_t n; (n = std::fread(fBytes.data(), 1, kReadPiece, fFile)) > 0;) count(std::string_view(fBytes.data(), n));
  if (std::ferror(fFile)) {
    std::fclose(fFile);
    fFile = nullptr;
    throw EFileError("Cannot read file \"" + path + "\"");
  }
  if (open) ++fCount;
  std::rewind(fFile);
}

TTextLineReader::~TTextLineReader() {
  if (fFile) std::fclose(fFile);
}

bool TTextLineReader::fill() {
  if (!fFile) return false;
  fBytes.resize(kReadPiece);
  const size_t n = std::fread(fBytes.data(), 1, kReadPiece, fFile);
  if (n == 0) {
    if (std::ferror(fFile)) throw EFileError("Cannot read file \"" + fPath + "\"");
    return false;
  }
  fBytes.resize(n);
  // An 8-bit code page converts byte by byte, so a piece converts on its own.
  fText.erase(0, fPos);
  fPos = 0;
  appendCodePageAsUtf8(fText, fBytes, fCodePage);
  return true;
}

bool TTextLineReader::next(std::string& line) {
  if (!fFile && fWhole.empty() && fText.empty()) return false;
  if (!fWhole.empty() || !fFile) {
    if (fWholePos >= fWhole.size()) return false;
    line = std::move(fWhole[fWholePos++]);
    return true;
  }
  line.clear();
  for (;;) {
    if (fPos >= fText.size() && !fill()) return !line.empty();
    if (fSkipLF) {
      fSkipLF = false;
      if (fText[fPos] == '\n') ++fPos;
      continue;
    }
    const size_t end = fText.find_first_of("\r\n", fPos);
    if (end == std::string::npos) {
      line.append(fText, fPos, std::string::npos);
      fPos = fText.size();
      continue;
    }
    line.append(fText, fPos, end - fPos);
    fSkipLF = fText[end] == '\r';
    fPos = end + 1;
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
