#pragma once
// The document checks of the journal page: a journal document carries the MD5 hash of
// its lines on the line before its last "{ logo }" line; the check hashes every line
// before the hash line (each ended by LF, code page 1250) and compares.
#include <optional>
#include <string>
#include <vector>

namespace kestrel {

class TFDMisc;

inline constexpr const char* LOGO_MARK = "{ logo }";
inline constexpr const char* TMP_VALIDATION_FILE = "tmpVal.txt";
inline constexpr const char* DOCUMENT_IS = "Document is ";
inline constexpr const char* DOCUMENT_VALID = "Document is VALID.";
inline constexpr const char* DOCUMENT_NOT_VALID = "Document is NOT VALID.";

struct TDocumentCheck {
  std::string printed;     // "Hash printed:"
  std::string calculated;  // "Hash calculated:"
  bool valid = false;
  // Documents in the text, each ended by its hash and "{ logo }" line; with more than
  // one, the check is of the last alone (its hash covers no other).
  int documents = 1;
  const char* resultText() const { return valid ? DOCUMENT_VALID : DOCUMENT_NOT_VALID; }
  // What the page and the command line show: the result, naming the document checked.
  std::string shownText() const;
};

enum class THashForm {
  Line,    // the journal text: the whole hash line without surrounding blanks
  Field1,  // a saved file: field 1 of the TAB-separated hash line
};

// btnValidateMd5Click's steps on `lines`: nothing for no lines. The hashed lines pass
// through `tmpFile` (removed on every way out). Throws when the "{ logo }" line is the
// first line or the file cannot be written or read.
std::optional<TDocumentCheck> checkDocument(const TFDMisc& misc, const std::vector<std::string>& lines,
                                            THashForm form, const std::string& tmpFile);

// A saved journal file's lines (code page 1250). Throws EFileError.
std::vector<std::string> readJournalFile(const std::string& path);

}  // namespace kestrel
