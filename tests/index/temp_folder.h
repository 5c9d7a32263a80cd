#pragma once
// A fresh folder under the system's temporary folder, removed with its contents.
#include <cstdlib>
#include <filesystem>
#include <string>

namespace qbtest {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qb-index-XXXXXX").string();
    path_ = mkdtemp(pattern.data()) ? pattern + "/" : std::string();
  }
  ~TempFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace qbtest
