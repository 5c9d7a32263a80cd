#include "core/ftp_handler.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>

namespace qb {

namespace {
constexpr auto AnswerBound = std::chrono::seconds(2);
constexpr std::size_t MaxAnswer = 4096;
}  // namespace

std::string QueryFtpHandler() {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return {};
  const int readEnd = pipeFds[0];
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  char program[] = "xdg-mime";
  char query[] = "query";
  char kind[] = "default";
  char scheme[] = "x-scheme-handler/ftp";
  char* argv[] = {program, query, kind, scheme, nullptr};
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, program, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (spawned != 0) {
    close(readEnd);
    return {};
  }
  std::string answer;
  const auto until = std::chrono::steady_clock::now() + AnswerBound;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{readEnd, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char buffer[512];
    const ssize_t n = read(readEnd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    answer.append(buffer, static_cast<std::size_t>(n));
    if (answer.size() > MaxAnswer) break;
  }
  close(readEnd);
  // A query that hangs is not left behind.
  if (waitpid(pid, nullptr, WNOHANG) == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  const std::size_t end = answer.find_first_of("\r\n");
  if (end != std::string::npos) answer.resize(end);
  return answer.size() > 255 ? std::string() : answer;
}

bool IsOtherFtpHandler(const std::string& desktopEntry) {
  return !desktopEntry.empty() && desktopEntry != OwnDesktopEntry;
}

}  // namespace qb
