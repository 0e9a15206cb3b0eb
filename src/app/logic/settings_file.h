#pragma once
// The tool's own settings: four keys of section "SETTINGS" in "KESTREL_FBH.INI" in the
// per-user folder, and the folders the window works in.
#include <string>

namespace kestrel {

inline constexpr const char* SETTINGS_FILE_NAME = "KESTREL_FBH.INI";
inline constexpr const char* SETTINGS_SECTION = "SETTINGS";

struct TFBHSettings {
  bool DelItemsOnZ = false;
  std::string delete_FromPLU = "1";
  std::string delete_ToPLU = "99999";
  std::string delete_ServicePass;
};

class TSettingsFile {
 public:
  explicit TSettingsFile(std::string path) : fPath(std::move(path)) {}
  const std::string& path() const { return fPath; }

  // The four values; every key that is missing (or a file that is missing or cannot be
  // read) gives its default. "DelItemsOnZ" is true for any non-zero integer.
  TFBHSettings load() const;
  // Writes the four keys into section "SETTINGS", keeping every other section and key of
  // the file; the file is replaced through a temporary file. False on failure.
  bool save(const TFBHSettings& settings) const;

 private:
  std::string fPath;
};

// `base` (the per-user application-data or documents folder) followed by the tool's
// folder "Kestrel/FBH/".
std::string toolFolderIn(const std::string& base);
// The user's documents folder: XDG_DOCUMENTS_DIR when set, else ~/Documents
// (USERPROFILE when set stands for the home folder). Empty when none is known.
std::string documentsBase();

// A "From PLU:" / "To PLU:" text: kept when it is an integer from 0 to 100000, else
// `fallback`.
std::string checkedPLUText(const std::string& text, const std::string& fallback);

}  // namespace kestrel
