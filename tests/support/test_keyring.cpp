#include "tests/support/test_keyring.h"

#include <gio/gio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace qbtest {

namespace {

std::string OnPath(const char* program) {
  const char* path = std::getenv("PATH");
  std::string rest = path ? path : "/usr/bin:/bin";
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    const std::string dir = rest.substr(0, colon);
    rest = colon == std::string::npos ? "" : rest.substr(colon + 1);
    const std::string candidate = dir + "/" + program;
    if (!dir.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

// Once the daemon owns the Secret Service's name, a call to it cannot start
// another one by bus activation, with the environment the bus was started in.
bool WaitForSecretService() {
  GMainContext* context = g_main_context_new();
  g_main_context_push_thread_default(context);
  GMainLoop* loop = g_main_loop_new(context, FALSE);
  bool appeared = false;
  struct Seen {
    GMainLoop* loop;
    bool* appeared;
  } seen{loop, &appeared};
  const guint watch = g_bus_watch_name(
      G_BUS_TYPE_SESSION, "org.freedesktop.secrets", G_BUS_NAME_WATCHER_FLAGS_NONE,
      [](GDBusConnection*, const gchar*, const gchar*, gpointer data) {
        auto* s = static_cast<Seen*>(data);
        *s->appeared = true;
        g_main_loop_quit(s->loop);
      },
      nullptr, &seen, nullptr);
  GSource* bound = g_timeout_source_new_seconds(30);
  g_source_set_callback(
      bound,
      [](gpointer data) {
        g_main_loop_quit(static_cast<GMainLoop*>(data));
        return G_SOURCE_REMOVE;
      },
      loop, nullptr);
  g_source_attach(bound, context);
  g_main_loop_run(loop);
  g_source_destroy(bound);
  g_source_unref(bound);
  g_bus_unwatch_name(watch);
  g_main_loop_unref(loop);
  g_main_context_pop_thread_default(context);
  g_main_context_unref(context);
  return appeared;
}

}  // namespace

bool KeyringRequired() {
  const char* required = std::getenv("QB_REQUIRE_KEYRING");
  return required && std::string(required) == "1";
}

bool StartTestKeyring(const std::string& folder, std::string& why) {
  const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (!bus || !*bus) {
    why = "no D-Bus session bus (run the test under dbus-run-session)";
    return false;
  }
  const std::string daemon = OnPath("gnome-keyring-daemon");
  if (daemon.empty()) {
    why = "gnome-keyring-daemon is not installed (apt-get install gnome-keyring)";
    return false;
  }
  const std::string runtime = folder + "/run", data = folder + "/data";
  mkdir(runtime.c_str(), 0700);
  mkdir(data.c_str(), 0700);
  // An empty password makes no login keyring without a prompt; any other does.
  const std::string password = folder + "/password";
  std::ofstream(password) << "quillbrook-test";
  // Without --foreground the daemon's first process returns once it serves;
  // the daemon ends with the session bus.
  const std::string command = "HOME='" + folder + "' XDG_DATA_HOME='" + data +
                              "' XDG_CONFIG_HOME='" + folder + "' XDG_RUNTIME_DIR='" + runtime +
                              "' timeout 30 '" + daemon + "' --unlock --components=secrets <'" +
                              password + "' >/dev/null";
  const int status = std::system(command.c_str());
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    why = "gnome-keyring-daemon did not start";
    return false;
  }
  if (!WaitForSecretService()) {
    why = "gnome-keyring-daemon did not take the Secret Service's name within 30 s";
    return false;
  }
  return true;
}

}  // namespace qbtest
