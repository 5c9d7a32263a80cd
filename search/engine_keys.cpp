#include "search/engine_keys.h"

#include <libsecret/secret.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

#include "core/ini_file.h"
#include "core/program_folders.h"
#include "core/terminal_text.h"
#include "core/text_helpers.h"
#include "search/engine_def.h"

namespace qb {

namespace {

constexpr const char* KeysSection = "Keys";

const SecretSchema* KeySchema() {
  static const SecretSchema schema = {"org.quillbrook.EngineKey",
                                      SECRET_SCHEMA_NONE,
                                      {{"engine", SECRET_SCHEMA_ATTRIBUTE_STRING}, {}},
                                      0,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr};
  return &schema;
}

// ---- The keyring ----

// One keyring call at a time: they share the service's proxy and session. The
// wait for it counts in the caller's bound.
std::mutex keyringLock;

// A session bus named in the environment or at its usual socket. Without one,
// GLib would try to launch a bus of its own.
bool SessionBusNamed() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address && *address) return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!runtime || !*runtime) return false;
  struct stat st {};
  return stat((std::string(runtime) + "/bus").c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

// Cancels every call made with cancellable() once the time is up, a prompt's
// wait among them, so no keyring call outlasts it.
class BoundedCalls {
 public:
  explicit BoundedCalls(std::chrono::milliseconds time) : cancellable_(g_cancellable_new()) {
    watch_ = std::thread([this, time] {
      std::unique_lock<std::mutex> hold(lock_);
      if (!done_.wait_for(hold, time, [this] { return finished_; }))
        g_cancellable_cancel(cancellable_);
    });
  }
  ~BoundedCalls() {
    {
      const std::lock_guard<std::mutex> hold(lock_);
      finished_ = true;
    }
    done_.notify_one();
    watch_.join();
    g_object_unref(cancellable_);
  }
  BoundedCalls(const BoundedCalls&) = delete;
  BoundedCalls& operator=(const BoundedCalls&) = delete;

  GCancellable* cancellable() const { return cancellable_; }

 private:
  GCancellable* cancellable_;
  std::mutex lock_;
  std::condition_variable done_;
  bool finished_ = false;
  std::thread watch_;
};

struct ErrorHolder {
  GError* error = nullptr;
  ~ErrorHolder() {
    if (error) g_error_free(error);
  }
  ErrorHolder() = default;
  ErrorHolder(const ErrorHolder&) = delete;
  ErrorHolder& operator=(const ErrorHolder&) = delete;
};

struct Attributes {
  GHashTable* table;
  explicit Attributes(const std::string& engine) {
    std::string lower = engine;
    for (char& c : lower) c = AsciiLower(c);
    table = secret_attributes_build(KeySchema(), "engine", lower.c_str(), nullptr);
  }
  ~Attributes() { g_hash_table_unref(table); }
  Attributes(const Attributes&) = delete;
  Attributes& operator=(const Attributes&) = delete;
};

// The Secret Service, when one answers and its default collection is open:
// a locked one would want a prompt, which is never waited for. A reference
// the caller releases; null otherwise.
SecretService* OpenKeyring(GCancellable* cancellable) {
  if (!SessionBusNamed()) return nullptr;
  ErrorHolder failed;
  SecretService* service =
      secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, cancellable, &failed.error);
  if (!service) return nullptr;
  // The shared session connection would end the program when the bus goes away.
  if (GDBusConnection* bus = g_dbus_proxy_get_connection(G_DBUS_PROXY(service)))
    g_dbus_connection_set_exit_on_close(bus, FALSE);
  ErrorHolder noCollection;
  SecretCollection* collection = secret_collection_for_alias_sync(
      service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, cancellable, &noCollection.error);
  const bool open = collection && secret_collection_get_locked(collection) == FALSE;
  if (collection) g_object_unref(collection);
  if (!open) {
    g_object_unref(service);
    return nullptr;
  }
  return service;
}

