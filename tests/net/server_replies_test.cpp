#include "net/server_replies.h"

#include <gtest/gtest.h>

using namespace qb;

namespace {

TEST(ConnectionLimitIn, ReadsServerTexts) {
  struct Case {
    int code;
    const char* text;
    std::optional<int> limit;
  };
  const Case cases[] = {
      {421, "421 Too many connections (8) from this IP", 8},
      {421, "421 Sorry, the maximum number of clients (4) from your host are already connected.",
       4},
      {530, "530 Sorry, the maximum number of allowed clients (10) are already connected.", 10},
      {530, "530 Sorry, the maximum number of clients (3) for this user are already connected.", 3},
      {421, "421 Sorry, the maximum number of allowed users are already connected (300)", 300},
      {421, "421 5 users (the maximum) are already logged in, sorry", 5},
      {421, "421 There are too many connected users, please try later.", 0},
      {421, "421 There are too many connections from your internet address.", 0},
      {421, "421 Too many connections from the same IP address.", 0},
      {421, "421 Max connections reached", 0},
      {421, "421-Welcome\r\n421 Too many users. Max allowed is 20.", 20},
      {421, "421 Connection limit reached for 192.168.10.20, try again in 30 seconds", 0},
      {421, "Error 421: too many clients (100/100)", 100},
      {421, "421 Too many sessions (5000)", 0},
      // Not about a limit, or not a refusing code.
      {421, "421 Timeout (300 seconds): closing control connection.", std::nullopt},
      {530, "530 Login incorrect.", std::nullopt},
      {530, "530 Too many login failures", std::nullopt},
      {220, "220 Too many connections (8) from this IP", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ConnectionLimitIn(c.code, c.text), c.limit) << c.text;
}

TEST(SaysListingCut, ReadsServerTexts) {
  const std::pair<const char*, bool> cases[] = {
      {"226-Output truncated to 2000 matches\r\n226 2000 matches total", true},
      {"226 Output truncated to 10000 matches", true},
      {"226 Listing truncated", true},
      {"250 Output limited to 500", true},
      {"226 Transfer done, listing limited to 1000 entries", true},
      {"150 Here comes the directory listing.", false},
      {"226-Options: -a -l\r\n226 4 matches total", false},
      {"226 Transfer complete.", false},
      {"226 File truncated to 0 bytes", false},
  };
  for (const auto& [text, cut] : cases) EXPECT_EQ(SaysListingCut(text), cut) << text;
}

}  // namespace
