#include "base/ClientMessageBox.h"

#include "base/Version.h"
#include "base/WideText.h"

namespace drovane {

int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
  return MessageBoxW(owner, Wide(text).c_str(), Wide(caption).c_str(), type);
}

int ClientMessageBox(HWND owner, const std::string& text, UINT type) {
  return ShowMessageBox(owner, text, kClientName, type);
}

}  // namespace drovane
