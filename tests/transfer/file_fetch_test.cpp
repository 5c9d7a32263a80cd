// Files fetched from vsftpd and ProFTPD, with and without TLS, cut by the
// server's death and resumed, over one kept session, and from a scripted
// server that misbehaves: what lands in the folder is the server's file, byte
// for byte, under a name that is one harmless entry of it.
#include "transfer/file_fetch.h"

#include <openssl/evp.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "core/settings.h"
#include "net/tls_stream.h"
#include "tests/support/fake_ftp_server.h"
#include "tests/support/pyftpd_fixture.h"
#include "tests/support/real_ftpd.h"
#include "tests/transfer/fetch_script.h"
#include "tests/transfer/file_bytes.h"
#include "transfer/fetch_queue.h"

namespace {

using qb::FetchOutcome;
using qb::FetchRequest;
using qb::FetchResult;

using qbtest::RandomBytes;
using qbtest::Read;
using qbtest::Write;

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

using Digest = std::array<unsigned char, 32>;

Digest Sha256Of(const std::string& path) {
  Digest digest{};
  std::ifstream in(path, std::ios::binary);
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
  std::vector<char> piece(1 << 20);
  while (in.read(piece.data(), static_cast<std::streamsize>(piece.size())) || in.gcount() > 0)
    EVP_DigestUpdate(context, piece.data(), static_cast<std::size_t>(in.gcount()));
  EVP_DigestFinal_ex(context, digest.data(), nullptr);
  EVP_MD_CTX_free(context);
  return digest;
}

// The last field of a /proc/sys line such as "4096 131072 6291456".
int64_t LastNumberIn(const std::string& path) {
  std::ifstream in(path);
  int64_t value = 0;
  int64_t last = 0;
  while (in >> value) last = value;
  return last;
}

// Larger than anything the killed server can have handed the kernel before it
// died: the client's receive buffer and the server's send buffer at their
// largest, and pieces of the file beside. So the cut falls inside the file.
std::size_t CutFileSize() {
  const int64_t buffers =
      LastNumberIn("/proc/sys/net/ipv4/tcp_rmem") + LastNumberIn("/proc/sys/net/ipv4/tcp_wmem");
  return static_cast<std::size_t>(buffers) + std::size_t{8} * 1024 * 1024;
}

void WriteRandomFile(const std::string& path, std::size_t size, unsigned seed) {
  std::ofstream out(path, std::ios::binary);
  std::mt19937_64 random(seed);
  std::vector<uint64_t> piece(1 << 17);
  while (size > 0) {
    for (uint64_t& word : piece) word = random();
    const std::size_t n = std::min(size, piece.size() * sizeof(uint64_t));
    out.write(reinterpret_cast<const char*>(piece.data()), static_cast<std::streamsize>(n));
    size -= n;
  }
}

bool FtpdRequired() {
  const char* required = std::getenv("QB_REQUIRE_FTPD");
  return required != nullptr && *required == '1';
}

// The server, and whether it offers TLS (which the client then requires).
using ServerCase = std::tuple<qbtest::Ftpd, bool>;

class RealFetchTest : public ::testing::TestWithParam<ServerCase> {
 protected:
  void SetUp() override {
    const bool tls = std::get<1>(GetParam());
    qb::Settings.HttpTimeOut = 10;
    qb::Settings.DataMode = qb::FtpDataMode::Passive;
    qb::Settings.Tls = tls ? qb::TlsMode::Required : qb::TlsMode::WhenOffered;
    source_ = RandomBytes(3 * 1024 * 1024 + 17, 7);
    std::filesystem::create_directories(tree_.Path() + "/pub");
    Write(tree_.Path() + "/pub/data.bin", source_);
    Write(tree_.Path() + "/pub/.bashrc", "alias ls=rm\n");
    qbtest::FtpdOptions options;
    options.tls = tls;
    server_ = std::make_unique<qbtest::RealFtpd>(std::get<0>(GetParam()), tree_.Path(), "127.0.0.1",
                                                 options);
    if (!server_->Unavailable().empty()) {
      if (FtpdRequired()) ADD_FAILURE() << server_->Unavailable();
      GTEST_SKIP() << server_->Unavailable();
    }
    if (tls) qb::SetExtraTrustFile(server_->CaFile());
  }
  void TearDown() override {
    qb::SetExtraTrustFile("");
    qb::Settings.Tls = qb::TlsMode::WhenOffered;
  }

