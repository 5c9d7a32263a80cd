#pragma once
// One piece of work run on several threads at once, this one among them.
#include <cstddef>
#include <functional>

namespace qb {

// Runs work(k) for k in 0..count-1, k = 0 on the calling thread, and returns
// once all have returned. Where no thread can be had, fewer run: work that
// takes its items from a shared queue still gets through them all.
void RunOnThreads(std::size_t count, const std::function<void(std::size_t)>& work);

}  // namespace qb
