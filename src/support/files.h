#pragma once
// File helpers. Every file written here goes to a temporary file in the same folder
// that is renamed over the target, so a failed write leaves the old file intact.
// Files are read and written by name only when they are regular files: a FIFO would
// block for ever, a device such as /dev/zero never ends, and renaming over a device
// node or a FIFO would replace it with a plain file.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kestrel {

// A file that cannot be opened, read or written ("the platform's file error").
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The one check of a file's type. Throws EFileError when `path` exists and is no
// regular file (a folder, FIFO, socket or device), judged by what a symbolic link
// points to, or is larger than `maxBytes` (the message says that no `kind` is that
// large); with `mustExist` also when it does not exist.
void checkRegularFile(const std::string& path, bool mustExist = false, std::size_t maxBytes = SIZE_MAX,
                      const std::string& kind = "file");

// The file an output named `path` goes to: a symbolic link is followed to the regular
// file it names (the link stays a link), anything else is `path` itself. Throws
// EFileError for a target that exists and is no regular file, or a link to nothing.
std::string outputTarget(const std::string& path);

// A file written piece by piece: the pieces go to a temporary file in the same folder,
// commit() makes it durable and renames it over `path`. Destroyed without a commit (a
// failed write, an exception while building the rest), the temporary file is removed
// and the old file is left as it was. `mode` < 0 keeps the old file's permissions. The
// target is outputTarget(path): a link is followed, a special file refused.
class TAtomicFile {
 public:
  explicit TAtomicFile(std::string path, int mode = -1);
  ~TAtomicFile();
  TAtomicFile(const TAtomicFile&) = delete;
  TAtomicFile& operator=(const TAtomicFile&) = delete;
  // Throws EFileError.
  void write(std::string_view data);
  void commit();

 private:
  std::string fPath, fTemp;
  int fMode;
  int fFd = -1;
};

// Writes `content` as the whole file. Throws EFileError on failure.
void writeFileAtomically(const std::string& path, const std::string& content);
// The same with the file's permissions set to `mode` (0600 for a file that holds a
// password), whatever the old file had; the file never exists with other permissions.
void writeFileAtomically(const std::string& path, const std::string& content, int mode);
// A file that holds passwords: readable by its owner only (0600).
inline void writePrivateFileAtomically(const std::string& path, const std::string& content) {
  writeFileAtomically(path, content, 0600);
}
// Appends `text` to the file (creating it) by writing old content plus text to a
// temporary file and renaming it. Throws EFileError on failure.
void appendFileAtomically(const std::string& path, const std::string& text);
// Copies `source` over `destination` through a temporary file. Throws EFileError.
void copyFileAtomically(const std::string& source, const std::string& destination);
// Creates a file that did not exist with `content`; false when `path` is taken or the
// file cannot be created or written.
bool createNewFile(const std::string& path, const std::string& content);
// No file read whole by name is larger than this unless its kind says so.
inline constexpr std::size_t MAX_READ_FILE_BYTES = 256u << 20;
// The whole file; throws EFileError when it cannot be opened or read, is no regular
// file, or is larger than `maxBytes` (the message says that no `kind` is that large).
std::string readWholeFile(const std::string& path, std::size_t maxBytes = MAX_READ_FILE_BYTES,
                          const std::string& kind = "file");

// The first line of a file that holds a secret (a password file), which only its owner
// may read: on POSIX no group or other read bit, on Windows no entry of its access list
// that lets Everyone, Users or Authenticated Users read it. On POSIX a pipe is taken too
// (`<(pass show kt)`): read once, waiting at most `pipeWaitMs` for the line. A UTF-8
// byte-order mark and the line end are not part of the line. Throws EFileError whose
// text follows the file's name ("can be read by others ..."); `what` names the secret
// in it ("password"), `maxBytes` is the most the line may take.
std::string readPrivateFirstLine(const std::string& path, std::size_t maxBytes, int pipeWaitMs,
                                 const std::string& what);

// Windows-style file mask ("*.txt", "data?.csv"; "*.*" and a blank mask match every
// name) against a file name.
bool matchesFileMask(const std::string& mask, const std::string& fileName);

// Every file below `sourcePath` (all subfolders) that matches `mask` is copied into
// `destinationPath` under its own name, replacing files there. False when the source is
// no folder or a copy failed (the other files are still copied).
bool copyAllFromTo(const std::string& sourcePath, const std::string& destinationPath, const std::string& mask);

// Deletes the files of `directory` that match `mask`; with `deleteSubDirs` also the
// matching files of every subfolder and the subfolders left empty by that. False when
// the folder does not exist or something could not be deleted.
bool deleteFilesFromDir(const std::string& directory, const std::string& mask, bool deleteSubDirs);

// The program file of this process (/proc/self/exe; GetModuleFileNameW on Windows).
std::string programFilePath();

}  // namespace kestrel
