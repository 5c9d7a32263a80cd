#include "net/data_connection.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "net/socket_util.h"
#include "tests/support/fake_ftp_server.h"
#include "tests/support/loopback_listener.h"

using namespace qb;

namespace {

TEST(PassiveReplies, PortsComeOnlyFromWellFormedReplies) {
  const std::pair<const char*, std::optional<uint16_t>> pasv[] = {
      {"227 Entering Passive Mode (127,0,0,1,19,137)", 5001},
      {"227 Entering Passive Mode 10,1,2,3,0,21", 21},  // no brackets
      {"227 =192,168,1,5,255,255", 65535},              // a private address: only the port is used
      {"227 Entering Passive Mode (127,0,0,1,0,0)", std::nullopt},  // port 0
      {"227 Entering Passive Mode (127,0,0,1,256,1)", std::nullopt},
      {"227 Entering Passive Mode (127,0,0,1,19)", std::nullopt},
      {"227 Entering Passive Mode (1,2,3,4,5,0006)", std::nullopt},  // four digits
      {"227 garbage", std::nullopt},
      {"200 (127,0,0,1,19,137)", std::nullopt},
  };
  for (const auto& [line, port] : pasv) EXPECT_EQ(ParsePasvReply(line), port) << line;

  const std::pair<const char*, std::optional<uint16_t>> epsv[] = {
      {"229 Entering Extended Passive Mode (|||6446|)", 6446},
      {"229 ok (!!!21!)", 21},
      {"229 Entering Extended Passive Mode (|||0|)", std::nullopt},
      {"229 Entering Extended Passive Mode (|||65536|)", std::nullopt},
      {"229 Entering Extended Passive Mode (|||123456|)", std::nullopt},
      {"229 Entering Extended Passive Mode (|2|::1|6446|)", std::nullopt},
      {"229 Entering Extended Passive Mode (|||6446)", std::nullopt},
      {"229 (| | |6446|)", std::nullopt},
      {"229 (|||", std::nullopt},
      {"227 (|||6446|)", std::nullopt},
  };
  for (const auto& [line, port] : epsv) EXPECT_EQ(ParseEpsvReply(line), port) << line;
}

TEST(ActiveCommands, CarryAddressAndPort) {
  EXPECT_EQ(FormatPortCommand(0x0A010203, 5001), "PORT 10,1,2,3,19,137");
  sockaddr_in6 v6{};
  v6.sin6_family = AF_INET6;
  inet_pton(AF_INET6, "2001:db8::7", &v6.sin6_addr);
  v6.sin6_port = htons(6446);
  EXPECT_EQ(
      FormatEprtCommand(SocketAddress::From(reinterpret_cast<const sockaddr*>(&v6), sizeof v6)),
      "EPRT |2|2001:db8::7|6446|");
}

// A control connection to a fake server that answers its commands in order.
class DataTest : public ::testing::Test {
 protected:
  void Connect(std::vector<std::string> replies) {
    qbtest::FtpScript script;
    script.Greeting(qbtest::FtpReply::Silent());
    for (const std::string& r : replies) script.On(qbtest::FtpReply::Line(r));
    server_.AddSession(script);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(server_.Port());
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    peer_ = SocketAddress::From(reinterpret_cast<sockaddr*>(&to), sizeof to);
    fd_ = ConnectWithin(peer_, 5000);
    ASSERT_TRUE(fd_.valid());
    control_.emplace(fd_.get(), 5000);
  }

  qbtest::FakeFtpServer server_{"127.0.0.1"};
  SocketAddress peer_;
  UniqueFd fd_;
  std::optional<FtpControl> control_;
};

// The port a PASV reply names is reached on the control peer's host, never on
// the address the reply names.
TEST_F(DataTest, PassiveConnectsToThePeerWhateverAddressIsNamed) {
  qbtest::LoopbackListener data("127.0.0.1");
  const unsigned port = data.Port();
  Connect({"227 Entering Passive Mode (10,9,8,7," + std::to_string(port >> 8) + "," +
           std::to_string(port & 255) + ")"});
  std::unique_ptr<ByteStream> connection;
  FtpReply last;
  EXPECT_EQ(OpenPassiveData(*control_, peer_, 5000, nullptr, 0, connection, last),
            PassiveOutcome::Connected);
  ASSERT_TRUE(connection);
  EXPECT_EQ(SocketAddress::PeerOf(connection->Fd()).Port(), port);
  EXPECT_EQ(SocketAddress::PeerOf(connection->Fd()).HostText(), "127.0.0.1");
  EXPECT_EQ(server_.Commands(0), (std::vector<std::string>{"PASV"}));
}

TEST_F(DataTest, RefusedPasvTriesEpsvThenGivesUp) {
  Connect({"502 No PASV", "500 No EPSV"});
  std::unique_ptr<ByteStream> connection;
  FtpReply last;
  EXPECT_EQ(OpenPassiveData(*control_, peer_, 5000, nullptr, 0, connection, last),
            PassiveOutcome::Refused);
  EXPECT_EQ(server_.Commands(0), (std::vector<std::string>{"PASV", "EPSV"}));
  EXPECT_EQ(last.line, "500 No EPSV");
}

TEST_F(DataTest, GarbledOrZeroPortFailsWithoutConnecting) {
  Connect({"227 Entering Passive Mode (127,0,0,1,0,0)"});
  std::unique_ptr<ByteStream> connection;
  FtpReply last;
  EXPECT_EQ(OpenPassiveData(*control_, peer_, 5000, nullptr, 0, connection, last),
            PassiveOutcome::Failed);
  EXPECT_FALSE(connection);
}

TEST_F(DataTest, ActiveAnnouncesTheListenerOnTheControlAddress) {
  Connect({"200 PORT ok"});
  const UniqueFd listener = OpenActiveData(*control_);
  ASSERT_TRUE(listener.valid());
  const SocketAddress bound = SocketAddress::LocalOf(listener.get());
  EXPECT_EQ(bound.HostText(), "127.0.0.1");
  const unsigned port = bound.Port();
  EXPECT_EQ(server_.Commands(0),
            (std::vector<std::string>{"PORT 127,0,0,1," + std::to_string(port >> 8) + "," +
                                      std::to_string(port & 255)}));
}

TEST_F(DataTest, RefusedPortGivesNoListener) {
  Connect({"500 No"});
  EXPECT_FALSE(OpenActiveData(*control_).valid());
}

TEST(ConnectWithin, RefusedAndAbortedConnectionsFail) {
  qbtest::LoopbackListener closed("127.0.0.1");
  const sockaddr_in to = closed.Endpoint();
  closed.Close();
  EXPECT_FALSE(
      ConnectWithin(SocketAddress::From(reinterpret_cast<const sockaddr*>(&to), sizeof to), 2000)
          .valid());
  // 192.0.2.0/24 is never routed: only the abort can end this wait.
  sockaddr_in nowhere{};
  nowhere.sin_family = AF_INET;
  nowhere.sin_port = htons(21);
  inet_pton(AF_INET, "192.0.2.1", &nowhere.sin_addr);
  std::atomic<bool> abort{true};
  EXPECT_FALSE(ConnectWithin(
                   SocketAddress::From(reinterpret_cast<const sockaddr*>(&nowhere), sizeof nowhere),
                   0, &abort)
                   .valid());
}

}  // namespace
