// Engine keys in the file beside the settings, the keyring left out or absent.
#include "search/engine_keys.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/ini_file.h"

namespace {

namespace fs = std::filesystem;

class EngineKeysFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/qb-engine-keys-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    folder_ = name;
    path_ = folder_ + "/config/engine-keys.ini";
  }
  void TearDown() override { fs::remove_all(folder_); }

  qb::EngineKeys Keys(bool keyring = false) {
    qb::EngineKeys::Options options;
    options.filePath = path_;
    options.keyring = keyring;
    options.warn = [this](const std::string& text) { warnings_.push_back(text); };
    return qb::EngineKeys(options);
  }

  unsigned Mode(const std::string& path) const {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
  }

  std::string folder_, path_;
  std::vector<std::string> warnings_;
};

TEST_F(EngineKeysFile, RoundTripAndRemoval) {
  const qb::EngineKeys keys = Keys();
  EXPECT_FALSE(keys.Get("Mirrors"));
  // Blanks and quotes at the ends are the key's own.
  const std::string odd = "\" a key, with = and ; \"";
  qb::KeyStored stored = keys.Set("Mirrors", odd);
  ASSERT_TRUE(stored.ok) << stored.problem;
  EXPECT_EQ(stored.where, qb::KeyPlace::File);
  ASSERT_TRUE(keys.Set("Other", "k2").ok);
  EXPECT_EQ(Mode(path_), 0600u);
  EXPECT_EQ(Mode(folder_ + "/config"), 0700u);
  EXPECT_EQ(keys.Get("Mirrors"), odd);
  EXPECT_EQ(keys.Get("mirrors"), odd);  // names compare without case
  EXPECT_EQ(keys.Lookup()("Other"), "k2");

  ASSERT_TRUE(keys.Set("mirrors", "replaced").ok);
  EXPECT_EQ(keys.Get("Mirrors"), "replaced");

  EXPECT_TRUE(keys.Remove("Mirrors"));
  EXPECT_FALSE(keys.Get("Mirrors"));
  EXPECT_EQ(keys.Get("Other"), "k2");
  EXPECT_EQ(Mode(path_), 0600u);
  EXPECT_TRUE(warnings_.empty());
}

TEST_F(EngineKeysFile, RemovingFromNoFileMakesNone) {
  EXPECT_TRUE(Keys().Remove("Mirrors"));
  EXPECT_FALSE(fs::exists(path_));
  EXPECT_FALSE(fs::exists(folder_ + "/config"));
}

TEST_F(EngineKeysFile, AFileOthersCanReadIsRefused) {
  const qb::EngineKeys keys = Keys();
  ASSERT_TRUE(keys.Set("Mirrors", "sekrit-value").ok);
  for (const unsigned mode : {0644u, 0640u, 0604u, 0620u}) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(chmod(path_.c_str(), mode), 0);
    warnings_.clear();
    EXPECT_FALSE(keys.Get("Mirrors"));
    ASSERT_EQ(warnings_.size(), 1u);
    EXPECT_NE(warnings_[0].find("chmod 600"), std::string::npos) << warnings_[0];
    EXPECT_EQ(warnings_[0].find("sekrit"), std::string::npos);

    const std::string before = qb::IniFileText(path_);
    const qb::KeyStored stored = keys.Set("Other", "second-sekrit");
    EXPECT_FALSE(stored.ok);
    EXPECT_NE(stored.problem.find("chmod 600"), std::string::npos) << stored.problem;
    EXPECT_FALSE(keys.Remove("Mirrors"));
    EXPECT_EQ(qb::IniFileText(path_), before);  // neither written nor re-moded
    EXPECT_EQ(Mode(path_), mode);
  }
  ASSERT_EQ(chmod(path_.c_str(), 0600), 0);
  EXPECT_EQ(keys.Get("Mirrors"), "sekrit-value");
}

TEST_F(EngineKeysFile, ALinkInTheFilesPlaceIsRefused) {
  const std::string target = folder_ + "/elsewhere.ini";
  qb::IniWriteFile(target, "[Keys]\nMirrors=\"planted\"\n");
  fs::create_directories(folder_ + "/config");
  fs::create_symlink(target, path_);
  const qb::EngineKeys keys = Keys();
  EXPECT_FALSE(keys.Get("Mirrors"));
  EXPECT_FALSE(keys.Set("Mirrors", "new").ok);
  EXPECT_EQ(qb::IniFileText(target), "[Keys]\nMirrors=\"planted\"\n");
}

TEST_F(EngineKeysFile, KeysAndNamesThatCannotBeKeptAreRefused) {
  const qb::EngineKeys keys = Keys();
  for (const std::string& key : {std::string(), std::string("two\nlines"), std::string("a\rb"),
                                 std::string("nul\0x", 5), std::string(5000, 'k')}) {
    const qb::KeyStored stored = keys.Set("Mirrors", key);
    EXPECT_FALSE(stored.ok);
    EXPECT_FALSE(stored.problem.empty());
  }
  for (const std::string& name :
       {std::string(), std::string("a=b"), std::string("[Keys]"), std::string(" padded"),
        std::string("line\nbreak"), std::string(100, 'n')}) {
    EXPECT_FALSE(keys.Set(name, "k").ok) << name;
    EXPECT_FALSE(keys.Get(name));
  }
  EXPECT_FALSE(fs::exists(path_));
}

TEST_F(EngineKeysFile, WritersAtOnceLoseNoKey) {
  const qb::EngineKeys keys = Keys();
  std::vector<std::thread> writers;
  constexpr int Count = 8;
  writers.reserve(Count);
  for (int i = 0; i < Count; ++i) {
    writers.emplace_back([&keys, i] {
      const std::string name = "Engine" + std::to_string(i);
      EXPECT_TRUE(keys.Set(name, "key-" + std::to_string(i)).ok);
    });
  }
  for (std::thread& t : writers) t.join();
  for (int i = 0; i < Count; ++i)
    EXPECT_EQ(keys.Get("Engine" + std::to_string(i)), "key-" + std::to_string(i));
}

// No session bus: the keyring is not asked (nor a bus launched), the file is used.
TEST_F(EngineKeysFile, NoSessionBusMeansTheFile) {
  const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string keptBus = bus ? bus : "", keptRuntime = runtime ? runtime : "";
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
  const qb::EngineKeys keys = Keys(true);
  const qb::KeyStored stored = keys.Set("Mirrors", "k");
  EXPECT_TRUE(stored.ok);
  EXPECT_EQ(stored.where, qb::KeyPlace::File);
  EXPECT_EQ(keys.Get("Mirrors"), "k");
  EXPECT_TRUE(keys.Remove("Mirrors"));
  EXPECT_FALSE(keys.Get("Mirrors"));
  if (bus) setenv("DBUS_SESSION_BUS_ADDRESS", keptBus.c_str(), 1);
  if (runtime)
    setenv("XDG_RUNTIME_DIR", keptRuntime.c_str(), 1);
  else
    unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
