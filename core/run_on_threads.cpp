#include "core/run_on_threads.h"

#include <system_error>
#include <thread>
#include <vector>

namespace qb {

void RunOnThreads(std::size_t count, const std::function<void(std::size_t)>& work) {
  std::vector<std::thread> threads;
  try {
    for (std::size_t k = 1; k < count; ++k) threads.emplace_back(work, k);
  } catch (const std::system_error&) {
    // Fewer threads only means less at once.
  }
  if (count > 0) work(0);
  for (std::thread& t : threads) t.join();
}

}  // namespace qb
