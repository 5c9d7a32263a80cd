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

TEST(EngineFill, FiveEnginesFillTheTableWhileTheDialogComesAndGoes) {
  HostileServer server(ServeEngines);
  char dir[] = "/tmp/qb-fill-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string savedExeDir = ExeDir;
  ExeDir = std::string(dir) + "/";
  {
    std::ofstream ini(ExeDir + SettingsFileName);
    ini << "[Hosts]\n";
    for (int i = 0; i < EngineCount; ++i)
      ini << Engine(i).name << "=127.0.0.1:" << server.Port() << "\n";
  }
  ResetSites();
  SetQueryTerm("fill");
  for (auto& flag : EngineEnabled) flag = true;
  SearchRunning = true;
  auto first = std::make_shared<CountingView>();
  SetSearchDialog(first);

  std::vector<std::future<void>> engines;
  for (int e = 0; e < EngineCount; ++e)
    engines.push_back(std::async(std::launch::async, EngineThread, e));

  // The dialog closes and a new one opens at random moments until every engine
  // has ended by itself on its empty page.
  std::vector<std::shared_ptr<CountingView>> views{first};
  std::atomic<bool> ended{false};
  std::thread toggler([&] {
    std::minstd_rand random(std::random_device{}());
    while (!ended) {
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
      SetSearchDialog(nullptr);
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 1000));
      views.push_back(std::make_shared<CountingView>());
      SetSearchDialog(views.back());
    }
  });
  const auto bound = std::chrono::steady_clock::now() + 60s;
  const bool allEnded = std::all_of(
      engines.begin(), engines.end(),
      [&](const std::future<void>& f) { return f.wait_until(bound) == std::future_status::ready; });
  ended = true;
  toggler.join();
  if (!allEnded) {
    SearchRunning = false;  // lets the futures' waits end
    FAIL() << "engines still running after 60 s";
  }
  EXPECT_GT(views.size(), 2u);
  SetSearchDialog(nullptr);
  SearchRunning = false;

  EXPECT_EQ(SiteTable.count, SiteCapacity);
  {
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
  int calls = 0;
  for (const auto& v : views) {
    calls += v->calls;
    EXPECT_EQ(v->badUrls, 0);
  }
  EXPECT_GT(calls, 0);

  ResetSites();
  ExeDir = savedExeDir;
  std::filesystem::remove_all(dir);
}

}  // namespace
