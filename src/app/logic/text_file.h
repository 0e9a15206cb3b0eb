#pragma once
// Plain text files of the pages: lines ended by CR LF, written in an 8-bit code page
// without a byte-order mark; read in UTF-8 or UTF-16 when a mark says so, otherwise in
// the same code page. Text is UTF-8 inside the program.
#include <cstdio>
#include <string>
#include <vector>

#include "support/files.h"

namespace kestrel {

// The 8-bit code page of these files. The platform has no system code page; the
// device's own keeps files written here readable by the device's other tools.
inline constexpr unsigned TEXT_FILE_CODE_PAGE = 1250;

// The file's bytes as UTF-8: a mark (EF BB BF, FF FE, FE FF) selects UTF-8, UTF-16 LE
// or UTF-16 BE and is dropped; otherwise the bytes are in `codePage`. Invalid sequences
// become U+FFFD.
std::string decodeTextBytes(const std::string& bytes, unsigned codePage);
// Lines split at CR LF, LF or CR; a break at the very end ends the last line.
std::vector<std::string> splitTextLines(const std::string& text);

// Each kind of file read by name, with a size far above any real file of its kind: a
// wrong file (a disk image, /dev/zero behind a link) is refused instead of filling memory.
struct TInputKind {
  std::size_t maxBytes;
  const char* name;
};
inline constexpr TInputKind ITEMS_CSV_INPUT{64u << 20, "items CSV file"};  // 100,000 items of ~200 bytes
inline constexpr TInputKind CLIENTS_CSV_INPUT{4u << 20, "clients CSV file"};  // 1,000 clients
inline constexpr TInputKind TABLE_CSV_INPUT{4u << 20, "table CSV file"};
inline constexpr TInputKind HEADER_TEXT_INPUT{64u << 10, "header and footer file"};  // 20 lines
inline constexpr TInputKind JOURNAL_INPUT{32u << 20, "journal document"};
inline constexpr TInputKind BACKUP_INPUT{128u << 20, "backup file"};
inline constexpr TInputKind PASSWORD_INPUT{4096, "password file"};

// Refuses an input before anything else is done (a device connected): throws EFileError
// when `path` exists and is no regular file or is larger than its kind allows.
inline void checkInputFile(const std::string& path, const TInputKind& kind) {
  checkRegularFile(path, false, kind.maxBytes, kind.name);
}

// The file's lines. Throws EFileError when it cannot be read.
std::vector<std::string> readTextLines(const std::string& path, unsigned codePage = TEXT_FILE_CODE_PAGE);
std::vector<std::string> readTextLines(const std::string& path, const TInputKind& kind,
                                       unsigned codePage = TEXT_FILE_CODE_PAGE);
// The lines of a file one at a time, as readTextLines splits them, without holding the
// file or its lines: an 8-bit file is read and converted in pieces. A file with a
// byte-order mark (rare: this program never writes one) is read whole. The lines are
// counted when the file is opened, for a progress bar. Throws EFileError.
class TTextLineReader {
 public:
  // Checks the file as readTextLines with `kind` does.
  TTextLineReader(const std::string& path, const TInputKind& kind, unsigned codePage = TEXT_FILE_CODE_PAGE);
  ~TTextLineReader();
  TTextLineReader(const TTextLineReader&) = delete;
  TTextLineReader& operator=(const TTextLineReader&) = delete;
  size_t lineCount() const { return fCount; }
  // The next line into `line`; false after the last one.
  bool next(std::string& line);

 private:
  // Reads the next piece into fBytes; false at the end of the file.
  bool fill();
  std::FILE* fFile = nullptr;
  unsigned fCodePage;
  std::string fPath;
  std::vector<std::string> fWhole;  // a file with a mark, read whole
  size_t fWholePos = 0;
  std::string fBytes;  // the piece being split, in the file's code page
  size_t fPos = 0;
  bool fSkipLF = false;  // the last line ended with CR: an LF right after it belongs to it
  size_t fCount = 0;
};

// Each line followed by CR LF, converted to `codePage` (characters it lacks become "?"),
// written through a temporary file and a rename. Throws EFileError.
void writeTextLines(const std::string& path, const std::vector<std::string>& lines,
                    unsigned codePage = TEXT_FILE_CODE_PAGE);
// The same for lines that hold passwords: the file is readable by its owner only.
void writePrivateTextLines(const std::string& path, const std::vector<std::string>& lines,
                           unsigned codePage = TEXT_FILE_CODE_PAGE);
// A long file written line by line as writeTextLines writes it: the lines are converted
// and handed to the file in pieces, so neither the text nor its bytes are ever held
// whole. Nothing replaces the old file before commit(); destroyed without it, the old
// file stays. Throws EFileError.
class TTextFileWriter {
 public:
  explicit TTextFileWriter(const std::string& path, unsigned codePage = TEXT_FILE_CODE_PAGE);
  // The line being built, in UTF-8.
  std::string& line() { return fText; }
  // Ends the line with CR LF.
  void endLine();
  void commit();

 private:
  void flush();
  TAtomicFile fFile;
  unsigned fCodePage;
  std::string fText, fBytes;
};

}  // namespace kestrel
