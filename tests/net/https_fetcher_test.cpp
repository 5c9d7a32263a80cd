// HTTPS through FetchPage against a TLS server whose self-signed certificate
// the test trusts through QB_HTTPS_CA_FILE.
#include "net/https_fetcher.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "net/http_fetcher.h"
#include "tests/support/https_test_server.h"

using namespace qb;

namespace {

const char Table[] = "<table><tr><td><a href='ftp://h/pub/'>h</a></td></tr></table>";

std::string Fetch(const std::string& url, const char** tag) {
  std::unique_ptr<char[]> page = FetchPage(url.c_str(), tag, 5);
  return page ? std::string(page.get()) : std::string("(none)");
}

}  // namespace

TEST(FetchHttpsPage, ChecksTheCertificateFollowsBoundedRedirectsAndDecodesChunks) {
  const qbtest::HttpsTestServer server(qbtest::HttpsTestServer::Pages{{"/", Table}});
  if (!server.Running()) GTEST_SKIP() << "openssl or python3 could not start a TLS server";
  const char* tag = "unset";

  unsetenv(HttpsCaFileVariable);
  EXPECT_EQ(Fetch(server.Url("/"), &tag), "(none)");
  EXPECT_STREQ(tag, "TLS");

  setenv(HttpsCaFileVariable, server.CaFile().c_str(), 1);
  EXPECT_EQ(Fetch(server.Url("/"), &tag), Table);
  EXPECT_EQ(tag, nullptr);
  Fetch(server.Url("/loop"), &tag);
  EXPECT_STREQ(tag, "redirects");
  Fetch(server.Url("/missing"), &tag);
  EXPECT_STREQ(tag, "40x");
  unsetenv(HttpsCaFileVariable);
}
