#include "net/ftp_control.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <memory>
#include <string>
#include <thread>

#include "net/ftp_reply_parser.h"
#include "net/socket_stream.h"

using namespace qb;

namespace {

using namespace std::chrono_literals;

std::vector<FtpReply> ParseAll(const std::string& text, FtpReplyParser& parser) {
  parser.Feed(text);
  std::vector<FtpReply> replies;
  while (auto reply = parser.Next()) replies.push_back(*reply);
  return replies;
}

TEST(FtpReplyParser, FramesRepliesAsTheProtocolDoes) {
  FtpReplyParser parser;
  const auto replies = ParseAll(
      "noise before\r\n"
      "220-Welcome\r\n  123 Main street\r\n230 not the end\r\n220 Ready\r\n"
      "150 Opening\n226 Done\r\n"
      "200",
      parser);
  ASSERT_EQ(replies.size(), 3u);
  EXPECT_EQ(replies[0].code, 220);
  EXPECT_EQ(replies[0].line, "220 Ready");
  EXPECT_EQ(replies[0].text,
            "220-Welcome\r\n  123 Main street\r\n230 not the end\r\n220 Ready\r\n");
  EXPECT_TRUE(replies[1].Preliminary());
  EXPECT_EQ(replies[1].line, "150 Opening");  // a bare line feed ends a line too
  EXPECT_EQ(replies[2].line, "226 Done");
  // "200" has no line end yet: it is the next reply once it arrives.
  EXPECT_FALSE(parser.Next());
  const auto rest = ParseAll(" OK\r\n", parser);
  ASSERT_EQ(rest.size(), 1u);
  EXPECT_EQ(rest[0].line, "200 OK");
}

TEST(FtpReplyParser, OutputsAreCutAndEndlessInputBreaksTheStream) {
  FtpReplyParser parser;
  std::string banner;
  while (banner.size() < 3000) banner += "230-" + std::string(60, 'w') + "\r\n";
  const std::string longLine = "230 " + std::string(700, 'x');
  const auto replies = ParseAll(banner + longLine + "\r\n", parser);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].line, longLine.substr(0, ReplyLineSize - 1));
  EXPECT_EQ(replies[0].text, banner.substr(0, ReplyTextSize - 1));

  FtpReplyParser endless;
  ParseAll("220 ", endless);
  for (int i = 0; i < 2 && !endless.Broken(); ++i) ParseAll(std::string(4096, 'x'), endless);
  EXPECT_TRUE(endless.Broken());
  ParseAll("\r\n220 late\r\n", endless);
  EXPECT_FALSE(endless.Next());

  FtpReplyParser block;  // a block that never closes
  std::string lines;
  while (lines.size() <= ReplyBytesMax) lines += "220-more\r\n";
  EXPECT_TRUE(ParseAll(lines + "220 end\r\n", block).empty());
  EXPECT_TRUE(block.Broken());
}

// However the bytes are cut, the replies and the line limit come out the same.
TEST(FtpReplyParser, PiecesOfAnySizeFrameAsTheWhole) {
  // The long line is exactly at the limit, so a piece ending after its CR is tried.
  const std::string text = "220-first\r\n" + std::string(ReplyLineMax, 'b') + "\r\n220 " +
                           std::string(900, 'c') + "\r\n331 Password\r\n";
  FtpReplyParser whole;
  const auto expected = ParseAll(text, whole);
  ASSERT_EQ(expected.size(), 2u);
  for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
    FtpReplyParser parser;
    std::vector<FtpReply> replies;
    for (std::size_t at = 0; at < text.size(); at += piece) {
      for (const FtpReply& r : ParseAll(text.substr(at, piece), parser)) replies.push_back(r);
    }
    ASSERT_EQ(replies.size(), expected.size()) << piece;
    for (std::size_t i = 0; i < replies.size(); ++i) {
      EXPECT_EQ(replies[i].line, expected[i].line) << piece;
      EXPECT_EQ(replies[i].text, expected[i].text) << piece;
    }
  }
  // A line end still unseen at the limit breaks the stream, a byte at a time too.
  FtpReplyParser endless;
  std::size_t fed = 0;
  while (!endless.Broken() && fed <= ReplyLineMax + 1) {
    ParseAll("x", endless);
    ++fed;
  }
  EXPECT_TRUE(endless.Broken());
  EXPECT_EQ(fed, ReplyLineMax + 1);
}

