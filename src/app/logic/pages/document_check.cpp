#include "app/logic/pages/document_check.h"

#include <filesystem>
#include <stdexcept>

#include "app/logic/field_helpers.h"
#include "engine/status_bytes.h"
#include "app/logic/pages/journal.h"
#include "app/logic/text_file.h"
#include "support/fd_misc.h"

namespace kestrel {

namespace {

// Removes the file on every way out of the check.
struct RemovedAtEnd {
  explicit RemovedAtEnd(std::string p) : path(std::move(p)) {}
  ~RemovedAtEnd() {
    std::error_code ec;
    std::filesystem::remove(path, ec);
  }
  std::string path;
};

}  // namespace

std::optional<TDocumentCheck> checkDocument(const TFDMisc& misc, const std::vector<std::string>& lines,
                                            THashForm form, const std::string& tmpFile) {
  if (lines.empty()) return std::nullopt;
  RemovedAtEnd removed(tmpFile);
  // Without a "{ logo }" line the first line stands for the hash and nothing is hashed.
  long logo = 1;
  for (long i = static_cast<long>(lines.size()) - 1; i >= 0; --i)
    if (lines[static_cast<size_t>(i)].find(LOGO_MARK) != std::string::npos) {
      logo = i;
      break;
    }
  if (logo == 0) throw std::out_of_range("The \"{ logo }\" line is the first line: no hash line stands before it.");
  const std::string& hashLine = lines[static_cast<size_t>(logo - 1)];
  TDocumentCheck check;
  check.printed = form == THashForm::Line ? trimBlanks(hashLine) : get_FieldByIndex('\t', 1, hashLine);
  const std::vector<std::string> hashed(lines.begin(), lines.begin() + (logo - 1));
  writeJournalFile(tmpFile, hashed);
  check.calculated = misc.md5File(tmpFile);
  check.valid = !check.calculated.empty() && check.printed == check.calculated;
  return check;
}

std::vector<std::string> readJournalFile(const std::string& path) { return readTextLines(path, JOURNAL_INPUT, 1250); }

}  // namespace kestrel
