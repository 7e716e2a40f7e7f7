#pragma once
// Answers message boxes for a test, so no test ever waits on a person: a watcher thread finds
// the box (a top-level "#32770" window with the given caption, in any process), records its text
// and clicks the wanted button.
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace drovane::test {

class DialogAnswerer {
 public:
  // Each box seen is answered with the next of the button ids given (IDOK, IDYES, IDNO, ...);
  // the last one answers any further box.
  DialogAnswerer(const std::string& caption, std::vector<int> buttons);
  ~DialogAnswerer();
  DialogAnswerer(const DialogAnswerer&) = delete;
  DialogAnswerer& operator=(const DialogAnswerer&) = delete;

  // The texts of the boxes answered so far, in order.
  std::vector<std::string> Texts() const;
  // Waits up to timeoutMs until count boxes have been answered.
  bool WaitForBoxes(size_t count, unsigned timeoutMs) const;

 private:
  void Watch();

  std::string caption_;
  std::vector<int> buttons_;
  mutable std::mutex mutex_;
  std::vector<std::string> texts_;
  std::atomic<bool> stop_{false};
  std::thread watcher_;
};

}  // namespace drovane::test