// A connected pair: the client end for the code under test, the server end
// written by the test.
class ControlTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds_), 0); }
  void TearDown() override {
    close(fds_[0]);
    if (fds_[1] >= 0) close(fds_[1]);
  }
  void Say(const std::string& bytes) { send(fds_[1], bytes.data(), bytes.size(), MSG_NOSIGNAL); }
  std::string Heard() {
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = recv(fds_[1], buf, sizeof buf, MSG_DONTWAIT)) > 0) text.append(buf, n);
    return text;
  }
  int fds_[2] = {-1, -1};
};

// A reply is handed on as soon as its final line is in, however long the
// server goes on talking; the old way waited for silence.
TEST_F(ControlTest, ReplyArrivesWithoutWaitingForSilence) {
  FtpControl control(fds_[0], 600000);
  std::atomic<bool> stop{false};
  std::thread chatter([&] {
    Say("230 ok\r\n");
    while (!stop) {
      Say("x");
      std::this_thread::sleep_for(5ms);
    }
  });
  const std::optional<FtpReply> reply = control.Read();
  stop = true;
  chatter.join();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->line, "230 ok");
}

TEST_F(ControlTest, CommandPassesOverPreliminaryRepliesWithinABound) {
  FtpControl control(fds_[0], 2000);
  Say("150 Opening\r\n226 Done\r\n");
  FtpReply last;
  EXPECT_TRUE(control.Command("LIST", last));
  EXPECT_EQ(last.line, "226 Done");
  EXPECT_EQ(Heard(), "LIST\r\n");

  std::string flood;
  for (int i = 0; i <= FtpControl::MaxPreliminary; ++i) flood += "150 wait\r\n";
  Say(flood + "200 too late\r\n");
  EXPECT_FALSE(control.Command("NOOP", last));
  EXPECT_EQ(last.line, "150 wait");
}

TEST_F(ControlTest, LineBreaksInACommandAreNeverSent) {
  FtpControl control(fds_[0], 2000);
  FtpReply last;
  EXPECT_FALSE(control.Command("CWD /a\r\nDELE x", last));
  EXPECT_EQ(last.code, 0);
  EXPECT_EQ(Heard(), "");
}

TEST_F(ControlTest, RepliesBeforeTheEndCountAndThenNothing) {
  FtpControl control(fds_[0], 2000);
  Say("421 Bye\r\n");
  close(fds_[1]);
  fds_[1] = -1;
  const std::optional<FtpReply> reply = control.Read();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->code, 421);
  EXPECT_FALSE(control.Read());
}

TEST_F(ControlTest, AbortEndsTheWait) {
  std::atomic<bool> abort{false};
  FtpControl control(fds_[0], 0, &abort);  // no time bound: only the abort ends it
  std::thread aborter([&] { abort = true; });
  EXPECT_FALSE(control.Read());
  aborter.join();
}

// The session hands its control socket to the site entry, which closes it
// later: a stream that closed it too would close a descriptor reused by then.
TEST_F(ControlTest, OnlyAnOwningStreamClosesItsSocket) {
  const auto open = [](int fd) { return fcntl(fd, F_GETFD) != -1; };
  { FtpControl control(fds_[0], 2000); }
  EXPECT_TRUE(open(fds_[0]));
  {
    auto stream = std::make_unique<SocketStream>(UniqueFd(fds_[0]));
    EXPECT_EQ(stream->Disown(), fds_[0]);
    FtpControl control(std::move(stream), 2000);
    Say("220 hi\r\n");
    ASSERT_TRUE(control.Read());
  }
  EXPECT_TRUE(open(fds_[0]));
  const int spare = dup(fds_[0]);
  { SocketStream owning{UniqueFd(spare)}; }
  EXPECT_FALSE(open(spare));
}

TEST(TimeoutMillis, SaturatesAndKeepsNoBound) {
  EXPECT_EQ(TimeoutMillis(5), 5000);
  EXPECT_EQ(TimeoutMillis(0), 0);
  EXPECT_EQ(TimeoutMillis(-3), 0);
  EXPECT_EQ(TimeoutMillis(INT32_MAX), INT_MAX);
}

}  // namespace
