#include "transfer/file_fetch.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "net/ftp_url.h"
#include "net/server_replies.h"
#include "net/unique_fd.h"
#include "transfer/local_name.h"

namespace qb {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int MaxNumbered = 9999;
constexpr int64_t WritebackEvery = int64_t{32} << 20;

std::string Problem(const std::string& what) { return what + ": " + std::strerror(errno); }

// The .part this fetch writes, locked, so that another fetch of the same name
// (in this process or another) takes the next number instead.
struct PartFile {
  UniqueFd fd;
  std::string name;  // the final name it was chosen for
  int64_t length = 0;
};

std::optional<PartFile> ClaimPart(int folder, const std::string& base, std::string& problem) {
  for (int n = 0; n <= MaxNumbered; ++n) {
    const std::string name = NumberedName(base, n);
    struct stat st = {};
    if (fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) continue;
    if (errno != ENOENT) {
      problem = Problem("cannot look at " + name);
      return std::nullopt;
    }
    const std::string part = name + ".part";
    UniqueFd fd(openat(folder, part.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!fd.valid()) {
      // A link or something else planted under that name is left alone.
      if (errno == ELOOP || errno == EISDIR || errno == ENXIO) continue;
      problem = Problem("cannot write " + part);
      return std::nullopt;
    }
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;
    PartFile claimed;
    claimed.fd = std::move(fd);
    claimed.name = name;
    claimed.length = st.st_size;
    return claimed;
  }
  problem = "no free name for " + base;
  return std::nullopt;
}

// Moves the .part to its name, or the next free number when something took
// the name meanwhile; nothing is ever replaced.
bool Finish(int folder, const std::string& base, PartFile& part, std::string& final,
            std::string& problem) {
  const std::string from = part.name + ".part";
  if (fsync(part.fd.get()) != 0) {
    problem = Problem("cannot write " + from);
    return false;
  }
  int n = 0;
  while (NumberedName(base, n) != part.name) ++n;
  for (; n <= MaxNumbered; ++n) {
    const std::string to = NumberedName(base, n);
    if (renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0) {
      final = to;
      fsync(folder);
      return true;
    }
    if (errno == EEXIST) continue;
    if (errno != EINVAL && errno != ENOSYS) break;
    // File systems without RENAME_NOREPLACE: a hard link refuses a taken name too.
    if (linkat(folder, from.c_str(), folder, to.c_str(), 0) == 0) {
      unlinkat(folder, from.c_str(), 0);
      final = to;
      fsync(folder);
      return true;
    }
    if (errno != EEXIST) break;
  }
  problem = Problem("cannot rename " + from);
  return false;
}

bool WriteAll(int fd, const char* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t n = write(fd, bytes, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    bytes += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

int64_t SizeAnswer(const FtpReply& reply) {
  // "213 1234": anything else is no size.
  if (reply.code != 213 || reply.line.size() < 5) return -1;
  char* end = nullptr;
  errno = 0;
  const long long size = std::strtoll(reply.line.c_str() + 4, &end, 10);
  if (errno != 0 || size < 0 || end == reply.line.c_str() + 4) return -1;
  // "213 12abc" is no size either: a wrong one would cut the file or refuse it.
  if (*end != '\0' && std::isspace(static_cast<unsigned char>(*end)) == 0) return -1;
  return size;
}

bool Stopped(const std::atomic<bool>* abort) { return abort != nullptr && abort->load(); }

// The file a request names and the folder it goes to, made sure of before a
// byte is sent.
struct Target {
  FtpUrlParts parts;
  std::string path;  // on the server
  std::string base;  // the local name
  UniqueFd folder;
};

bool Aim(const FetchRequest& request, Target& target, FetchResult& result) {
  // Cut to fit the parts, it would name another file.
  if (request.url.size() >= sizeof target.parts.path) {
    result.text = "the URL is too long";
    return false;
  }
  ParseFtpUrl(request.url.c_str(), target.parts);
  target.path = target.parts.path;
  const std::string serverName = UrlFileName(target.path);
  if (request.url.find('\0') != std::string::npos || serverName.empty() ||
      target.parts.host[0] == '\0') {
    result.text = "not a file's URL";
    return false;
  }
  // Servers end a command at a line break: the rest would be another command.
  if (target.path.find_first_of("\r\n") != std::string::npos) {
    result.text = "the name holds a line break, which no FTP command can carry";
    return false;
  }
  target.base = SafeLocalName(serverName);
  target.folder = UniqueFd(open(request.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!target.folder.valid()) {
    result.text = Problem("cannot open the folder " + request.folder);
    return false;
  }
  return true;
}

std::unique_ptr<FtpSession> OpenOn(const FtpUrlParts& parts, const std::atomic<bool>* abort,
                                   FetchResult& failure) {
  auto session = std::make_unique<FtpSession>(SessionOptionsFor(parts, abort));
  std::string loginText;
  if (session->Open(parts, loginText)) return session;
  const FtpReply& refusal = session->Refusal();
  failure.connectionLimit = ConnectionLimitIn(refusal.code, refusal.text);
  failure.outcome = Stopped(abort) ? FetchOutcome::Stopped : FetchOutcome::Failed;
  failure.text = Stopped(abort) ? "stopped" : session->Result();
  session->Quit();
  return nullptr;
}

// Whether a session that failed a file still answers, within one wait.
bool StillAnswers(FtpSession& session) {
  FtpControl& control = session.Control();
  const Clock::time_point deadline = control.Deadline();
  if (control.TimeoutMs() > 0) {
    control.SetDeadline(
        std::min(deadline, Clock::now() + std::chrono::milliseconds(control.TimeoutMs())));
  }
  FtpReply reply;
  const bool answers = session.Quietly("NOOP", reply) && reply.Kind() == '2';
  control.SetDeadline(deadline);
  return answers;
}

FetchResult FetchInto(FtpSession& session, const FetchRequest& request, const Target& target,
                      const std::atomic<bool>* abort,
                      const std::function<void(const FetchProgress&)>& progress) {
  FetchResult result;
  const std::string& path = target.path;
  const std::string& base = target.base;
  const UniqueFd& folder = target.folder;
  FtpReply reply;
  const auto stopped = [abort] { return Stopped(abort); };
  std::optional<PartFile> part;
  int64_t written = 0;
  const auto fail = [&](FetchOutcome outcome, std::string text) {
    // An empty .part keeps nothing worth resuming.
    if (part && written == 0) {
      unlinkat(folder.get(), (part->name + ".part").c_str(), 0);
      result.path.clear();
    }
    result.outcome = stopped() ? FetchOutcome::Stopped : outcome;
    result.text = stopped() ? "stopped" : std::move(text);
    return result;
  };
  if (!session.Command("TYPE I", '2', reply)) return fail(FetchOutcome::Failed, session.Result());
  int64_t total = request.size;
  if (total < 0 && session.Quietly("SIZE " + path, reply)) total = SizeAnswer(reply);

  std::string problem;
  part = ClaimPart(folder.get(), base, problem);
  if (!part) return fail(FetchOutcome::Failed, problem);
  const std::string partName = part->name + ".part";
  result.path = request.folder + "/" + partName;
  int64_t offset = request.resume ? part->length : 0;
  // Longer than the file: not a piece of it.
  if (total >= 0 && offset > total) offset = 0;
  const auto restart = [&] { return ftruncate(part->fd.get(), offset) == 0; };
  if (offset != part->length && !restart())
    return fail(FetchOutcome::Failed, Problem("cannot write " + partName));
  written = offset;
  result.resumedFrom = offset;

  bool whole = true;
  bool diskFull = false;
  std::string writeProblem;
  if (total < 0 || offset < total) {
    int64_t flushed = 0;  // bytes handed to write-back so far
    const auto placed = [&] {
      // Where the bytes go: after the .part's, or from the start when the
      // server would not continue it.
      if (offset == 0 && written != 0) {
        result.restRefused = true;
        written = 0;
        if (!restart()) return false;
      }
      flushed = written;
      return lseek(part->fd.get(), offset, SEEK_SET) >= 0;
    };
    bool first = true;
    const Clock::time_point start = Clock::now();
    const bool got = session.Retrieve(path, offset, [&](const char* bytes, std::size_t n) {
      if (first && !(first = false, placed())) {
        writeProblem = Problem("cannot write " + partName);
        return false;
      }
      if (stopped()) return false;
      // A server sending past the size it gave would fill the disk.
      const auto count = static_cast<int64_t>(n);
      if (total >= 0 && written + count > total) {
        writeProblem = "the server sent more than the " + std::to_string(total) + " bytes it gave";
        return false;
      }
      if (!WriteAll(part->fd.get(), bytes, n)) {
        diskFull = errno == ENOSPC || errno == EDQUOT;
        writeProblem = diskFull ? "disk full: " + result.path : Problem("cannot write " + partName);
        return false;
      }
      written += count;
      // Writing back as the bytes come leaves the fsync before the rename
      // little to do, instead of the whole file at once.
      if (written - flushed >= WritebackEvery) {
        sync_file_range(part->fd.get(), flushed, written - flushed, SYNC_FILE_RANGE_WRITE);
        flushed = written;
      }
      if (progress) {
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        progress(
            {written, total, seconds > 0 ? static_cast<double>(written - offset) / seconds : 0.0});
      }
      return true;
    });
    // An empty file sends no byte: the .part is set right all the same.
    if (first && got && !placed()) writeProblem = Problem("cannot write " + partName);
    result.resumedFrom = offset;
    whole = got;
  }
  result.bytes = written;
  if (diskFull) return fail(FetchOutcome::DiskFull, writeProblem);
  if (!writeProblem.empty()) return fail(FetchOutcome::Failed, writeProblem);
  if (!whole) return fail(FetchOutcome::Failed, session.Result());
  if (total >= 0 && written != total)
    return fail(FetchOutcome::Failed,
                "got " + std::to_string(written) + " of " + std::to_string(total) + " bytes");
  std::string final;
  if (!Finish(folder.get(), base, *part, final, problem))
    return fail(FetchOutcome::Failed, problem);
  result.outcome = FetchOutcome::Arrived;
  result.path = request.folder + "/" + final;
  result.text.clear();
  return result;
}

}  // namespace

FetchResult FetchFile(const FetchRequest& request, const std::atomic<bool>* abort,
                      const std::function<void(const FetchProgress&)>& progress) {
  FetchResult result;
  Target target;
  if (!Aim(request, target, result)) return result;
  const std::unique_ptr<FtpSession> session = OpenOn(target.parts, abort, result);
  if (!session) return result;
  result = FetchInto(*session, request, target, abort, progress);
  session->Quit();
  return result;
}

std::unique_ptr<FtpSession> OpenFetchSession(const std::string& url, const std::atomic<bool>* abort,
                                             FetchResult& failure) {
  FtpUrlParts parts;
  ParseFtpUrl(url.c_str(), parts);
  return OpenOn(parts, abort, failure);
}

FetchResult FetchFileOn(FtpSession& session, const FetchRequest& request,
                        const std::atomic<bool>* abort,
                        const std::function<void(const FetchProgress&)>& progress) {
  FetchResult result;
  Target target;
  if (!Aim(request, target, result)) return result;
  result = FetchInto(session, request, target, abort, progress);
  if (result.outcome != FetchOutcome::Arrived) result.sessionLost = !StillAnswers(session);
  return result;
}

}  // namespace qb
