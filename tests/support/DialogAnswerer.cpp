#include "support/DialogAnswerer.h"

#include <windows.h>

#include <chrono>

namespace drovane::test {
namespace {

// The static control that holds a message box's text.
constexpr int kMessageTextId = 0xFFFF;

std::string WindowText(HWND window) {
  char text[4096] = {};
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                      SMTO_ABORTIFHUNG, 2000, nullptr);
  return text;
}

// The visible message box with the caption: a dialog holding the box's text control. Windows
// with the same class and caption that are not boxes (the client's own dialogs) are passed over.
HWND FindMessageBox(const std::string& caption) {
  struct Search {
    const std::string* caption;
    HWND found;
  } search = {&caption, nullptr};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto* search = reinterpret_cast<Search*>(data);
        char className[16] = {};
        GetClassNameA(window, className, sizeof className);
        if (std::string(className) != "#32770" || !IsWindowVisible(window)) return TRUE;
        if (!GetDlgItem(window, kMessageTextId)) return TRUE;
        if (WindowText(window) != *search->caption) return TRUE;
        search->found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

DialogAnswerer::DialogAnswerer(const std::string& caption, std::vector<int> buttons)
    : caption_(caption), buttons_(std::move(buttons)), watcher_([this] { Watch(); }) {}

DialogAnswerer::~DialogAnswerer() {
  stop_ = true;
  watcher_.join();
}

void DialogAnswerer::Watch() {
  HWND answered = nullptr;
  int emptyReads = 0;
  while (!stop_) {
    HWND box = FindMessageBox(caption_);
    // A box is answered once: it may take a moment to go away after the click.
    if (box && box != answered && IsWindowVisible(box)) {
      HWND textControl = GetDlgItem(box, kMessageTextId);
      size_t index;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        index = texts_.size();
      }
      const int button = buttons_.empty() ? IDOK : buttons_[std::min(index, buttons_.size() - 1)];
      HWND buttonControl = GetDlgItem(box, button);
      // A box without the wanted button still gets answered, so an unexpected box never leaves
      // a test waiting; its text shows what came instead.
      for (int fallback : {IDOK, IDCANCEL, IDNO}) {
        if (!buttonControl && textControl) buttonControl = GetDlgItem(box, fallback);
      }
      // The caption is set before the children exist: wait for the controls.
      // The text may be set a moment after the control exists: give it up to a second.
      const std::string text = textControl ? WindowText(textControl) : std::string();
      if (textControl && buttonControl && text.empty() && emptyReads++ < 50) {
        Sleep(20);
        continue;
      }
      if (textControl && buttonControl) {
        emptyReads = 0;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          texts_.push_back(text);
        }
        PostMessageA(buttonControl, BM_CLICK, 0, 0);
        answered = box;
      }
    }
    Sleep(20);
  }
}

std::vector<std::string> DialogAnswerer::Texts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return texts_;
}

bool DialogAnswerer::WaitForBoxes(size_t count, unsigned timeoutMs) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (Texts().size() >= count) return true;
    Sleep(20);
  }
  return Texts().size() >= count;
}

}  // namespace drovane::test