  FetchResult Fetch(const std::string& path, bool resume = true,
                    const std::function<void(const qb::FetchProgress&)>& progress = {},
                    const std::atomic<bool>* abort = nullptr) {
    return qb::FetchFile(Request(path, resume), abort, progress);
  }
  FetchRequest Request(const std::string& path, bool resume = true) const {
    FetchRequest request;
    request.url = server_->Url(path);
    request.folder = into_.Path();
    request.resume = resume;
    return request;
  }

  qbtest::TempDir tree_;
  qbtest::TempDir into_;
  std::string source_;
  std::unique_ptr<qbtest::RealFtpd> server_;
};

TEST_P(RealFetchTest, FileArrivesWholeAndResumesFromItsPart) {
  FetchResult whole = Fetch("/pub/data.bin");
  ASSERT_EQ(whole.outcome, FetchOutcome::Arrived) << whole.text << "\n" << server_->Log();
  EXPECT_EQ(whole.path, into_.Path() + "/data.bin");
  EXPECT_TRUE(Read(whole.path) == source_);
  EXPECT_EQ(whole.bytes, static_cast<int64_t>(source_.size()));

  // The first half there already: only the rest comes, after REST.
  std::filesystem::remove(whole.path);
  const std::size_t half = source_.size() / 2;
  Write(into_.Path() + "/data.bin.part", source_.substr(0, half));
  int64_t lastSeen = 0;
  FetchRequest request;
  request.url = server_->Url("/pub/data.bin");
  request.folder = into_.Path();
  const FetchResult resumed =
      qb::FetchFile(request, nullptr, [&](const qb::FetchProgress& p) { lastSeen = p.bytes; });
  ASSERT_EQ(resumed.outcome, FetchOutcome::Arrived) << resumed.text;
  EXPECT_EQ(resumed.resumedFrom, static_cast<int64_t>(half));
  EXPECT_FALSE(resumed.restRefused);
  EXPECT_EQ(lastSeen, static_cast<int64_t>(source_.size()));
  EXPECT_TRUE(Read(into_.Path() + "/data.bin") == source_);
  EXPECT_EQ(Entries(into_.Path()), std::vector<std::string>{"data.bin"});
}

TEST_P(RealFetchTest, NothingThereIsReplacedAndHiddenNamesAreNotMade) {
  Write(into_.Path() + "/data.bin", "mine");
  const FetchResult beside = Fetch("/pub/data.bin");
  ASSERT_EQ(beside.outcome, FetchOutcome::Arrived) << beside.text;
  EXPECT_EQ(beside.path, into_.Path() + "/data (1).bin");
  EXPECT_EQ(Read(into_.Path() + "/data.bin"), "mine");
  EXPECT_TRUE(Read(beside.path) == source_);

  const FetchResult dotted = Fetch("/pub/.bashrc");
  ASSERT_EQ(dotted.outcome, FetchOutcome::Arrived) << dotted.text;
  EXPECT_EQ(dotted.path, into_.Path() + "/_bashrc");
  EXPECT_EQ(Read(dotted.path), "alias ls=rm\n");

  const FetchResult missing = Fetch("/pub/none.bin");
  EXPECT_EQ(missing.outcome, FetchOutcome::Failed);
  EXPECT_EQ(missing.text.substr(0, 3), "550");
  EXPECT_EQ(Entries(into_.Path()),
            (std::vector<std::string>{"_bashrc", "data (1).bin", "data.bin"}));
}

TEST_P(RealFetchTest, QueueFetchesEveryFileOnceEach) {
  for (int i = 0; i < 5; ++i)
    Write(tree_.Path() + "/pub/f" + std::to_string(i), RandomBytes(100000, i));
  std::vector<FetchRequest> requests;
  for (int i = 0; i < 5; ++i) {
    requests.push_back({server_->Url("/pub/f" + std::to_string(i)), into_.Path(), -1, true});
  }
  // The same name twice: the second waits for no one and lands beside the first.
  requests.push_back({server_->Url("/pub/f0"), into_.Path(), -1, true});
  const std::vector<FetchResult> results = qb::FetchAll(requests, {2, 4}, nullptr);
  ASSERT_EQ(results.size(), requests.size());
  for (const FetchResult& r : results) EXPECT_EQ(r.outcome, FetchOutcome::Arrived) << r.text;
  for (int i = 0; i < 5; ++i) {
    const std::string name = "/f" + std::to_string(i);
    EXPECT_TRUE(Read(into_.Path() + name) == RandomBytes(100000, i)) << name;
  }
  EXPECT_TRUE(Read(into_.Path() + "/f0 (1)") == RandomBytes(100000, 0));
}

TEST_P(RealFetchTest, CutByTheServersDeathResumesToTheSameBytes) {
  const std::string big = tree_.Path() + "/pub/big.bin";
  const std::size_t size = CutFileSize();
  WriteRandomFile(big, size, 11);
  const std::string part = into_.Path() + "/big.bin.part";
  bool killed = false;
  // Killed as soon as bytes have come: the rest can only be what the kernel
  // still held for us.
  const FetchResult cut = Fetch("/pub/big.bin", true, [&](const qb::FetchProgress& p) {
    if (!killed && p.bytes > 0) {
      killed = true;
      server_->Kill();
    }
  });
  ASSERT_TRUE(killed) << cut.text;
  EXPECT_EQ(cut.outcome, FetchOutcome::Failed) << cut.text;
  EXPECT_EQ(cut.path, part);
  ASSERT_TRUE(std::filesystem::exists(part));
  const auto kept = static_cast<int64_t>(std::filesystem::file_size(part));
  EXPECT_GT(kept, 0);
  EXPECT_LT(kept, static_cast<int64_t>(size));
  EXPECT_EQ(cut.bytes, kept);
  EXPECT_EQ(Entries(into_.Path()), std::vector<std::string>{"big.bin.part"});

  // Refused while dead: the .part is left as it was.
  const FetchResult refused = Fetch("/pub/big.bin");
  EXPECT_EQ(refused.outcome, FetchOutcome::Failed);
  EXPECT_EQ(static_cast<int64_t>(std::filesystem::file_size(part)), kept);

  ASSERT_TRUE(server_->Restart());
  const FetchResult resumed = Fetch("/pub/big.bin");
  ASSERT_EQ(resumed.outcome, FetchOutcome::Arrived) << resumed.text << "\n" << server_->Log();
  EXPECT_EQ(resumed.resumedFrom, kept);
  EXPECT_FALSE(resumed.restRefused);
  EXPECT_EQ(resumed.bytes, static_cast<int64_t>(size));
  EXPECT_EQ(resumed.path, into_.Path() + "/big.bin");
  EXPECT_TRUE(Sha256Of(resumed.path) == Sha256Of(big));
  EXPECT_EQ(Entries(into_.Path()), std::vector<std::string>{"big.bin"});
}

TEST_P(RealFetchTest, StoppedFetchKeepsOnlyWhatItSawAndResumes) {
  std::atomic<bool> abort{false};
  int64_t seen = 0;
  int calls = 0;
  const FetchResult stopped = Fetch(
      "/pub/data.bin", true,
      [&](const qb::FetchProgress& p) {
        ++calls;
        seen = p.bytes;
        abort = true;
      },
      &abort);
  EXPECT_EQ(stopped.outcome, FetchOutcome::Stopped) << stopped.text;
  // No piece is written once the flag is up: the .part holds what was reported.
  EXPECT_EQ(calls, 1);
  ASSERT_GT(seen, 0);
  EXPECT_LT(seen, static_cast<int64_t>(source_.size()));
  EXPECT_EQ(Read(into_.Path() + "/data.bin.part"), source_.substr(0, seen));

  const FetchResult resumed = Fetch("/pub/data.bin");
  ASSERT_EQ(resumed.outcome, FetchOutcome::Arrived) << resumed.text;
  EXPECT_EQ(resumed.resumedFrom, seen);
  EXPECT_TRUE(Read(resumed.path) == source_);
}

TEST_P(RealFetchTest, OneSessionServesManyFilesUntilTheServerDies) {
  for (int i = 0; i < 3; ++i)
    Write(tree_.Path() + "/pub/f" + std::to_string(i), RandomBytes(70000 + i, i));
  FetchResult failure;
  const std::unique_ptr<qb::FtpSession> session =
      qb::OpenFetchSession(server_->Url("/"), nullptr, failure);
  ASSERT_TRUE(session) << failure.text;
  const auto on = [&](const std::string& path) {
    return qb::FetchFileOn(*session, Request(path), nullptr);
  };
  const FetchResult first = on("/pub/f0");
  ASSERT_EQ(first.outcome, FetchOutcome::Arrived) << first.text;
  // A file the server refuses leaves the session serving.
  const FetchResult missing = on("/pub/none.bin");
  EXPECT_EQ(missing.outcome, FetchOutcome::Failed);
  EXPECT_EQ(missing.text.substr(0, 3), "550");
  EXPECT_FALSE(missing.sessionLost);
  for (const char* path : {"/pub/f1", "/pub/f2", "/pub/data.bin"}) {
    const FetchResult r = on(path);
    EXPECT_EQ(r.outcome, FetchOutcome::Arrived) << path << ": " << r.text;
    EXPECT_FALSE(r.sessionLost);
  }
  for (int i = 0; i < 3; ++i) {
    const std::string name = "/f" + std::to_string(i);
    EXPECT_TRUE(Read(into_.Path() + name) == RandomBytes(70000 + i, i)) << name;
  }
  EXPECT_TRUE(Read(into_.Path() + "/data.bin") == source_);
  EXPECT_EQ(server_->Connections(), 1);

  server_->Kill();
  const FetchResult dead = on("/pub/f0");
  EXPECT_EQ(dead.outcome, FetchOutcome::Failed);
  EXPECT_TRUE(dead.sessionLost);
  EXPECT_FALSE(std::filesystem::exists(into_.Path() + "/f0 (1).part"));
  session->Quit();
}

std::string CaseName(const ::testing::TestParamInfo<ServerCase>& p) {
  return std::string(std::get<0>(p.param) == qbtest::Ftpd::Vsftpd ? "Vsftpd" : "Proftpd") +
         (std::get<1>(p.param) ? "Tls" : "Plain");
}

INSTANTIATE_TEST_SUITE_P(ServersTlsOffAndOn, RealFetchTest,
                         ::testing::Combine(::testing::Values(qbtest::Ftpd::Vsftpd,
                                                              qbtest::Ftpd::Proftpd),
                                            ::testing::Bool()),
                         CaseName);

TEST(FullServerFetchTest, SaysHowManySessionsTheServerAllows) {
  qb::Settings.HttpTimeOut = 10;
  qb::Settings.DataMode = qb::FtpDataMode::Passive;
  qbtest::TempDir tree;
  qbtest::TempDir into;
  tree.File("pub/a.bin", 1000);
  qbtest::FtpdOptions options;
  options.maxPerHost = 1;
  qbtest::RealFtpd server(qbtest::Ftpd::Proftpd, tree.Path(), "127.0.0.1", options);
  if (!server.Unavailable().empty()) {
    if (FtpdRequired()) ADD_FAILURE() << server.Unavailable();
    GTEST_SKIP() << server.Unavailable();
  }
  FetchResult failure;
  const std::unique_ptr<qb::FtpSession> held =
      qb::OpenFetchSession(server.Url("/"), nullptr, failure);
  ASSERT_TRUE(held) << failure.text;
  EXPECT_FALSE(failure.connectionLimit);

  const FetchResult full =
      qb::FetchFile({server.Url("/pub/a.bin"), into.Path(), -1, true}, nullptr);
  EXPECT_EQ(full.outcome, FetchOutcome::Failed);
  EXPECT_EQ(full.connectionLimit, 1) << full.text;
  EXPECT_TRUE(Entries(into.Path()).empty());
  FetchResult second;
  EXPECT_FALSE(qb::OpenFetchSession(server.Url("/"), nullptr, second));
  EXPECT_EQ(second.connectionLimit, 1) << second.text;

  // The held session is not the one turned away.
  const FetchResult own =
      qb::FetchFileOn(*held, {server.Url("/pub/a.bin"), into.Path(), -1, true}, nullptr);
  EXPECT_EQ(own.outcome, FetchOutcome::Arrived) << own.text;
  held->Quit();
}

TEST(ScriptedFetchTest, RefusedRestStartsTheFileOver) {
  qb::Settings.HttpTimeOut = 10;
  qb::Settings.DataMode = qb::FtpDataMode::Active;
  qbtest::FakeFtpServer server;
  qbtest::FtpScript script = qbtest::FetchScriptUpToPort("10");
  script.On(qbtest::FtpReply::Line("502 REST not implemented"))
      .OnTransfer("150 Opening", {{"127.0.0.1", "0123456789"}}, "226 Done");
  server.AddSession(script);
  qbtest::TempDir into;
  Write(into.Path() + "/n.txt.part", "01xyz");
  FetchRequest request{server.Url("/n.txt"), into.Path(), -1, true};
  const FetchResult result = qb::FetchFile(request, nullptr);
  qb::Settings.DataMode = qb::FtpDataMode::Passive;
  ASSERT_EQ(result.outcome, FetchOutcome::Arrived) << result.text;
  EXPECT_TRUE(result.restRefused);
  EXPECT_EQ(Read(into.Path() + "/n.txt"), "0123456789");
  const std::vector<std::string> commands = server.Commands(0);
  EXPECT_NE(std::find(commands.begin(), commands.end(), "REST 5"), commands.end());
  EXPECT_EQ(Entries(into.Path()), std::vector<std::string>{"n.txt"});
}

TEST(ScriptedFetchTest, ShortTransferKeepsItsPart) {
  qb::Settings.HttpTimeOut = 10;
  qb::Settings.DataMode = qb::FtpDataMode::Active;
  qbtest::FakeFtpServer server;
  qbtest::FtpScript script = qbtest::FetchScriptUpToPort("10");
  script.OnTransfer("150 Opening", {{"127.0.0.1", "01234"}}, "226 Done");
  server.AddSession(script);
  qbtest::TempDir into;
  FetchRequest request{server.Url("/n.txt"), into.Path(), -1, true};
  const FetchResult result = qb::FetchFile(request, nullptr);
  qb::Settings.DataMode = qb::FtpDataMode::Passive;
  EXPECT_EQ(result.outcome, FetchOutcome::Failed);
  EXPECT_EQ(result.text, "got 5 of 10 bytes");
  EXPECT_EQ(Read(into.Path() + "/n.txt.part"), "01234");
  EXPECT_EQ(Entries(into.Path()), std::vector<std::string>{"n.txt.part"});
}

// The login, TYPE, and SIZE answered with size; PORT accepted.
qbtest::FtpScript BeforeRetr(const std::string& size) {
  qbtest::FtpScript script = qbtest::LoginScript();
  script.On(qbtest::FtpReply::Line(size)).On(qbtest::FtpReply::Line("200 PORT ok"));
  return script;
}

TEST(ScriptedFetchTest, WithoutASizeOnlyTheServersWordEndsAFile) {
  qb::Settings.HttpTimeOut = 10;
  qb::Settings.DataMode = qb::FtpDataMode::Active;
  qbtest::FakeFtpServer server;
  // Half the file, then the server is gone without a word.
  qbtest::FtpScript cut = BeforeRetr("550 SIZE not allowed in ASCII mode");
  cut.On({qbtest::FtpReply::Line("150 Opening"),
          {{"127.0.0.1", "01234"}},
          qbtest::FtpReply{}.Close()});
  server.AddSession(cut);
  // A size that is no number is no size: the rest comes after REST, and 226 ends it.
  qbtest::FtpScript rest = BeforeRetr("213 9x");
  rest.On(qbtest::FtpReply::Line("350 Restarting at 5"))
      .OnTransfer("150 Opening", {{"127.0.0.1", "56789"}}, "226 Done");
  server.AddSession(rest);
  qbtest::TempDir into;
  const FetchRequest request{server.Url("/n.txt"), into.Path(), -1, true};
  const FetchResult first = qb::FetchFile(request, nullptr);
  EXPECT_EQ(first.outcome, FetchOutcome::Failed);
  EXPECT_EQ(Entries(into.Path()), std::vector<std::string>{"n.txt.part"});
  EXPECT_EQ(Read(into.Path() + "/n.txt.part"), "01234");

  const FetchResult second = qb::FetchFile(request, nullptr);
  qb::Settings.DataMode = qb::FtpDataMode::Passive;
  ASSERT_EQ(second.outcome, FetchOutcome::Arrived) << second.text;
  EXPECT_EQ(second.resumedFrom, 5);
  EXPECT_EQ(Read(into.Path() + "/n.txt"), "0123456789");
  const std::vector<std::string> commands = server.Commands(1);
  EXPECT_NE(std::find(commands.begin(), commands.end(), "REST 5"), commands.end());
  EXPECT_EQ(Entries(into.Path()), std::vector<std::string>{"n.txt"});
}

TEST(ScriptedFetchTest, AWholePartArrivesWithoutATransfer) {
  qb::Settings.HttpTimeOut = 10;
  qbtest::FakeFtpServer server;
  server.AddSession(BeforeRetr("213 10"));
  qbtest::TempDir into;
  Write(into.Path() + "/n.txt.part", "0123456789");
  const FetchResult r = qb::FetchFile({server.Url("/n.txt"), into.Path(), -1, true}, nullptr);
  ASSERT_EQ(r.outcome, FetchOutcome::Arrived) << r.text;
  EXPECT_EQ(r.resumedFrom, 10);
  EXPECT_EQ(r.bytes, 10);
  EXPECT_EQ(Read(into.Path() + "/n.txt"), "0123456789");
  const std::vector<std::string> commands = server.Commands(0);
  EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                          [](const std::string& c) { return c.rfind("RETR", 0) == 0; }),
            0);
}

