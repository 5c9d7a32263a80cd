#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "version/version_check.h"

using namespace qb;

namespace {

// The largest page the fetcher hands back, as short lines: the notice text
// grows the most for it.
std::string LargestNoticeBody(std::size_t lineLength) {
  const std::string line = std::string(lineLength, 'n') + "\n";
  std::string body = "\r\n";
  while (body.size() + line.size() <= 99488) body += line;
  return body;
}

void BM_BuildNoticeText(benchmark::State& state) {
  const std::string body = LargestNoticeBody(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    std::string text = BuildNoticeText(body);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
BENCHMARK(BM_BuildNoticeText)->Arg(1)->Arg(79);

// The start-up comparison with the saved copy, for a notice that did not change.
void BM_NoticeUnchanged(benchmark::State& state) {
  const std::string text = BuildNoticeText(LargestNoticeBody(79));
  const std::string path =
      (std::filesystem::temp_directory_path() / ("qb_bench_notice_" + std::to_string(::getpid())))
          .string();
  SaveNotice(path, text);
  for (auto _ : state) benchmark::DoNotOptimize(NoticeChanged(path, text));
  std::remove(path.c_str());
}
BENCHMARK(BM_NoticeUnchanged);

}  // namespace
