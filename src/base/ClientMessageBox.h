#pragma once
// Every message box of the client carries the client's name as its caption.
#include <windows.h>

#include <string>

namespace drovane {

// A message box with the client's caption; the text is UTF-8.
int ClientMessageBox(HWND owner, const std::string& text, UINT type);

}  // namespace drovane
