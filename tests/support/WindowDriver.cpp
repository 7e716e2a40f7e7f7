#include "support/WindowDriver.h"

#include <cstdio>

#include "support/WindowGeometry.h"

namespace drovane::test {

std::string ChildText(HWND child) {
  wchar_t text[1024] = {};
  DWORD_PTR length = 0;
  SendMessageTimeoutW(child, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                      2000, &length);
  std::string narrow;
  for (const wchar_t* c = text; *c; ++c) narrow += *c < 0x80 ? static_cast<char>(*c) : '?';
  return narrow;
}

HWND NthChild(HWND window, int index) {
  // A new child goes below its siblings, so the order from the top is the creation order (the
  // tab order of a dialog).
  HWND child = GetWindow(window, GW_CHILD);
  for (int i = 0; child && i < index; ++i) child = GetWindow(child, GW_HWNDNEXT);
  return index < 0 ? nullptr : child;
}

WindowDriver::WindowDriver(const std::string& title, std::vector<Step> steps)
    : title_(title), steps_(std::move(steps)), watcher_([this] { Watch(); }) {}

WindowDriver::~WindowDriver() {
  stop_ = true;
  watcher_.join();
}

void WindowDriver::Record(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  recorded_.push_back(text);
}

std::vector<std::string> WindowDriver::Recorded() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return recorded_;
}

void WindowDriver::Watch() {
  while (!stop_ && next_ < steps_.size()) {
    // A modal window may be found before it is first shown; its controls are what count.
    HWND window = FindWindowA("#32770", title_.c_str());
    if (window && steps_[next_](window, *this)) {
      ++next_;
      continue;
    }
    Sleep(20);
  }
}

WindowDriver::Step WindowDriver::WaitForChildText(int index, const std::string& text) {
  return [index, text](HWND window, WindowDriver&) {
    HWND child = NthChild(window, index);
    return child && ChildText(child) == text;
  };
}

WindowDriver::Step WindowDriver::WaitUntilShown() {
  return [](HWND window, WindowDriver&) { return IsWindowVisible(window) == TRUE; };
}

WindowDriver::Step WindowDriver::RecordChildText(int index) {
  return [index](HWND window, WindowDriver& driver) {
    HWND child = NthChild(window, index);
    if (!child) return false;
    driver.Record(ChildText(child));
    return true;
  };
}

WindowDriver::Step WindowDriver::PostCommand(int id) {
  return [id](HWND window, WindowDriver&) {
    PostMessageA(window, WM_COMMAND, static_cast<WPARAM>(id), 0);
    return true;
  };
}

WindowDriver::Step WindowDriver::RecordLayout() {
  return [](HWND window, WindowDriver& driver) {
    char line[512];
    const SIZE client = ClientSize(window);
    std::snprintf(line, sizeof line, "%s|client %ldx%ld|style %08lx", ChildText(window).c_str(),
                  client.cx, client.cy,
                  static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE) &
                                             (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME)));
    driver.Record(line);
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      char className[64] = {};
      GetClassNameA(child, className, sizeof className);
      const RECT rect = ClientRectOf(child);
      std::snprintf(line, sizeof line, "%s|%ld,%ld,%ld,%ld|%d|%s|%s", className, rect.left,
                    rect.top, rect.right - rect.left, rect.bottom - rect.top, GetDlgCtrlID(child),
                    IsWindowVisible(child) ? "shown" : "hidden", ChildText(child).c_str());
      driver.Record(line);
    }
    return true;
  };
}

WindowDriver::Step WindowDriver::Pause(unsigned milliseconds) {
  return [milliseconds](HWND, WindowDriver&) {
    Sleep(milliseconds);
    return true;
  };
}

}  // namespace drovane::test
