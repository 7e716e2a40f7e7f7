#include "base/ClientMessageBox.h"

#include "base/Version.h"
#include "base/WideText.h"

namespace drovane {

int ClientMessageBox(HWND owner, const std::string& text, UINT type) {
  return MessageBoxW(owner, Wide(text).c_str(), Wide(kClientName).c_str(), type);
}

}  // namespace drovane
