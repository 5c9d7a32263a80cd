#pragma once
// One file fetched from an FTP server into a local folder without losing or
// damaging a byte: written to "name.part" and renamed to a name not yet taken
// once its size is the one expected; a .part found there resumes with REST.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "net/ftp_session.h"

namespace qb {

struct FetchProgress {
  int64_t bytes = 0;   // in the local file, those it resumed from included
  int64_t total = -1;  // expected; -1 unknown
  double rate = 0;     // bytes per second this transfer has moved
};

struct FetchRequest {
  std::string url;     // ftp:// or ftps://, in the kept (decoded) form
  std::string folder;  // where the file goes
  int64_t size = -1;   // known from a listing; else SIZE is asked
  bool resume = true;  // a .part there goes on from its length
};

enum class FetchOutcome {
  Arrived,
  Failed,    // the server, the network or the folder; the .part is kept
  DiskFull,  // no room left; the .part is kept
  Stopped,   // the abort flag; the .part is kept
};

struct FetchResult {
  FetchOutcome outcome = FetchOutcome::Failed;
  std::string path;  // the file arrived, or the .part kept (empty when none)
  std::string text;  // why it did not arrive
  int64_t bytes = 0;
  int64_t resumedFrom = 0;   // bytes already there that REST kept
  bool restRefused = false;  // a .part was there, and the server fetched it all again
  // The server turned the session away as full: how many it allows (0 when
  // it did not say). A caller then waits for one of its own sessions to end.
  std::optional<int> connectionLimit;
  // FetchFileOn: the session cannot serve another file (gone, or no longer
  // answering); another has to be opened.
  bool sessionLost = false;
};

// Every wait is bounded by Settings.HttpTimeOut; TLS and data mode are the
// settings' too. progress, if given, is called from this thread after each piece.
FetchResult FetchFile(const FetchRequest& request, const std::atomic<bool>* abort,
                      const std::function<void(const FetchProgress&)>& progress = {});

// A session logged in to the server of url, as FetchFile opens it, to fetch
// several of its files without a login each; null when none could be had,
// with why in failure (its connectionLimit among it).
std::unique_ptr<FtpSession> OpenFetchSession(const std::string& url, const std::atomic<bool>* abort,
                                             FetchResult& failure);

// As FetchFile, over a session already open to the request's server, which
// stays open for the next file unless the result says it is lost. abort is
// the one the session was opened with.
FetchResult FetchFileOn(FtpSession& session, const FetchRequest& request,
                        const std::atomic<bool>* abort,
                        const std::function<void(const FetchProgress&)>& progress = {});

}  // namespace qb
