#include "search/search_run.h"

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/service_hosts.h"
#include "core/site_table.h"
#include "core/text_helpers.h"
#include "net/http_fetcher.h"
#include "search/engine.h"
#include "search/explored_sites.h"
#include "search/search_view.h"

namespace qb {

namespace {

constexpr const char* BuiltinReportHost = "www.quillbrook.invalid";
constexpr std::size_t LastTermSize = 100;

std::mutex termLock;
std::string lastTerm;
std::string reportTerm;

std::mutex timingLock;
SearchRunTimings timings;

SearchRunTimings CurrentTimings() {
  std::lock_guard<std::mutex> hold(timingLock);
  return timings;
}

// Lets the run wait for an engine with a bound and leave it running after.
struct EngineDone {
  std::mutex lock;
  std::condition_variable ended;
  bool done = false;
};

bool KeptAsIs(unsigned char c) { return c == ' ' || (c >= 0x2E && c <= 0x7A); }

}  // namespace

void PrepareQuery(char* text, std::size_t size) {
  if (text == nullptr || size == 0) return;
  const std::size_t inLen = strnlen(text, size - 1);
  std::vector<char> out;
  out.reserve(inLen * 3);
  for (std::size_t i = 0; i < inLen; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const std::size_t need = KeptAsIs(c) ? 1 : 3;
    if (out.size() + need > size - 1) break;
    if (need == 1) {
      out.push_back(c == ' ' ? '+' : static_cast<char>(c));
    } else {
      char hex[3];
      HexByte(c, hex);
      out.push_back('%');
      out.push_back(hex[0]);
      out.push_back(hex[1]);
    }
  }
  if (!out.empty())
    std::memcpy(text, out.data(), out.size());  // an empty vector may hold no storage
  text[out.size()] = '\0';
}

std::string PrepareQuery(const std::string& term) {
  std::vector<char> buffer(term.size() * 3 + 1);
  std::memcpy(buffer.data(), term.data(), term.size());
  buffer[term.size()] = '\0';
  PrepareQuery(buffer.data(), buffer.size());
  return std::string(buffer.data());
}

std::string GetLastTerm() {
  std::lock_guard<std::mutex> hold(termLock);
  return lastTerm;
}

void ClearLastTerm() {
  std::lock_guard<std::mutex> hold(termLock);
  lastTerm.clear();
}

std::string GetReportTerm() {
  std::lock_guard<std::mutex> hold(termLock);
  return reportTerm;
}

void SetSearchRunTimings(const SearchRunTimings& t) {
  std::lock_guard<std::mutex> hold(timingLock);
  timings = t;
}

void RunSearch(const std::function<void()>& over, const std::function<void()>& active) {
  struct Over {
    const std::function<void()>& call;
    bool called = false;
    void operator()() {
      if (!called && call) call();
      called = true;
    }
    ~Over() { (*this)(); }
  } runOver{over};
  const SearchRunTimings waits = CurrentTimings();
  // Everything below belongs to the dialog that started the run; once it has
  // closed, the run reaches no later dialog and changes no later run's flags.
  const uint64_t session = CurrentSearchSession();
  const auto GetSearchDialog = [session] { return qb::GetSearchDialog(session); };

  if (SiteTable.count != 0) {
    if (auto view = GetSearchDialog()) {
      if (!view->Message(KeepSitesQuestion, "Quillbrook", MessageStyle::Question)) ClearSites();
    }
  }
  // The set the dialog was opened with: engines edited meanwhile wait for the next one.
  const auto engines = ActiveEngines();
  const int engineCount = static_cast<int>(engines->size());
  const EngineControls& explored = ExploredSitesControls;
  if (auto view = GetSearchDialog()) {
    for (const ActiveEngine& engine : *engines) {
      view->ClearText(engine.controls.resultsCounter);
      view->ClearText(engine.controls.newSitesCounter);
    }
    if (view->IsOffered(explored.checkBox)) {
      view->ClearText(explored.resultsCounter);
      view->ClearText(explored.newSitesCounter);
    }
  }

  std::string term;
  if (auto view = GetSearchDialog()) term = view->ReadTerm(TermMaxChars);
  if (term.size() > TermMaxChars) term.resize(TermMaxChars);
  if (term.empty()) {
    runOver();
    if (auto view = GetSearchDialog())
      view->Message(TermNeededMessage, nullptr, MessageStyle::Information);
    return;
  }
  if (auto view = GetSearchDialog()) view->PlayAnimation();

  if (!SearchSessionIs(session)) return;
  for (char& c : term) c = AsciiLower(c);
  const std::string prepared = PrepareQuery(term);
  {
    std::lock_guard<std::mutex> hold(termLock);
    lastTerm = term.substr(0, LastTermSize - 1);
    reportTerm = prepared;
  }
  SetQueryTerm(prepared);

  if (active) active();
  SearchRunActive = true;
  std::vector<bool> ticked(engines->size());
  for (int i = 0; i < engineCount; ++i) {
    auto view = GetSearchDialog();
    ticked[i] = view && view->IsChecked((*engines)[i].controls.checkBox);
  }
  bool indexOffered = false, indexTicked = false;
  if (auto view = GetSearchDialog()) {
    indexOffered = view->IsOffered(explored.checkBox);
    indexTicked = indexOffered && view->IsChecked(explored.checkBox);
  }
  // Boxes read from a dialog that closed meanwhile say nothing of the user's choice.
  if (!SearchSessionIs(session)) return;
  for (int i = 0; i < engineCount; ++i) EngineEnabled[i] = ticked[i];
  if (indexOffered) ExploredSitesEnabled = indexTicked;
  // Before the engines: their results inside a folder the index gave are not
  // added again, and the index answers at once.
  if (indexTicked) AskExploredSites(term, session);

  std::vector<std::shared_ptr<EngineDone>> started;
  for (int i = 0; i < engineCount; ++i) {
    if (!EngineEnabled[i]) continue;
    auto done = std::make_shared<EngineDone>();
    std::thread([engines, i, done, session] {
      EngineThreadFor(engines, i, session);
      std::lock_guard<std::mutex> hold(done->lock);
      done->done = true;
      done->ended.notify_all();
    }).detach();
    started.push_back(std::move(done));
  }
  for (const auto& done : started) {
    std::unique_lock<std::mutex> hold(done->lock);
    done->ended.wait_for(hold, waits.engineWait, [&] { return done->done; });
  }
  if (!SearchSessionIs(session)) return;
  SearchRunActive = false;

  auto view = GetSearchDialog();
  if (!view) return;
  view->StopAnimation();
  if (SiteTable.count == 0) {
    runOver();
    view->Message(NothingFoundMessage, "FTP-ZEVO", MessageStyle::Exclamation);
    return;
  }
  const bool autoContinue = view->IsChecked(AutoContinueBox);
  if (!SearchSessionIs(session)) return;
  AutoContinue = autoContinue;
  view.reset();
  if (AutoContinue) {
    std::this_thread::sleep_for(waits.autoContinueDelay);
    if (auto still = GetSearchDialog()) still->PostOk();
  }
}

std::string QueryReportUrl(const std::string& preparedTerm) {
  std::string term = preparedTerm;
  if (term.rfind("%22", 0) == 0) term.erase(0, 3);
  const std::size_t quote = term.find("%22");
  if (quote != std::string::npos) term.resize(quote);
  return "http://" + ServiceHost("ReportHost", BuiltinReportHost) +
         "/addtop10.php3?requete=" + term;
}

void QueryReport(const std::string& preparedTerm) {
  std::this_thread::sleep_for(CurrentTimings().reportDelay);
  const char* tag = nullptr;
  FetchPage(QueryReportUrl(preparedTerm).c_str(), &tag, 1, nullptr);
}

}  // namespace qb
