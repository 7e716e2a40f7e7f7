#pragma once
// Message boxes with UTF-8 texts. Every message box of the client carries the client's name as
// its caption, but for the few a window titles after itself ("Statistics", "About").
#include <windows.h>

#include <string>

namespace drovane {

// MessageBoxW with UTF-8 texts.
int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type);
// A message box with the client's caption.
int ClientMessageBox(HWND owner, const std::string& text, UINT type);

}  // namespace drovane
