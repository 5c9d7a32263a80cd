#pragma once
// The listening socket on 127.0.0.1 of targets that need a real peer: the
// tests' loopback listener, opened on first use and kept for the process.
#include "fuzz/fuzz_check.h"
#include "tests/support/loopback_listener.h"

namespace qbfuzz {

inline const qbtest::LoopbackListener& SharedListener() {
  static const qbtest::LoopbackListener listener("127.0.0.1", 0, 4);
  FUZZ_CHECK(listener.Ok());
  return listener;
}

}  // namespace qbfuzz
