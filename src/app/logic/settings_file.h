#pragma once
// The tool's own settings: four keys of section "SETTINGS" in "KESTREL_FBH.INI" in the
// per-user folder, the last connection and the window's place in sections of their own,
// and the folders the window works in.
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestrel {

inline constexpr const char* SETTINGS_FILE_NAME = "KESTREL_FBH.INI";
inline constexpr const char* SETTINGS_SECTION = "SETTINGS";
inline constexpr const char* CONNECTION_SECTION = "CONNECTION";
inline constexpr const char* WINDOW_SECTION = "WINDOW";

struct TFBHSettings {
  bool DelItemsOnZ = false;
  std::string delete_FromPLU = "1";
  std::string delete_ToPLU = "99999";
  std::string delete_ServicePass;
};

// The last connection, as the Connect page showed it.
struct TConnectionSettings {
  bool tcp = false;
  std::string comPort;  // the "COM port:" entry or a typed device path
  std::string speed;
  std::string address;
  std::string port;
};

// The window's place on the screen (its inner area, without the frame).
struct TWindowPlacement {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool maximized = false;
};

// Every save replaces the whole file through a temporary file, readable by its owner
// only (it holds the service password), and keeps every other section and key.
class TSettingsFile {
 public:
  explicit TSettingsFile(std::string path) : fPath(std::move(path)) {}
  const std::string& path() const { return fPath; }
  // Why the last save failed.
  const std::string& lastError() const { return fLastError; }

  // The four values; every key that is missing (or a file that is missing or cannot be
  // read) gives its default. "DelItemsOnZ" is true for any non-zero integer.
  TFBHSettings load() const;
  // Writes the four keys into section "SETTINGS". False on failure.
  bool save(const TFBHSettings& settings) const;

  // Nothing when the file has no such section.
  std::optional<TConnectionSettings> loadConnection() const;
  bool saveConnection(const TConnectionSettings& connection) const;
  // Nothing when the file has no such section or no size in it.
  std::optional<TWindowPlacement> loadWindow() const;
  bool saveWindow(const TWindowPlacement& placement) const;

 private:
  bool write(const char* section, const std::vector<std::pair<const char*, std::string>>& keys) const;

  std::string fPath;
  mutable std::string fLastError;
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
