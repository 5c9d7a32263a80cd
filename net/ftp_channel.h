#pragma once
// The blocking FTP command channel: replies are collected until the server
// falls silent, and the last complete final reply line is the answer.
#include <netinet/in.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

namespace qb {

inline constexpr std::size_t ReplyLineSize = 500;   // reply-line outputs, 499 characters
inline constexpr std::size_t ReplyTextSize = 2000;  // reply-text outputs, 1999 characters
inline constexpr std::size_t CommandReplySize = 6000;

// Anonymous login's password: e-mail shaped, nine characters.
inline constexpr const char AnonymousPassword[] = "qb@qb.org";
static_assert(sizeof AnonymousPassword == 10);

// Silence that ends a reply (also waited before the first read), and the wait
// before reading the answer to RETR. Shortened only by unit tests.
struct FtpTimingData {
  std::atomic<int> settleMs{500};
  std::atomic<int> retrWaitMs{1000};
};
extern FtpTimingData FtpTiming;

// A time-out setting in seconds as milliseconds for poll, saturated instead of
// overflowing; 0 or less stays "no bound".
int TimeoutMillis(int32_t seconds);

// Collects what the server sends into buf (zeroed first) until it falls silent,
// and returns the last final reply line in it, or null. replyLine, when given,
// receives each final line found (cut to its size - 1), so it ends with the
// last; it is untouched when none arrives.
char* ReadReply(int fd, char* buf, std::size_t size, std::span<char> replyLine = {});

// Sends command and reads its reply; true when the last final reply line starts
// with expect or, when given, with alternative. replyText receives the whole
// collected reply on success.
bool SendCommand(int fd, const char* command, const char* expect, const char* alternative = nullptr,
                 std::span<char> replyLine = {}, std::span<char> replyText = {});

struct FtpUrlParts {
  char user[80] = {};
  char password[80] = {};
  char host[120] = {};
  int32_t port = 21;
  char path[500] = {};
};

// Splits ftp://[user:password@]host[:port][/path]; the scheme is not checked.
void ParseFtpUrl(const char* url, FtpUrlParts& parts);

// Formats the PORT command for an IPv4 address and port (both in host order).
void FormatPortCommand(uint32_t address, uint16_t port, char* out, std::size_t size);

// A listening socket announced to the server with PORT, or -1.
int OpenActiveData(int control);

// Waits for the server's data connection on a listening socket. Connections
// from any address other than server's are closed unread. Gives up after
// timeoutMs (<= 0: no time bound) or as soon as *abort is set.
int AcceptData(int listener, const in_addr& server, int timeoutMs,
               const std::atomic<bool>* abort = nullptr);

// Reads the data connection into buf until the peer closes, the buffer is full,
// a read waits longer than timeoutMs (<= 0: no bound), the whole transfer takes
// six times that, or *abort is set. Returns
// the bytes read; buf is not terminated here.
std::size_t ReceiveData(int fd, char* buf, std::size_t size, int timeoutMs,
                        const std::atomic<bool>* abort = nullptr);

}  // namespace qb
