#pragma once
// Runs a call that must not hang (Close, Reset, a destructor) with the tests' wait limit. A call
// still running after the limit would hang the test program, so the program ends at once with
// a failure instead.
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <thread>

#include "ScriptedServer.h"

namespace drovane::test {

inline void RunWithinLimit(const std::function<void()>& call, const char* what) {
  std::packaged_task<void()> task(call);
  std::future<void> finished = task.get_future();
  std::thread runner(std::move(task));
  if (finished.wait_for(kWaitLimit) != std::future_status::ready) {
    std::fprintf(stderr, "FAILED: %s did not return within the limit\n", what);
    std::fflush(stderr);
    std::_Exit(3);
  }
  runner.join();
  finished.get();
}

}  // namespace drovane::test
