// The upload window: building it, and the view calls of the upload exchange.
#include "ui/UploadForm.h"

#include <commctrl.h>

#include "base/ClientMessageBox.h"
#include "base/FileLog.h"
#include "base/Version.h"
#include "base/WideText.h"
#include "settings/Settings.h"
#include "ui/Controls.h"
#include "ui/MainForm.h"

namespace drovane {
namespace {

constexpr char kTitle[] = "Drovane Uploader";
constexpr char kNotStarted[] = "The upload could not be started.";

}  // namespace

UploadForm::UploadForm(Settings* settings, MainForm* mainWindow, UploadEnvironment environment)
    : settings_(settings), mainWindow_(mainWindow), environment_(environment) {}

UploadForm::~UploadForm() = default;

std::string UploadForm::errorMessage() const {
  // Without an exchange the window never came to be, and nothing was uploaded.
  return exchange_ ? exchange_->errorMessage : std::string(kNotStarted);
}

bool UploadForm::Build() {
  FrameProgressWindow(*this, kTitle);
  // The status line is a UTF-16 window: the service's messages may hold any letter.
  controls[kStatusText] =
      CreateWindowExW(0, L"STATIC", L"Connecting to Drovane...", WS_CHILD | WS_VISIBLE, 10, 10, 300,
                      16, hwnd, nullptr, instance, nullptr);
  controls[kProgressBar] =
      CreateControl(hwnd, instance, PROGRESS_CLASSA, "", 0, 0, 10, 29, 300, 16);
  controls[kProgressText] = CreateControl(hwnd, instance, "STATIC", "", 0, 0, 10, 51, 200, 16);
  controls[kCancelButton] =
      CreateControl(hwnd, instance, "BUTTON", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 0, 235, 54, 75,
                    23, kUploadCancelButtonId);
  for (HWND control : controls) {
    if (!control) return false;
  }
  ApplyDefaultFont(controls, kControlCount);
  CenterOver(parent);
  return true;
}

INT_PTR UploadForm::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      // The mode the window is built with decides whether the upload closes by itself.
      exchange_ = std::make_unique<UploadExchange>(*settings_, *this, mode == 1, environment_);
      if (!Build() || !exchange_->StartAuthentication()) {
        // Nothing was sent: the main window must not report this run as a success.
        if (exchange_->errorMessage.empty()) exchange_->errorMessage = kNotStarted;
        LogLine() << "Upload failed: " << exchange_->errorMessage;
        exchange_->CloseUpload(false);
      }
      return TRUE;
    }
    case WM_CLOSE:
      if (exchange_) exchange_->CloseUpload(true);
      return TRUE;
    case WM_COMMAND:
      if ((LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == kUploadCancelButtonId) && exchange_) {
        exchange_->CloseUpload(true);
        return TRUE;
      }
      return FALSE;
    case WM_TIMER:
      if (wParam != 0 && exchange_) exchange_->OnUploadTimer(static_cast<int>(wParam));
      return TRUE;
    default:
      return FALSE;
  }
}

void UploadForm::SetStatusText(const std::wstring& text) {
  SetWindowTextW(controls[kStatusText], text.c_str());
}

void UploadForm::SetProgress(int percent, const std::string& text) {
  SendMessageA(controls[kProgressBar], PBM_SETPOS, static_cast<WPARAM>(percent), 0);
  SetControlText(controls[kProgressText], text);
}

void UploadForm::ShowCloseButton() {
  SetControlText(controls[kCancelButton], "Close");
}

int UploadForm::ShowMessage(const std::string& text, unsigned type) {
  return ClientMessageBox(hwnd, text, type);
}

int UploadForm::ShowMessage(const std::wstring& text, unsigned type) {
  return MessageBoxW(hwnd, text.c_str(), Wide(kClientName).c_str(), type);
}

void UploadForm::OpenWebPage(const std::string& url) {
  OpenWithShell(url);
}

void UploadForm::StartTimer(int id, unsigned milliseconds) {
  if (hwnd) SetTimer(hwnd, static_cast<UINT_PTR>(id), milliseconds, nullptr);
}

void UploadForm::StopTimer(int id) {
  if (hwnd) KillTimer(hwnd, static_cast<UINT_PTR>(id));
}

void UploadForm::RequestRefresh() {
  if (mainWindow_) mainWindow_->RefreshData();
}

void UploadForm::EndUpload(int result) {
  Close(result);
}

}  // namespace drovane
