#pragma once
// Small helpers for child controls shared by several windows.
#include <windows.h>

#include <memory>
#include <string>

namespace drovane {

class Form;

// The default GUI font on count consecutive control handles.
void ApplyDefaultFont(const HWND* controls, int count);
// Opens a web page or file with the shell's "open" verb.
void OpenWithShell(const std::string& target);
// UTF-8 to UTF-16 with the terminator; false (and null) for empty or invalid text.
bool Utf8ToWide(const char* text, std::unique_ptr<wchar_t[]>& out);
std::wstring Utf8ToWideString(const std::string& text);

// The edit takes only ASCII letters and digits, at most 16 of them; refusals show a balloon.
void AttachUsernameFilter(HWND edit);
// A balloon tip over the control reminding the player which account to enter.
HWND AttachAccountHintTip(HWND control);

// The frame the upload and update windows share: the client's icons, the title, a 320 x 88 client
// area under a caption with a close box, and the progress bar's class ready for use.
void FrameProgressWindow(Form& form, const char* title);

// Window texts are UTF-8 inside the program and set and read through the wide functions, so a
// folder or account name outside the ANSI code page shows as it is.
void SetControlText(HWND window, const std::string& text);
std::string ControlText(HWND window);

// A child control of a form window, created as a Unicode window (see SetControlText); every
// control is WS_CHILD | WS_VISIBLE plus the style given.
HWND CreateControl(HWND parent, HINSTANCE instance, const char* className, const char* text,
                   DWORD style, DWORD extendedStyle, int x, int y, int width, int height,
                   int id = 0);

}  // namespace drovane
