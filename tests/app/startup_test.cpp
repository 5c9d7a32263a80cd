// Runs the real program from a copy of the output folder.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/wait.h"

namespace fs = std::filesystem;

namespace {
// Each look at the window tree is a new client of the display: asked two hundred
// times a second on a loaded machine, the server's backlog overflows and the
// program under test cannot connect.
constexpr std::chrono::milliseconds XPoll{100};

struct Child {
  pid_t pid = -1;
  int errFd = -1;
};

// Starts program in cwd with args; with display false the child has no DISPLAY.
Child Start(const fs::path& program, const fs::path& cwd, bool display,
            const std::vector<std::string>& args = {}) {
  std::vector<std::string> words = {program.string()};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  int err[2];
  if (pipe(err) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(err[1], 2);
    close(err[0]);
    if (!display) unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    if (chdir(cwd.c_str()) != 0) _exit(126);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(err[1]);
  fcntl(err[0], F_SETFL, O_NONBLOCK);
  return {pid, err[0]};
}

// Exit status, or -1 when the child is still running after boundMs.
int WaitExit(pid_t pid, int boundMs) {
  int code = -1;
  qbtest::WaitUntil(
      [&] {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
          code = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        return code != -1;
      },
      std::chrono::milliseconds(boundMs));
  return code;
}

std::string Drain(int fd) {
  std::string out;
  char buf[512];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) out.append(buf, n);
  return out;
}

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

// Named windows below root, as the window manager would see them.
void NamedWindows(Display* d, Window w, std::vector<std::pair<Window, std::string>>* out) {
  char* name = nullptr;
  if (XFetchName(d, w, &name) && name) {
    XWindowAttributes a;
    if (XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable) out->push_back({w, name});
    XFree(name);
  }
  Window root, parent, *children = nullptr;
  unsigned n = 0;
  if (!XQueryTree(d, w, &root, &parent, &children, &n)) return;
  for (unsigned i = 0; i < n; ++i) NamedWindows(d, children[i], out);
  if (children) XFree(children);
}

// What the close box sends.
void AskToClose(Display* d, Window w) {
  XEvent e = {};
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, w, False, NoEventMask, &e);
  XFlush(d);
}

class StartupTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* build = std::getenv("QB_BUILD_DIR");
    ASSERT_NE(build, nullptr);
    bin = fs::path(build) / "bin";
    dir =
        fs::temp_directory_path() / ("qb_startup_" + std::to_string(getpid()) + "_" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::copy_file(bin / "quillbrook", dir / "quillbrook");
  }
  void TearDown() override { fs::remove_all(dir); }

  fs::path bin, dir;
};
}  // namespace

TEST_F(StartupTest, WithoutTheResourceLibraryEndsWithAClearError) {
  Child child = Start(dir / "quillbrook", fs::temp_directory_path(), false);
  ASSERT_GT(child.pid, 0);
  const int code = WaitExit(child.pid, 20000);
  const std::string err = Drain(child.errFd);
  close(child.errFd);
  EXPECT_NE(code, 0);
  EXPECT_NE(code, -1) << "still running";
  const std::string path = (dir / "FtpRes.so").string();
  const std::size_t named = err.find(path);
  EXPECT_NE(named, std::string::npos) << err;
  EXPECT_EQ(err.find(path, named + path.size()), std::string::npos) << "named once: " << err;
  // It ended before reading or writing anything beside it.
  EXPECT_FALSE(fs::exists(dir / "FTP-ZEVO.ini"));
  if (code == -1) kill(child.pid, SIGKILL), waitpid(child.pid, nullptr, 0);
}

TEST_F(StartupTest, StartsInItsOwnFolderWithItsFrame) {
  for (const char* name : {"FtpRes.so", "ZEVO.avi"}) fs::copy_file(bin / name, dir / name);
  Child child = Start(dir / "quillbrook", "/", true);
  ASSERT_GT(child.pid, 0);
  std::string line;
  qbtest::WaitUntil(
      [&] {
        const std::string tree = Output("xwininfo -root -tree 2>/dev/null");
        const auto at = tree.find("\" FTP Quillbrook v 0.31\"");
        if (at != std::string::npos) line = tree.substr(at, tree.find('\n', at) - at);
        return !line.empty();
      },
      std::chrono::seconds(20), XPoll);
  char cwd[4096] = {};
  const ssize_t n =
      readlink(("/proc/" + std::to_string(child.pid) + "/cwd").c_str(), cwd, sizeof cwd - 1);
  kill(child.pid, SIGKILL);
  waitpid(child.pid, nullptr, 0);
  close(child.errFd);
  ASSERT_FALSE(line.empty()) << "no frame appeared";
  // The title keeps its leading blank; the frame sits at the top left.
  EXPECT_NE(line.find("861x605+0+0"), std::string::npos) << line;
  ASSERT_GT(n, 0);
  EXPECT_EQ(fs::path(cwd), fs::canonical(dir));
}

