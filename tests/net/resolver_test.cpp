#include "net/resolver.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>

#include "net/unique_fd.h"

using namespace qb;

namespace {

std::string First(const std::string& host) {
  for (const SocketAddress& found : ResolveAddresses(host, 21)) {
    if (found.Family() == AF_INET) return found.HostText();
  }
  return "none";
}

// FTP took only dotted quads literally, HTTP also the short forms: both still resolve.
TEST(Resolver, LiteralsShortFormsNamesAndNothing) {
  EXPECT_EQ(First("127.0.0.2"), "127.0.0.2");
  EXPECT_EQ(First("127.1"), "127.0.0.1");
  EXPECT_EQ(First("localhost"), "127.0.0.1");
  EXPECT_EQ(First(""), "none");
  EXPECT_EQ(First("no-such-host.invalid"), "none");
  // An IPv6 literal stands for itself even on a host without IPv6 addresses.
  const std::vector<SocketAddress> v6 = ResolveAddresses("::1", 21);
  ASSERT_EQ(v6.size(), 1u);
  EXPECT_EQ(v6[0].Family(), AF_INET6);
  EXPECT_EQ(v6[0].HostText(), "::1");
  EXPECT_EQ(v6[0].Port(), 21);
}

TEST(UniqueFd, ClosesOnceWhateverOwnsItLast) {
  const int raw = open("/dev/null", O_RDONLY);
  ASSERT_GE(raw, 0);
  {
    UniqueFd a(raw);
    UniqueFd b(std::move(a));
    EXPECT_FALSE(a.valid());
    ASSERT_NE(fcntl(raw, F_GETFD), -1);  // still open
    UniqueFd c;
    c = std::move(b);
    EXPECT_EQ(c.get(), raw);
  }
  EXPECT_EQ(fcntl(raw, F_GETFD), -1);  // closed with the last owner

  const int kept = open("/dev/null", O_RDONLY);
  ASSERT_GE(kept, 0);
  {
    UniqueFd d(kept);
    EXPECT_EQ(d.release(), kept);
  }
  EXPECT_NE(fcntl(kept, F_GETFD), -1);  // released, so not closed
  close(kept);
}

}  // namespace
