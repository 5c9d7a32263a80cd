#pragma once
// API keys of search engines, by engine name: in the desktop's keyring (the
// Secret Service) when one answers at once, otherwise in engine-keys.ini beside
// the settings, readable by the user alone. Nothing here prints or logs a key.
#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "search/engine_def.h"

namespace qb {

inline constexpr const char* EngineKeysFileName = "engine-keys.ini";
// Longer keys are refused: no engine gives one, and the file stays small.
inline constexpr std::size_t MaxEngineKeyChars = 4096;

enum class KeyPlace { None, Keyring, File };

struct KeyStored {
  bool ok = false;
  KeyPlace where = KeyPlace::None;
  std::string problem;  // when not ok; never holds the key
};

class EngineKeys {
 public:
  struct Options {
    std::string filePath;  // empty: ConfigPath(EngineKeysFileName)
    bool keyring = true;   // false: the file alone
    // The longest a keyring call may take before the file is used instead; a
    // prompt to unlock it is cancelled by then.
    std::chrono::milliseconds keyringTime{3000};
    // Told why the file cannot be used (its mode, a failed write); null: stderr.
    std::function<void(const std::string&)> warn;
  };

  EngineKeys();
  explicit EngineKeys(Options options);

  // The keyring's key, else the file's; none when neither holds one for the
  // engine (names compare without case).
  std::optional<std::string> Get(const std::string& engine) const;
  // Into the keyring when it answers (then out of the file), else into the file.
  // A key with control characters, an empty or too long one, or a name that
  // cannot be a file key, is refused.
  KeyStored Set(const std::string& engine, const std::string& key) const;
  // Out of both; false when a key may be left (the file could not be written).
  bool Remove(const std::string& engine) const;
  // Get as a function object, holding a copy of these options.
  KeyLookup Lookup() const;

 private:
  Options options_;
};

}  // namespace qb
