#pragma once
// A Secret Service of the tests' own: gnome-keyring-daemon on the current
// session bus (the test runs under dbus-run-session), its login keyring made
// and unlocked in a folder of the test's, never the user's.
#include <string>

namespace qbtest {

// Starts the daemon with its home, data and runtime folders under folder and
// returns once it serves; false with why when there is no session bus or no
// gnome-keyring-daemon, or it did not start.
bool StartTestKeyring(const std::string& folder, std::string& why);

// QB_REQUIRE_KEYRING=1: a keyring test that cannot start one fails instead of
// being skipped.
bool KeyringRequired();

}  // namespace qbtest
