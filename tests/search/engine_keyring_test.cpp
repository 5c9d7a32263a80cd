// Engine keys in a real Secret Service: a gnome-keyring of the test's own on
// the session bus dbus-run-session gives this binary.
#include <gtest/gtest.h>
#include <libsecret/secret.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/ini_file.h"
#include "search/engine_keys.h"
#include "tests/support/test_keyring.h"

namespace {

namespace fs = std::filesystem;

// The keyring's own view, for what the code under test should have left there.
int ItemsFor(const char* engine) {
  SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, nullptr);
  if (!service) return -1;
  GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
  g_hash_table_insert(attributes, const_cast<char*>("engine"), const_cast<char*>(engine));
  GList* items =
      secret_service_search_sync(service, nullptr, attributes, SECRET_SEARCH_ALL, nullptr, nullptr);
  const int count = static_cast<int>(g_list_length(items));
  g_list_free_full(items, g_object_unref);
  g_hash_table_unref(attributes);
  g_object_unref(service);
  return count;
}

bool LockDefaultCollection() {
  SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, nullptr);
  if (!service) return false;
  SecretCollection* collection = secret_collection_for_alias_sync(
      service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, nullptr);
  bool locked = false;
  if (collection) {
    GList* objects = g_list_append(nullptr, collection);
    locked = secret_service_lock_sync(service, objects, nullptr, nullptr, nullptr) > 0;
    g_list_free(objects);
    g_object_unref(collection);
  }
  g_object_unref(service);
  return locked;
}

TEST(EngineKeyring, KeysLiveInTheKeyringUntilItLocks) {
  char name[] = "/tmp/qb-keyring-XXXXXX";
  ASSERT_NE(mkdtemp(name), nullptr);
  const std::string folder = name;
  std::string why;
  if (!qbtest::StartTestKeyring(folder, why)) {
    fs::remove_all(folder);
    if (qbtest::KeyringRequired()) FAIL() << "QB_REQUIRE_KEYRING=1 and " << why;
    GTEST_SKIP() << "no keyring to test with: " << why;
  }
  const std::string path = folder + "/engine-keys.ini";
  qb::EngineKeys::Options options;
  options.filePath = path;
  // The first call starts the daemon's session and four askers queue for one
  // another: a loaded machine must not send them to the file. A prompt waited
  // for would still be cancelled only at this bound.
  options.keyringTime = std::chrono::seconds(30);
  std::string warned;
  options.warn = [&warned](const std::string& text) { warned += text; };
  const qb::EngineKeys keys(options);

  {
    SCOPED_TRACE("in the keyring");
    // A key the file held before is gone from it once the keyring has the new one.
    ASSERT_TRUE(qb::IniWriteFile(path, "[Keys]\nMirrors=\"old\"\n"));
    const qb::KeyStored stored = keys.Set("Mirrors", "  key with blanks ");
    ASSERT_TRUE(stored.ok) << stored.problem;
    EXPECT_EQ(stored.where, qb::KeyPlace::Keyring);
    EXPECT_EQ(qb::IniLookup(qb::IniFileText(path), "Keys", "Mirrors", "", 100), "");
    EXPECT_EQ(keys.Get("Mirrors"), "  key with blanks ");
    EXPECT_EQ(keys.Get("MIRRORS"), "  key with blanks ");
    EXPECT_EQ(keys.Lookup()("mirrors"), "  key with blanks ");
    EXPECT_EQ(ItemsFor("mirrors"), 1);

    ASSERT_EQ(keys.Set("Mirrors", "second").where, qb::KeyPlace::Keyring);
    EXPECT_EQ(keys.Get("Mirrors"), "second");
    EXPECT_EQ(ItemsFor("mirrors"), 1);  // replaced, not added beside

    ASSERT_TRUE(keys.Set("Other", "other-key").ok);
    // Engine threads ask at once.
    std::vector<std::thread> askers;
    std::atomic<int> answered{0};
    for (int i = 0; i < 4; ++i) {
      askers.emplace_back([&keys, &answered] {
        if (keys.Get("Other") == std::optional<std::string>("other-key")) ++answered;
      });
    }
    for (std::thread& t : askers) t.join();
    EXPECT_EQ(answered, 4);
    EXPECT_TRUE(keys.Remove("Mirrors"));
    EXPECT_FALSE(keys.Get("Mirrors"));
    EXPECT_EQ(ItemsFor("mirrors"), 0);
    EXPECT_EQ(keys.Get("Other"), "other-key");
  }
  {
    SCOPED_TRACE("locked");
    // Unlocking would want a prompt: nothing waits for one, the file is used.
    ASSERT_TRUE(LockDefaultCollection());
    const auto start = std::chrono::steady_clock::now();
    const qb::KeyStored stored = keys.Set("Mirrors", "file-key");
    ASSERT_TRUE(stored.ok) << stored.problem;
    EXPECT_EQ(stored.where, qb::KeyPlace::File);
    EXPECT_EQ(keys.Get("Mirrors"), "file-key");
    EXPECT_FALSE(keys.Get("Other"));  // locked away, not prompted for
    EXPECT_LT(std::chrono::steady_clock::now() - start, options.keyringTime);
  }
  EXPECT_EQ(warned, "");
  fs::remove_all(folder);
}

}  // namespace