TEST_F(StartupTest, ClosingTheFrameEndsTheProgramWithCodeZero) {
  for (const char* name : {"FtpRes.so", "ZEVO.avi"}) fs::copy_file(bin / name, dir / name);
  Display* d = XOpenDisplay(nullptr);
  ASSERT_NE(d, nullptr);
  Child child = Start(dir / "quillbrook", dir, true);
  ASSERT_GT(child.pid, 0);
  const std::string title = " FTP Quillbrook v 0.31";
  // The first search dialog opens by itself; it is closed first, as a user
  // must before the frame answers its close box.
  int code = -1;
  Window frame = 0;
  bool frameAsked = false;
  qbtest::WaitUntil(
      [&] {
        std::vector<std::pair<Window, std::string>> windows;
        NamedWindows(d, DefaultRootWindow(d), &windows);
        bool others = false;
        for (const auto& [w, name] : windows) {
          if (name == title)
            frame = w;
          else
            others = true, AskToClose(d, w);
        }
        if (frame && !others) {
          AskToClose(d, frame);
          frameAsked = true;
        }
        code = WaitExit(child.pid, 200);
        return code != -1;
      },
      std::chrono::seconds(30));
  XCloseDisplay(d);
  if (code == -1) kill(child.pid, SIGKILL), waitpid(child.pid, nullptr, 0);
  close(child.errFd);
  EXPECT_NE(frame, 0u) << "no frame appeared";
  EXPECT_TRUE(frameAsked) << "ended before its frame was closed";
  EXPECT_EQ(code, 0);
}

// Sites given on the command line stand in for the first search; a second start
// hands its own to the running program and ends.
TEST_F(StartupTest, GivenSitesSkipTheSearchAndASecondStartHandsItsOwnOver) {
  for (const char* name : {"FtpRes.so", "ZEVO.avi"}) fs::copy_file(bin / name, dir / name);
  Child first = Start(dir / "quillbrook", dir, true, {"ftp://127.0.0.1:1/pub/"});
  ASSERT_GT(first.pid, 0);
  const bool framed = qbtest::WaitUntil(
      [&] {
        return Output("xwininfo -root -tree 2>/dev/null").find("\" FTP Quillbrook v 0.31\"") !=
               std::string::npos;
      },
      std::chrono::seconds(20), XPoll);
  // What the first start said and whether it still runs, should no frame come.
  const std::string firstSaid = framed ? std::string() : Drain(first.errFd);
  const int firstCode = framed ? -1 : WaitExit(first.pid, 0);
  Child second = Start(dir / "quillbrook", dir, true, {"127.0.0.2"});
  ASSERT_GT(second.pid, 0);
  const int code = WaitExit(second.pid, 15000);
  const std::string said = Drain(second.errFd);
  const std::string tree = Output("xwininfo -root -tree 2>/dev/null");
  Child bad = Start(dir / "quillbrook", dir, true, {"http://example.org/"});
  const int badCode = WaitExit(bad.pid, 15000);
  const std::string badSaid = Drain(bad.errFd);
  kill(first.pid, SIGKILL);
  waitpid(first.pid, nullptr, 0);
  for (int fd : {first.errFd, second.errFd, bad.errFd}) close(fd);
  EXPECT_TRUE(framed) << "no frame appeared; the first start "
                      << (firstCode == -1 ? "runs" : "ended with " + std::to_string(firstCode))
                      << " and said: " << firstSaid;
  EXPECT_EQ(code, 0) << said;
  EXPECT_NE(said.find("handed over"), std::string::npos) << said;
  EXPECT_EQ(tree.find("New search"), std::string::npos) << "the search dialog opened";
  // A site that names none is reported by its number and skipped; the start
  // goes on and hands over to the running program.
  EXPECT_EQ(badCode, 0) << badSaid;
  EXPECT_NE(badSaid.find("quillbrook: argument 1: not an FTP address: http://example.org/\n"),
            std::string::npos)
      << badSaid;
}

// Options are read before the toolkit starts: one the program does not know is
// refused with the usage text, display or none.
TEST_F(StartupTest, AnUnknownOptionGetsTheUsageAndCodeTwoWithoutADisplay) {
  for (const bool display : {false, true}) {
    Child child = Start(dir / "quillbrook", dir, display, {"ftp://127.0.0.1:1/", "--bogus"});
    ASSERT_GT(child.pid, 0);
    const int code = WaitExit(child.pid, 15000);
    const std::string err = Drain(child.errFd);
    close(child.errFd);
    if (code == -1) kill(child.pid, SIGKILL), waitpid(child.pid, nullptr, 0);
    EXPECT_EQ(code, 2) << "display " << display << ": " << err;
    EXPECT_EQ(err.rfind("quillbrook: unknown option --bogus\nUsage: quillbrook [OPTION]", 0), 0u)
        << err;
    EXPECT_NE(err.find("--version"), std::string::npos) << err;
  }
}

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
