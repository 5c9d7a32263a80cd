#pragma once
// Many files fetched at once, each in a session of its own: at most a few per
// server, so that none turns the client away, and a few in all.
#include <atomic>
#include <cstddef>
#include <functional>
#include <vector>

#include "transfer/file_fetch.h"

namespace qb {

struct FetchLimits {
  int perHost = 2;
  int atOnce = 4;
};

// Fetches every request; results in the order given. progress gets a
// request's index with its progress, done its index and result, each from the
// fetching thread. Once abort is set no more are begun, and those unbegun are Stopped.
std::vector<FetchResult> FetchAll(
    const std::vector<FetchRequest>& requests, const FetchLimits& limits,
    const std::atomic<bool>* abort,
    const std::function<void(std::size_t, const FetchProgress&)>& progress = {},
    const std::function<void(std::size_t, const FetchResult&)>& done = {});

}  // namespace qb
