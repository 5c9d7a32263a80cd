#include "core/program_folders.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "core/ini_file.h"
#include "core/settings.h"

using namespace qb;
namespace fs = std::filesystem;

namespace {

class ProgramFoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qb-folders-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = std::string(tmpl) + "/";
    setenv("XDG_CONFIG_HOME", (root_ + "config").c_str(), 1);
    if (const char* home = getenv("HOME")) home_ = home;
  }
  void TearDown() override {
    unsetenv("XDG_CONFIG_HOME");
    ConfigDir.clear();
    SharedDir.clear();
    std::error_code ignored;
    fs::permissions(root_ + "portable", fs::perms::owner_all, ignored);
    if (!home_.empty()) setenv("HOME", home_.c_str(), 1);
    fs::remove_all(root_);
  }
  std::string root_;
  std::string home_;
};

TEST_F(ProgramFoldersTest, BuildTreeKeepsEverythingBesideTheProgram) {
  const std::string bin = root_ + "build/bin/";
  fs::create_directories(bin);
  std::ofstream(bin + ResourceLibraryName) << "x";
  const ProgramFolders found = LocateProgramFolders(bin);
  EXPECT_EQ(found.resources, bin);
  EXPECT_EQ(found.shared, bin);
  EXPECT_EQ(found.config, bin);
}

TEST_F(ProgramFoldersTest, InstallTreeUsesLibShareAndTheUsersConfigFolder) {
  const std::string bin = root_ + "usr/bin/";
  fs::create_directories(bin);
  fs::create_directories(root_ + "usr/lib/quillbrook");
  std::ofstream(root_ + "usr/lib/quillbrook/" + ResourceLibraryName) << "x";
  const ProgramFolders found = LocateProgramFolders(bin);
  EXPECT_EQ(found.resources, bin + "../lib/quillbrook/");
  EXPECT_EQ(found.shared, bin + "../share/quillbrook/");
  EXPECT_EQ(found.config, root_ + "config/quillbrook/");
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(UserConfigFolder(), "/home/someone/.config/quillbrook/");
}

TEST_F(ProgramFoldersTest, TheIndexFolderFollowsXdgDataHomeElseHome) {
  const char* savedData = getenv("XDG_DATA_HOME");
  const std::string saved = savedData ? savedData : "";
  setenv("XDG_DATA_HOME", "/tmp/qb-data", 1);
  EXPECT_EQ(UserDataFolder(), "/tmp/qb-data/quillbrook/");
  setenv("XDG_DATA_HOME", "relative", 1);  // not absolute: ignored, as the rules say
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(UserDataFolder(), "/home/someone/.local/share/quillbrook/");
  // The configuration keeps to its own variable.
  EXPECT_EQ(UserConfigFolder(), root_ + "config/quillbrook/");
  if (savedData) {
    setenv("XDG_DATA_HOME", saved.c_str(), 1);
  } else {
    unsetenv("XDG_DATA_HOME");
  }
}

// Without HOME the folders come from the password database, never from a
// folder every user shares.
TEST_F(ProgramFoldersTest, WithoutHomeTheUsersOwnFolderIsUsedNeverTmp) {
  const char* savedData = getenv("XDG_DATA_HOME");
  const std::string saved = savedData ? savedData : "";
  unsetenv("XDG_DATA_HOME");
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("HOME");
  const passwd* entry = getpwuid(getuid());
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(HomeFolder(), entry->pw_dir);
  EXPECT_EQ(UserDataFolder(), std::string(entry->pw_dir) + "/.local/share/quillbrook/");
  EXPECT_EQ(UserConfigFolder().rfind("/tmp/", 0), std::string::npos) << UserConfigFolder();
  if (savedData) setenv("XDG_DATA_HOME", saved.c_str(), 1);
}

// What the program writes holds search terms and passwords: new folders and
// files are the user's alone, and a link in a file's place is not written through.
TEST_F(ProgramFoldersTest, NewFoldersAndFilesAreTheUsersAloneAndLinksAreNotFollowed) {
  const std::string file = root_ + "made/deeper/FTP-ZEVO.ini";
  ASSERT_TRUE(MakeParentFolder(file));
  for (const std::string& folder : {root_ + "made", root_ + "made/deeper"}) {
    EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all) << folder;
  }
  ASSERT_TRUE(IniWriteFile(file, "[Config]\n"));
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  // Links planted where the file and its aside copy go.
  const std::string target = root_ + "elsewhere";
  std::ofstream(target) << "theirs";
  fs::remove(file);
  fs::create_symlink(target, file);
  fs::create_symlink(target, file + ".new");
  ASSERT_TRUE(IniWriteFile(file, "[Config]\nMinConnect=3\n"));
  EXPECT_FALSE(fs::is_symlink(file));
  std::ifstream theirs(target);
  std::string text;
  std::getline(theirs, text);
  EXPECT_EQ(text, "theirs");
}

TEST_F(ProgramFoldersTest, PortableCopyInAReadOnlyFolderKeepsSettingsWithTheUser) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  const std::string bin = root_ + "portable/";
  fs::create_directories(bin);
  std::ofstream(bin + ResourceLibraryName) << "x";
  chmod(bin.c_str(), 0555);
  const ProgramFolders found = LocateProgramFolders(bin);
  EXPECT_EQ(found.resources, bin);
  EXPECT_EQ(found.config, root_ + "config/quillbrook/");
}

// Settings go where they are kept, their folder made on the first write; a place
// that cannot be written says so and leaves the settings in effect.
TEST_F(ProgramFoldersTest, SettingsAreWrittenIntoANewFolderOrReportedUnwritable) {
  ConfigDir = root_ + "config/quillbrook/";
  Settings.MinConnect = 12;
  ASSERT_TRUE(SaveSettings());
  EXPECT_EQ(IniReadString(ConfigDir + SettingsFileName, "Config", "MinConnect", "", 39), "12");

  std::ofstream(root_ + "a-file") << "x";
  ConfigDir = root_ + "a-file/quillbrook/";  // a folder under a file: no one can make it
  Settings.MinConnect = 13;
  EXPECT_FALSE(SaveSettings());
  EXPECT_EQ(Settings.MinConnect, 13);
  EXPECT_FALSE(fs::exists(ConfigDir));
}

// A disk that fills while the settings are written (a file size limit in a
// child stands in for it) fails the save and leaves the previous file whole.
TEST_F(ProgramFoldersTest, SettingsOnAFullDiskFailAndKeepThePreviousFile) {
  ConfigDir = root_ + "config/quillbrook/";
  Settings.MinConnect = 12;
  ASSERT_TRUE(SaveSettings());
  const std::string path = ConfigDir + SettingsFileName;
  const auto before = fs::file_size(path);
  ASSERT_GT(before, 64u);

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64, 64};
    setrlimit(RLIMIT_FSIZE, &limit);
    Settings.MinConnect = 14;
    _exit(SaveSettings() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the save reported success";
  EXPECT_EQ(fs::file_size(path), before);
  EXPECT_EQ(IniReadString(path, "Config", "MinConnect", "", 39), "12");
  EXPECT_FALSE(fs::exists(path + ".new"));
}

}  // namespace
