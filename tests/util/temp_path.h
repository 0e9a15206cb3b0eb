#pragma once
// A file name of this test run in the temporary folder, removed at the end, and a
// file's bytes.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace kestrel::test {

struct TempPath {
  explicit TempPath(const std::string& extension = ".csv") {
    static int n = 0;
    path = (std::filesystem::temp_directory_path() /
            ("kestrel_test_" + std::to_string(::getpid()) + "_" + std::to_string(n++) + extension))
               .string();
  }
  ~TempPath() {
    std::error_code ec;
    std::filesystem::remove(path, ec);
  }
  TempPath(const TempPath&) = delete;
  TempPath& operator=(const TempPath&) = delete;
  std::string path;
};

// A folder of this test in the temporary folder, removed with everything in it.
struct TempFolder {
  TempFolder() {
    // A name no other folder has, made by the call that creates it (as mkdtemp does,
    // which Windows lacks); private to the user, as mkdtemp's folders are.
    static int n = 0;
    std::random_device random;
    for (;;) {
      const auto p = std::filesystem::temp_directory_path() /
                     ("kestrel_test_" + std::to_string(::getpid()) + "_" + std::to_string(n++) + "_" +
                      std::to_string(random() % 1000000));
      if (std::filesystem::create_directory(p)) {
        std::filesystem::permissions(p, std::filesystem::perms::owner_all, std::filesystem::perm_options::replace);
        path = p.string();
        return;
      }
    }
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::string file(const std::string& name) const { return path + "/" + name; }
  std::string path;
};

inline std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace kestrel::test
