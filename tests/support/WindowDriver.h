#pragma once
// Plays the player at a window that the test's own thread is busy running modally: a watcher
// thread finds the window by its title and works through steps in order, each retried until it
// reports done (a text to appear, a click to make, a text to record).
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace drovane::test {

// The text of a child window, read as UTF-16 and narrowed ('?' for what is not ASCII).
std::string ChildText(HWND child);
// The n-th child of a window in creation order (0-based); null when there is none.
HWND NthChild(HWND window, int index);

class WindowDriver {
 public:
  // A step returns true when it is done; it gets the window and the driver (for Record).
  using Step = std::function<bool(HWND window, WindowDriver& driver)>;

  WindowDriver(const std::string& title, std::vector<Step> steps);
  ~WindowDriver();
  WindowDriver(const WindowDriver&) = delete;
  WindowDriver& operator=(const WindowDriver&) = delete;

  bool finished() const { return next_ == steps_.size(); }
  size_t stepsDone() const { return next_; }
  void Record(const std::string& text);
  std::vector<std::string> Recorded() const;

  // Steps.
  // Done once the n-th child reads the text.
  static Step WaitForChildText(int index, const std::string& text);
  // Records the n-th child's text.
  static Step RecordChildText(int index);
  // Posts WM_COMMAND with the id, as a button click or the Escape key does.
  static Step PostCommand(int id);
  // Records the window's layout: "title|client WxH|style" and one line per child,
  // "class|x,y,w,h|id|visible|text", in creation order.
  static Step RecordLayout();
  // Waits until the window is shown: a modal window appears only once its message loop first
  // runs out of messages, which under load can be after its controls have changed.
  static Step WaitUntilShown();
  // Waits for the given time before the next step.
  static Step Pause(unsigned milliseconds);

 private:
  void Watch();

  std::string title_;
  std::vector<Step> steps_;
  std::atomic<size_t> next_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> recorded_;
  std::atomic<bool> stop_{false};
  std::thread watcher_;
};

}  // namespace drovane::test