TEST(ScriptedFetchTest, ServerNamesLandInsideTheChosenFolder) {
  qb::Settings.HttpTimeOut = 10;
  qb::Settings.DataMode = qb::FtpDataMode::Active;
  qbtest::FakeFtpServer server;
  qbtest::TempDir outer;
  const std::string into = outer.Path() + "/into";
  std::filesystem::create_directory(into);
  Write(into + "/readme.txt", "mine");
  // Names as a listing of /pub/ offers them, in the kept (decoded) form of
  // their URLs: site, folder, name, nothing escaped.
  const std::string folderUrl = server.Url("/pub/");
  const std::vector<std::pair<std::string, std::string>> offered = {
      {"../x", "up"}, {"/etc/x", "etc"}, {".bashrc", "rc"}, {"readme.txt", "theirs"}};
  for (const auto& [name, bytes] : offered) {
    qbtest::FtpScript script = BeforeRetr("213 " + std::to_string(bytes.size()));
    script.OnTransfer("150 Opening", {{"127.0.0.1", bytes}}, "226 Done");
    server.AddSession(script);
  }
  for (const auto& [name, bytes] : offered) {
    const FetchResult r = qb::FetchFile({folderUrl + name, into, -1, true}, nullptr);
    EXPECT_EQ(r.outcome, FetchOutcome::Arrived) << name << ": " << r.text;
  }
  // No command can carry a line break: refused before the server is asked.
  const FetchResult broken = qb::FetchFile({folderUrl + "a\nDELE b.txt", into, -1, true}, nullptr);
  qb::Settings.DataMode = qb::FtpDataMode::Passive;
  EXPECT_EQ(broken.outcome, FetchOutcome::Failed);
  EXPECT_NE(broken.text.find("line break"), std::string::npos) << broken.text;
  EXPECT_TRUE(broken.path.empty());
  EXPECT_EQ(server.Sessions(), offered.size());

  EXPECT_EQ(Entries(outer.Path()), std::vector<std::string>{"into"});
  EXPECT_EQ(Entries(into),
            (std::vector<std::string>{"_bashrc", "readme (1).txt", "readme.txt", "x", "x (1)"}));
  EXPECT_EQ(Read(into + "/x"), "up");
  EXPECT_EQ(Read(into + "/x (1)"), "etc");
  EXPECT_EQ(Read(into + "/_bashrc"), "rc");
  EXPECT_EQ(Read(into + "/readme.txt"), "mine");
  EXPECT_EQ(Read(into + "/readme (1).txt"), "theirs");
}

TEST(ScriptedFetchTest, AUrlTooLongForItsPartsIsNotCutToAnotherFile) {
  qbtest::TempDir into;
  const std::string url = "ftp://127.0.0.1:1/" + std::string(600, 'a') + ".bin";
  const FetchResult r = qb::FetchFile({url, into.Path(), -1, true}, nullptr);
  EXPECT_EQ(r.outcome, FetchOutcome::Failed);
  EXPECT_EQ(r.text, "the URL is too long");
  EXPECT_TRUE(Entries(into.Path()).empty());
}

}  // namespace
