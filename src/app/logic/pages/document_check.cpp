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
  // The last document begins after the "{ logo }" line that ends the one before it.
  long begin = 0;
  for (long i = logo - 2; i >= 0; --i)
    if (lines[static_cast<size_t>(i)].find(LOGO_MARK) != std::string::npos) {
      if (begin == 0) begin = i + 1;
      ++check.documents;
    }
  auto hashOf = [&](long from) {
    writeJournalFile(tmpFile, {lines.begin() + from, lines.begin() + (logo - 1)});
    return misc.md5File(tmpFile);
  };
  check.calculated = hashOf(0);
  check.valid = !check.calculated.empty() && check.printed == check.calculated;
  if (!check.valid && check.documents > 1) {
    // Several documents read at once: the whole text hashes to no printed hash.
    check.calculated = hashOf(begin);
    check.valid = !check.calculated.empty() && check.printed == check.calculated;
  } else {
    check.documents = 1;
  }
  return check;
}

std::string TDocumentCheck::shownText() const {
  if (documents <= 1) return resultText();
  return std::string(valid ? "Document is VALID" : "Document is NOT VALID") + ": the last of the " +
         std::to_string(documents) + " documents shown (each document is checked alone).";
}

std::vector<std::string> readJournalFile(const std::string& path) { return readTextLines(path, JOURNAL_INPUT, 1250); }

}  // namespace kestrel