std::optional<std::string> KeyringGet(const std::string& engine, std::chrono::milliseconds time) {
  std::optional<std::string> key;
  const BoundedCalls bound(time);
  const std::lock_guard<std::mutex> hold(keyringLock);
  SecretService* service = OpenKeyring(bound.cancellable());
  if (!service) return key;
  const Attributes attributes(engine);
  ErrorHolder failed;
  // Without SECRET_SEARCH_UNLOCK: items of a locked collection stay out.
  GList* items =
      secret_service_search_sync(service, KeySchema(), attributes.table, SECRET_SEARCH_LOAD_SECRETS,
                                 bound.cancellable(), &failed.error);
  for (GList* i = items; i && !key; i = i->next) {
    auto* item = static_cast<SecretItem*>(i->data);
    if (secret_item_get_locked(item)) continue;
    SecretValue* value = secret_item_get_secret(item);
    if (!value) continue;
    gsize length = 0;
    const gchar* bytes = secret_value_get(value, &length);
    if (bytes && length > 0) key = std::string(bytes, length);
    secret_value_unref(value);
  }
  g_list_free_full(items, g_object_unref);
  g_object_unref(service);
  return key;
}

bool KeyringSet(const std::string& engine, const std::string& key, std::chrono::milliseconds time) {
  const BoundedCalls bound(time);
  const std::lock_guard<std::mutex> hold(keyringLock);
  SecretService* service = OpenKeyring(bound.cancellable());
  if (!service) return false;
  const Attributes attributes(engine);
  SecretValue* value = secret_value_new(key.data(), static_cast<gssize>(key.size()), "text/plain");
  const std::string label = "Quillbrook search engine key: " + engine;
  ErrorHolder failed;
  const bool stored =
      secret_service_store_sync(service, KeySchema(), attributes.table, SECRET_COLLECTION_DEFAULT,
                                label.c_str(), value, bound.cancellable(), &failed.error) != FALSE;
  secret_value_unref(value);
  g_object_unref(service);
  return stored;
}

// False only when the keyring answered and the key could not be removed.
bool KeyringRemove(const std::string& engine, std::chrono::milliseconds time) {
  const BoundedCalls bound(time);
  const std::lock_guard<std::mutex> hold(keyringLock);
  SecretService* service = OpenKeyring(bound.cancellable());
  if (!service) return true;
  const Attributes attributes(engine);
  ErrorHolder failed;
  // FALSE without an error: nothing matched.
  secret_service_clear_sync(service, KeySchema(), attributes.table, bound.cancellable(),
                            &failed.error);
  g_object_unref(service);
  return failed.error == nullptr;
}

// ---- The file ----

// One writer of the file at a time in this process: each write goes through
// the same aside file.
std::mutex fileLock;

struct KeyFile {
  bool usable = false;  // missing, or the user's alone
  std::string text;
  std::string problem;
};

KeyFile ReadKeyFile(const std::string& path) {
  KeyFile file;
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) {
    file.usable = errno == ENOENT;
    if (!file.usable) file.problem = path + ": cannot be read: " + std::strerror(errno);
    return file;
  }
  if (!S_ISREG(st.st_mode)) {
    file.problem = path + " is not a plain file; its keys are not used";
  } else if (st.st_uid != geteuid()) {
    file.problem = path + " belongs to another user; its keys are not used";
  } else if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    file.problem = path + " can be read or written by other users (mode " + mode +
                   "); its keys are not used until it is made private (chmod 600)";
  } else {
    file.usable = true;
    file.text = IniFileText(path);
  }
  return file;
}

bool IsControl(char c) { return static_cast<unsigned char>(c) < ' ' || c == 0x7f; }

bool UsableName(const std::string& engine) {
  if (engine.empty() || engine.size() > MaxEngineNameChars) return false;
  if (engine.front() == ' ' || engine.back() == ' ' || engine.front() == ';' ||
      engine.front() == '#' || engine.front() == '[')
    return false;
  return std::none_of(engine.begin(), engine.end(),
                      [](char c) { return IsControl(c) || c == '='; });
}

