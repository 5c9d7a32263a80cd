#include "core/single_instance.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
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

// Another local user can plant a lock file or a link where the lock goes: the
// start neither waits on it without end nor writes through the link.
TEST_F(SingleInstanceTest, ALockHeldOrPlantedElsewhereIsNeitherWaitedOnNorFollowed) {
  const std::string lockPath = path_ + ".lock";
  const int held = open(lockPath.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  SingleInstance blocked(path_);
  EXPECT_EQ(blocked.ClaimOrHand({}), SingleInstance::Claim::First);
  EXPECT_NE(blocked.Alone().find("holds"), std::string::npos) << blocked.Alone();
  EXPECT_FALSE(fs::exists(path_)) << "no door while another start holds the lock";
  close(held);
  fs::remove(lockPath);

  const std::string target = dir_ + "/planted";
  fs::create_symlink(target, lockPath);
  SingleInstance linked(path_);
  EXPECT_EQ(linked.ClaimOrHand({}), SingleInstance::Claim::First);
  EXPECT_FALSE(fs::exists(target)) << "the link was followed";
  EXPECT_FALSE(linked.Alone().empty());
}

TEST_F(SingleInstanceTest, OnlyAFolderOfThisUsersOwnIsPrivate) {
  EXPECT_TRUE(IsPrivateFolder(dir_));  // mkdtemp makes it 0700
  const std::string open = dir_ + "/open";
  fs::create_directory(open);
  fs::permissions(open, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  EXPECT_FALSE(IsPrivateFolder(open));
  fs::create_directory_symlink(dir_, dir_ + "/link");
  EXPECT_FALSE(IsPrivateFolder(dir_ + "/link"));
  EXPECT_FALSE(IsPrivateFolder(dir_ + "/missing"));
}

TEST_F(SingleInstanceTest, OnePerDisplayAndNoneWithout) {
  const char* display = getenv("DISPLAY");
  const std::string saved = display ? display : "";
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  const std::string savedRuntime = runtime ? runtime : "";
  setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
  setenv("DISPLAY", ":7", 1);
  EXPECT_EQ(InstanceSocketPath(), dir_ + "/quillbrook-:7.sock");
  // A runtime folder open to others is not used: the user's own under /tmp is.
  fs::permissions(dir_, fs::perms::owner_all | fs::perms::others_exec);
  const std::string own = "/tmp/quillbrook-" + std::to_string(getuid());
  EXPECT_EQ(InstanceSocketPath(), own + "/quillbrook-:7.sock");
  EXPECT_TRUE(IsPrivateFolder(own));
  fs::permissions(dir_, fs::perms::owner_all);
  if (savedRuntime.empty())
    unsetenv("XDG_RUNTIME_DIR");
  else
    setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
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
