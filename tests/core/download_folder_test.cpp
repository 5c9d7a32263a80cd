#include "core/download_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>

using namespace qb;

namespace {

// HOME and XDG_CONFIG_HOME pointed at a folder of the test's own.
class DownloadFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qb-downloads-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    home_ = tmpl;
    Keep("HOME", home_);
    Keep("XDG_CONFIG_HOME", home_ + "/config");
    ASSERT_EQ(mkdir((home_ + "/config").c_str(), 0700), 0);
  }
  void TearDown() override {
    std::remove(Dirs().c_str());
    rmdir((home_ + "/config").c_str());
    rmdir(home_.c_str());
    for (const auto& [name, value] : kept_) {
      if (value.second)
        setenv(name.c_str(), value.first.c_str(), 1);
      else
        unsetenv(name.c_str());
    }
    SetDownloadFolder("");
  }
  void Keep(const std::string& name, const std::string& value) {
    const char* old = getenv(name.c_str());
    kept_[name] = {old ? old : "", old != nullptr};
    setenv(name.c_str(), value.c_str(), 1);
  }
  std::string Dirs() const { return home_ + "/config/user-dirs.dirs"; }
  void WriteDirs(const std::string& text) { std::ofstream(Dirs()) << text; }

  std::string home_;
  std::map<std::string, std::pair<std::string, bool>> kept_;
};

TEST_F(DownloadFolderTest, TheDesktopsFolderElseDownloadsUnderHome) {
  EXPECT_EQ(DownloadFolder(), home_ + "/Downloads");
  WriteDirs(
      "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
      "XDG_DOWNLOAD_DIR=\"$HOME/T\\\"el\\\"echargements/\"\n");
  EXPECT_EQ(DownloadFolder(), home_ + "/T\"el\"echargements");
  WriteDirs("XDG_DOWNLOAD_DIR=\"/srv/incoming\"\n");
  EXPECT_EQ(DownloadFolder(), "/srv/incoming");
  // The home folder itself, a relative path or a line cut short say nothing.
  for (const char* unusable :
       {"XDG_DOWNLOAD_DIR=\"$HOME/\"\n", "XDG_DOWNLOAD_DIR=\"incoming\"\n",
        "XDG_DOWNLOAD_DIR=\"$HOME/cut\n", "XDG_DOWNLOAD_DIR=\"$HOMEWARD\"\n"}) {
    WriteDirs(unusable);
    EXPECT_EQ(DownloadFolder(), home_ + "/Downloads") << unusable;
  }
  SetDownloadFolder("/data/ftp");
  EXPECT_EQ(DownloadFolder(), "/data/ftp");
  EXPECT_EQ(DesktopDownloadFolder(), home_ + "/Downloads");
}

}  // namespace
