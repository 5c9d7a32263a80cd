#include "core/single_instance.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>

using namespace qb;
namespace fs = std::filesystem;

namespace {

class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qb-instance-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = dir_ + "/q.sock";
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string dir_, path_;
};

TEST_F(SingleInstanceTest, SecondStartHandsItsSitesToTheFirst) {
  SingleInstance first(path_);
  ASSERT_EQ(first.ClaimOrHand({}), SingleInstance::Claim::First);
  std::mutex lock;
  std::condition_variable arrived;
  std::vector<std::vector<std::string>> messages;
  first.Serve([&](std::vector<std::string> sites) {
    std::lock_guard<std::mutex> hold(lock);
    messages.push_back(std::move(sites));
    arrived.notify_all();
  });

  SingleInstance second(path_);
  EXPECT_EQ(second.ClaimOrHand({"ftp://a.example/", "ftp://b.example/pub/"}),
            SingleInstance::Claim::HandedOver);
  SingleInstance third(path_);
  EXPECT_EQ(third.ClaimOrHand({}), SingleInstance::Claim::HandedOver);  // just comes forward
  std::unique_lock<std::mutex> hold(lock);
  ASSERT_TRUE(
      arrived.wait_for(hold, std::chrono::seconds(10), [&] { return messages.size() == 2; }));
  EXPECT_EQ(messages[0], (std::vector<std::string>{"ftp://a.example/", "ftp://b.example/pub/"}));
  EXPECT_TRUE(messages[1].empty());
}

TEST_F(SingleInstanceTest, SocketLeftByAnEndedProgramIsTakenOver) {
  {
    // A socket file nobody listens on any more.
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path_.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);
  }
  SingleInstance first(path_);
  EXPECT_EQ(first.ClaimOrHand({}), SingleInstance::Claim::First);
  SingleInstance second(path_);
  EXPECT_EQ(second.ClaimOrHand({}), SingleInstance::Claim::NoAnswer);  // not serving yet
}

TEST(InstanceSocketPath, OnePerDisplayAndNoneWithout) {
  const char* display = getenv("DISPLAY");
  const std::string saved = display ? display : "";
  setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
  setenv("DISPLAY", ":7", 1);
  EXPECT_EQ(InstanceSocketPath(), "/run/user/1000/quillbrook-:7.sock");
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  EXPECT_EQ(InstanceSocketPath(), "");
  setenv("DISPLAY", std::string(200, 'x').c_str(), 1);
  EXPECT_EQ(InstanceSocketPath(), "");  // too long for a socket address
  if (saved.empty())
    unsetenv("DISPLAY");
  else
    setenv("DISPLAY", saved.c_str(), 1);
}

}  // namespace
