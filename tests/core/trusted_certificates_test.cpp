#include "core/trusted_certificates.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/ini_file.h"
#include "core/program_folders.h"

using namespace qb;

namespace {

// 32 pairs: the byte value i+first in each.
std::string Fingerprint(int first, bool lower = false) {
  const char* digits = lower ? "0123456789abcdef" : "0123456789ABCDEF";
  std::string text;
  for (int i = 0; i < 32; ++i) {
    const int b = (first + i) & 0xFF;
    if (i) text += ':';
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

class TrustedCertificatesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qb-trust-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    ConfigDir = dir_ + "/config/";
  }
  void TearDown() override {
    ConfigDir.clear();
    std::filesystem::remove_all(dir_);
  }
  std::string dir_;
};

TEST(CertificateShapes, HostsAndFingerprintsFromServersAreCheckedAndNormalized) {
  std::string out;
  EXPECT_TRUE(NormalizeFingerprint(Fingerprint(0xA0, true), out));
  EXPECT_EQ(out, Fingerprint(0xA0));
  const std::string good = Fingerprint(1);
  const std::string badFingerprints[] = {
      "",
      good.substr(3),                        // 31 pairs
      good + ":00",                          // 33 pairs
      good.substr(0, 94) + "G",              // not hex
      std::string(good).replace(2, 1, "-"),  // another separator
      good.substr(0, 93) + "\n0",            // a line break inside
  };
  for (const std::string& text : badFingerprints)
    EXPECT_FALSE(NormalizeFingerprint(text, out)) << text;

  const struct {
    const char* text;
    const char* normalized;  // null: refused
  } hosts[] = {
      {"FTP.Example.ORG:21", "ftp.example.org:21"},
      {"[2001:DB8::1]:990", "[2001:db8::1]:990"},
      {"caf\xC3\xA9.example:2121", "caf\xC3\xA9.example:2121"},
      {"a.example", nullptr},
      {":21", nullptr},
      {"a.example:0", nullptr},
      {"a.example:021", nullptr},
      {"a.example:65536", nullptr},
      {"2001:db8::1:21", nullptr},  // an IPv6 literal without brackets
      {"[x]:21", nullptr},
      {"a.example\n[Certificate]:21", nullptr},
      {"a example:21", nullptr},
      {"\"a.example\":21", nullptr},
  };
  for (const auto& h : hosts) {
    const bool read = NormalizeCertificateHost(h.text, out);
    EXPECT_EQ(read, h.normalized != nullptr) << h.text;
    if (read && h.normalized) {
      EXPECT_EQ(out, h.normalized);
    }
  }
  EXPECT_FALSE(NormalizeCertificateHost(std::string(254, 'a') + ":21", out));
  EXPECT_EQ(CertificateHost("ftp.example.org", 21), "ftp.example.org:21");
  EXPECT_EQ(CertificateHost("::1", 990), "[::1]:990");
}

TEST_F(TrustedCertificatesTest, TrustedPairsAreKeptPrivatelyAndRevokedOneByOne) {
  EXPECT_TRUE(TrustedCertificates().empty());
  EXPECT_FALSE(IsTrustedCertificate("a.example:21", Fingerprint(1)));
  EXPECT_TRUE(RevokeCertificate("a.example:21", Fingerprint(1))) << "nothing to revoke";
  EXPECT_FALSE(std::filesystem::exists(TrustedCertificatesPath()));

  ASSERT_TRUE(TrustCertificate("A.example:21", Fingerprint(1, true)));
  ASSERT_TRUE(TrustCertificate("a.example:21", Fingerprint(1)));  // once is enough
  ASSERT_TRUE(TrustCertificate("a.example:990", Fingerprint(1)));
  ASSERT_TRUE(TrustCertificate("[::1]:21", Fingerprint(2)));
  struct stat st {};
  ASSERT_EQ(stat(TrustedCertificatesPath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  const std::vector<TrustedCertificate> held = TrustedCertificates();
  ASSERT_EQ(held.size(), 3u);
  EXPECT_EQ(held[0].host, "a.example:21");
  EXPECT_EQ(held[0].sha256, Fingerprint(1));
  EXPECT_EQ(held[2].host, "[::1]:21");
  EXPECT_TRUE(IsTrustedCertificate("a.EXAMPLE:21", Fingerprint(1, true)));
  EXPECT_FALSE(IsTrustedCertificate("a.example:21", Fingerprint(2))) << "another certificate";
  EXPECT_FALSE(IsTrustedCertificate("b.example:21", Fingerprint(1))) << "another host";

  EXPECT_TRUE(RevokeCertificate("a.example:21", Fingerprint(1)));
  EXPECT_FALSE(IsTrustedCertificate("a.example:21", Fingerprint(1)));
  EXPECT_TRUE(IsTrustedCertificate("a.example:990", Fingerprint(1)));
  EXPECT_EQ(TrustedCertificates().size(), 2u);
}

TEST_F(TrustedCertificatesTest, WhatCannotBeTrustedIsNeitherWrittenNorRead) {
  EXPECT_FALSE(TrustCertificate("a.example:21\nHost=b.example:21", Fingerprint(1)));
  EXPECT_FALSE(TrustCertificate("a.example:21", "AB:CD"));
  EXPECT_FALSE(std::filesystem::exists(TrustedCertificatesPath()));

  // A file edited by hand: sections without a valid pair are left out.
  std::filesystem::create_directories(ConfigDir);
  std::ofstream(TrustedCertificatesPath())
      << "[Certificate]\nHost=a.example:21\nSHA256=" << Fingerprint(1) << "\n"
      << "[Certificate]\nHost=b example:21\nSHA256=" << Fingerprint(2) << "\n"
      << "[Certificate]\nHost=c.example:21\n"
      << "[Other]\nHost=d.example:21\nSHA256=" << Fingerprint(3) << "\n"
      << "[certificate]\nhost=\"e.example:21\"\nsha256=" << Fingerprint(4, true) << "\n";
  const std::vector<TrustedCertificate> held = TrustedCertificates();
  ASSERT_EQ(held.size(), 2u);
  EXPECT_EQ(held[0].host, "a.example:21");
  EXPECT_EQ(held[1].host, "e.example:21");
  EXPECT_EQ(held[1].sha256, Fingerprint(4));

  // A file that cannot be replaced keeps what it holds (the aside file's
  // place taken by a folder stops root too).
  const std::string aside = TrustedCertificatesPath() + ".new";
  std::filesystem::create_directories(aside + "/in-the-way");
  EXPECT_FALSE(TrustCertificate("f.example:21", Fingerprint(5)));
  EXPECT_FALSE(RevokeCertificate("a.example:21", Fingerprint(1)));
  EXPECT_TRUE(IsTrustedCertificate("a.example:21", Fingerprint(1)));
}

// Sessions of several sites may end at once, each trusting or asking.
TEST_F(TrustedCertificatesTest, TrustsFromManyThreadsAreAllKept) {
  constexpr int Threads = 8, Each = 5;
  std::vector<std::thread> threads;
  for (int t = 0; t < Threads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < Each; ++i) {
        const std::string host = "h" + std::to_string(t) + ".example:21";
        EXPECT_TRUE(TrustCertificate(host, Fingerprint(i)));
        EXPECT_TRUE(IsTrustedCertificate(host, Fingerprint(i)));
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(TrustedCertificates().size(), static_cast<std::size_t>(Threads * Each));
}

}  // namespace
