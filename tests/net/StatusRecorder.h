#pragma once
// Records the status notifications of an HttpClient with the thread each came on, and lets a
// test wait for them with a time limit.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "net/HttpClient.h"

namespace drovane::test {

class StatusRecorder {
 public:
  struct Notice {
    HttpStatus status;
    std::thread::id thread;
  };

  // Registers itself as the client's callback. The recorder must outlive the client.
  void Attach(HttpClient& client);

  // Extra work done inside the callback after recording (for example starting the next request).
  std::function<void(HttpClient&, HttpStatus)> onNotice;

  // True once status has been announced count times; false after the wait limit.
  bool WaitFor(HttpStatus status, std::size_t count = 1);
  std::vector<HttpStatus> Statuses() const;
  std::vector<Notice> Notices() const;
  std::size_t Count(HttpStatus status) const;

 private:
  static void Callback(HttpClient* client, void* data);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Notice> notices_;
};

}  // namespace drovane::test
