// Five real engine threads fill the table to its bound from a loopback engine
// server, while the search dialog is closed and opened again under them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/settings.h"
#include "core/site_table.h"
#include "core/text_helpers.h"
#include "search/engine.h"
#include "search/search_view.h"
#include "tests/hostile/hostile_server.h"

using namespace qb;

namespace {

using namespace std::chrono_literals;
using qbtest::HostileServer;

// Counts what reaches the dialog; the engines call it from their threads.
class CountingView : public SearchView {
 public:
  void SetNumber(int, int) override { ++calls; }
  void ClearText(int) override { ++calls; }
  void AddFound(int, const std::string& url) override {
    ++calls;
    if (url.compare(0, 6, "ftp://") != 0) ++badUrls;
  }
  void ShowMark(int) override { ++calls; }
  bool IsChecked(int) override { return true; }
  std::string ReadTerm(int) override { return {}; }
  bool Message(int, const char*, MessageStyle) override { return true; }
  void PlayAnimation() override {}
  void StopAnimation() override {}
  void PostOk() override {}

  std::atomic<int> calls{0};
  std::atomic<int> badUrls{0};
};

// Result i of a page, in the format of the engine whose request path it got.
// Every engine draws from the same 3000 folders, so the engines overlap.
std::string Result(const std::string& path, int i) {
  const std::string text = "h" + std::to_string(i % 700) + ".test/d" + std::to_string(i) + "/f.zip";
  if (path.starts_with("/s/s?")) return "<a href=\"ftp://" + text + "\">x</a>";
  if (path.starts_with("/cgi-bin/")) return "<td class=ls><a href=/x?q=" + text + " class=d>";
  if (path.starts_with("/s.php3")) return "<A HREF=\"ftp://" + text + "\">x</A>";
  if (path.starts_with("/swadv/")) return "<a href=\"/b;oquery=" + text + "\">x</a>";
  return "<a href=\"/g?path=" + text + "&v\">file.</a>";
}

// Pages of 100 results; the page value picks where in the folders a page
// starts, and pages past the folders are empty.
void ServeEngines(HostileServer& s, int fd) {
  std::string pending, line;
  if (!s.ReadLine(fd, pending, line) || line.size() < 5) return;
  const std::string path = line.substr(4, line.find(' ', 4) - 4);
  while (s.ReadLine(fd, pending, line) && !line.empty()) {
  }
  const std::size_t eq = path.rfind('=');
  const int value = eq == std::string::npos ? 0 : std::atoi(path.c_str() + eq + 1);
  std::string body = "<html><body><FORM>";
  const int first = (value * 7) % 2900;
  if (value < 600)
    for (int i = first; i < first + 100; ++i) body += Result(path, i);
  body += "</FORM>Copyright</body></html>";
  s.Send(fd, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n" + body);
}

// No two entries of the table the same, ignoring case; every URL within its field.
void ExpectDistinctEntries() {
  std::lock_guard<std::mutex> hold(SiteTableLock);
  std::vector<std::string> lower;
  for (int i = 0; i < SiteTable.count; ++i) {
    const char* url = SiteTable.slots[i]->url;
    ASSERT_LT(strnlen(url, SiteUrlSize), SiteUrlSize);
    std::string l(url);
    for (char& c : l) c = AsciiLower(c);
    lower.push_back(l);
  }
  std::sort(lower.begin(), lower.end());
  EXPECT_EQ(std::adjacent_find(lower.begin(), lower.end()), lower.end());
}

// Runs the five engines for the open dialog until each has ended; false after 60 s.
bool RunEngines(const std::function<void()>& meanwhile = nullptr) {
  const uint64_t session = CurrentSearchSession();
  std::vector<std::future<void>> engines;
  for (int e = 0; e < EngineCount; ++e)
    engines.push_back(
        std::async(std::launch::async, [e, session] { EngineThreadFor(e, session); }));
  std::thread other;
  if (meanwhile) other = std::thread([&] { meanwhile(); });
  const auto bound = std::chrono::steady_clock::now() + 60s;
  const bool allEnded = std::all_of(
      engines.begin(), engines.end(),
      [&](const std::future<void>& f) { return f.wait_until(bound) == std::future_status::ready; });
  if (!allEnded) SearchRunning = false;  // lets the futures' waits end
  if (other.joinable()) other.join();
  return allEnded;
}

class EngineFill : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings.EnginePause = 0;  // one local server stands for every engine host
    ASSERT_NE(mkdtemp(dir_), nullptr);
    savedExeDir_ = ExeDir;
    ExeDir = std::string(dir_) + "/";
    std::ofstream ini(ExeDir + SettingsFileName);
    ini << "[Hosts]\n";
    for (int i = 0; i < EngineCount; ++i)
      ini << BuiltinEngines()[i].name << "=127.0.0.1:" << server_.Port() << "\n";
    ini.close();
    ResetSites();
    SetQueryTerm("fill");
    for (auto& flag : EngineEnabled) flag = true;
    SearchRunning = true;
  }
  void TearDown() override {
    SetSearchDialog(nullptr);
    SearchRunning = false;
    ResetSites();
    ExeDir = savedExeDir_;
    std::filesystem::remove_all(dir_);
  }

  HostileServer server_{ServeEngines};
  char dir_[32] = "/tmp/qb-fill-XXXXXX";
  std::string savedExeDir_;
};

TEST_F(EngineFill, FiveEnginesFillTheTable) {
  auto view = std::make_shared<CountingView>();
  SetSearchDialog(view);
  ASSERT_TRUE(RunEngines()) << "engines still running after 60 s";
  EXPECT_EQ(SiteTable.count, SiteCapacity);
  ExpectDistinctEntries();
  EXPECT_GT(view->calls, 0);
  EXPECT_EQ(view->badUrls, 0);
}

// Closing the dialog ends its engines: they reach none of the dialogs opened
// after it and add nothing once it has closed, wherever in a page they are.
TEST_F(EngineFill, ADialogThatClosesEndsItsEnginesAndTheyTouchNothingLater) {
  auto first = std::make_shared<CountingView>();
  SetSearchDialog(first);
  std::vector<std::shared_ptr<CountingView>> later;
  std::atomic<int> countAtClose{-1};
  ASSERT_TRUE(RunEngines([&] {
    std::minstd_rand random(std::random_device{}());
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
    {
      // Taken with the table's lock, as the next search's reset would.
      std::lock_guard<std::mutex> hold(SiteTableLock);
      SetSearchDialog(nullptr);
      countAtClose = SiteTable.count.load();
    }
    for (int i = 0; i < 5; ++i) {
      later.push_back(std::make_shared<CountingView>());
      SetSearchDialog(later.back());
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 1000));
    }
  })) << "engines of a closed dialog still running after 60 s";
  EXPECT_EQ(SiteTable.count, countAtClose.load());
  for (const auto& v : later) EXPECT_EQ(v->calls, 0);
  EXPECT_EQ(first->badUrls, 0);
  ExpectDistinctEntries();
}

}  // namespace
