#include "version/version_check.h"

#include <algorithm>
#include <cstdio>

#include "core/program_folders.h"
#include "core/service_hosts.h"
#include "core/text_helpers.h"
#include "net/http_fetcher.h"

namespace qb {

std::string BuildNoticeText(std::string_view body) {
  std::size_t start = body.find_first_not_of("\r\n");
  if (start == std::string_view::npos) return {};
  body.remove_prefix(start);
  const std::size_t end = body.rfind('\n');
  if (end == std::string_view::npos) return {};
  body = body.substr(0, end + 1);

  // Each line feed grows by one character; size the text for that up front
  // rather than trusting a fixed margin.
  std::string text;
  text.reserve(body.size() + static_cast<std::size_t>(std::count(body.begin(), body.end(), '\n')));
  std::size_t from = 0;
  for (std::size_t lf = body.find('\n'); lf != std::string_view::npos;
       from = lf + 1, lf = body.find('\n', from)) {
    text.append(body.substr(from, lf - from));
    text.append("\r\n");
  }
  return text;
}

bool NoticeChanged(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return true;
  // Compared chunk by chunk, so a saved file of any size costs no more memory
  // than the notice itself.
  std::string_view rest = text;
  bool same = true;
  char chunk[4096];
  std::size_t got;
  while (same && (got = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
    same = got <= rest.size() && rest.compare(0, got, std::string_view(chunk, got)) == 0;
    if (same) rest.remove_prefix(got);
  }
  same = same && rest.empty() && !std::ferror(f);
  std::fclose(f);
  return !same;
}

bool SaveNotice(const std::string& path, const std::string& text) {
  // The user's configuration folder may not exist before the first notice.
  if (!MakeParentFolder(path)) return false;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return (std::fclose(f) == 0) && written;
}

int32_t ReadCounter(const char* body) {
  if (!body || !body[0] || !body[1]) return 0;
  return AtoL(body + 2);
}

std::string HomePageUrl() { return ServiceHost("HomePage", "http://www.quillbrook.invalid/"); }

std::string NoticeUrl(const std::string& builtin) {
  return ServiceHost("NoticeUrl", builtin.c_str());
}

std::string CounterUrl() {
  return "http://" + ServiceHost("CounterHost", "www.quillbrook.invalid") + CounterPath;
}

VersionCheck::VersionCheck(VersionCheckConfig config, std::shared_ptr<VersionCheckView> view)
    : config_(std::move(config)), view_(std::move(view)) {}

VersionCheck::~VersionCheck() { Stop(); }

void VersionCheck::Start() {
  thread_ = std::thread([this] { Run(); });
}

void VersionCheck::Stop() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void VersionCheck::Run() {
  CheckNotice();
  do {
    PollCounter();
  } while (WaitPeriod());
}

void VersionCheck::CheckNotice() {
  const char* tag = nullptr;
  std::unique_ptr<char[]> body = FetchPage(config_.noticeUrl.c_str(), &tag, 0);
  if (!body) return;
  const std::string text = BuildNoticeText(body.get());
  body.reset();
  if (!NoticeChanged(config_.noticeFile, text)) return;
  // A notice that cannot be saved is still news to the user; it shows again next time.
  SaveNotice(config_.noticeFile, text);
  view_->ShowNotice(text);
}

void VersionCheck::PollCounter() {
  const char* tag = nullptr;
  std::unique_ptr<char[]> body = FetchPage(config_.counterUrl.c_str(), &tag, 0);
  if (!body) return;
  const int32_t users = ReadCounter(body.get());
  if (users != 0) view_->ShowCounter(users);
}

bool VersionCheck::WaitPeriod() {
  std::unique_lock<std::mutex> hold(lock_);
  return !wake_.wait_for(hold, config_.period, [this] { return stopping_; });
}

}  // namespace qb