bool UsableKey(const std::string& key) {
  if (key.empty() || key.size() > MaxEngineKeyChars) return false;
  return std::none_of(key.begin(), key.end(), IsControl);
}

}  // namespace

EngineKeys::EngineKeys() : EngineKeys(Options{}) {}

EngineKeys::EngineKeys(Options options) : options_(std::move(options)) {
  if (options_.filePath.empty()) options_.filePath = ConfigPath(EngineKeysFileName);
  if (!options_.warn)
    options_.warn = [](const std::string& text) { PrintProblem("quillbrook", text); };
}

std::optional<std::string> EngineKeys::Get(const std::string& engine) const {
  if (!UsableName(engine)) return std::nullopt;
  if (options_.keyring) {
    std::optional<std::string> key = KeyringGet(engine, options_.keyringTime);
    if (key) return key;
  }
  KeyFile file;
  {
    const std::lock_guard<std::mutex> hold(fileLock);
    file = ReadKeyFile(options_.filePath);
  }
  if (!file.usable) {
    options_.warn(file.problem);
    return std::nullopt;
  }
  std::string key = IniLookup(file.text, KeysSection, engine.c_str(), "", MaxEngineKeyChars);
  if (key.empty()) return std::nullopt;
  return key;
}

KeyStored EngineKeys::Set(const std::string& engine, const std::string& key) const {
  KeyStored stored;
  if (!UsableName(engine)) {
    stored.problem = "not a name a key can be kept under: " + TerminalText(engine);
    return stored;
  }
  if (!UsableKey(key)) {
    stored.problem = "the key for " + engine + " is empty, too long or holds control characters";
    return stored;
  }
  if (options_.keyring && KeyringSet(engine, key, options_.keyringTime)) {
    stored.ok = true;
    stored.where = KeyPlace::Keyring;
    // An older key in the file must not outlive the one in the keyring.
    const std::lock_guard<std::mutex> hold(fileLock);
    const KeyFile file = ReadKeyFile(options_.filePath);
    if (file.usable && !IniLookup(file.text, KeysSection, engine.c_str(), "", 1).empty())
      IniWriteFile(options_.filePath, IniReplace(file.text, KeysSection, engine.c_str(), ""));
    return stored;
  }
  const std::lock_guard<std::mutex> hold(fileLock);
  const KeyFile file = ReadKeyFile(options_.filePath);
  if (!file.usable) {
    stored.problem = file.problem;
    return stored;
  }
  // Quoted, so that the key comes back as it was, blanks and quotes included.
  const std::string text = IniReplace(file.text, KeysSection, engine.c_str(), "\"" + key + "\"");
  if (!MakeParentFolder(options_.filePath) || !IniWriteFile(options_.filePath, text)) {
    stored.problem = options_.filePath + ": cannot be written";
    return stored;
  }
  stored.ok = true;
  stored.where = KeyPlace::File;
  return stored;
}

bool EngineKeys::Remove(const std::string& engine) const {
  if (!UsableName(engine)) return true;
  bool removed = !options_.keyring || KeyringRemove(engine, options_.keyringTime);
  const std::lock_guard<std::mutex> hold(fileLock);
  const KeyFile file = ReadKeyFile(options_.filePath);
  if (!file.usable) {
    options_.warn(file.problem);
    return false;
  }
  if (IniLookup(file.text, KeysSection, engine.c_str(), "", 1).empty()) return removed;
  if (!IniWriteFile(options_.filePath, IniReplace(file.text, KeysSection, engine.c_str(), ""))) {
    options_.warn(options_.filePath + ": cannot be written");
    removed = false;
  }
  return removed;
}

KeyLookup EngineKeys::Lookup() const {
  return [keys = *this](const std::string& engine) { return keys.Get(engine); };
}

}  // namespace qb
