#pragma once
// The upload window: a status line, a progress bar, a progress text and a Cancel button over the
// main window while one upload runs. It is the view of an UploadExchange, which it creates when
// its window is built and which decides everything; the window only shows, asks and keeps time.
#include <windows.h>

#include <memory>
#include <string>

#include "ui/Form.h"
#include "upload/UploadExchange.h"

namespace drovane {

class Settings;
class MainForm;

constexpr int kUploadCancelButtonId = 101;

class UploadForm : public Form, public UploadView {
 public:
  // mainWindow may be null (tests): then nothing is refreshed after a confirmed upload.
  UploadForm(Settings* settings, MainForm* mainWindow,
             UploadEnvironment environment = ClientUploadEnvironment());
  ~UploadForm() override;

  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  // The failure reason handed to the main window; empty after a successful upload.
  std::string errorMessage() const;
  // Null before the window is built.
  UploadExchange* exchange() const { return exchange_.get(); }

  // The four controls, kept together so that one ApplyDefaultFont call covers them.
  enum Control { kStatusText, kProgressBar, kProgressText, kCancelButton, kControlCount };
  HWND controls[kControlCount] = {};

  // UploadView
  void SetStatusText(const std::wstring& text) override;
  void SetProgress(int percent, const std::string& text) override;
  void ShowCloseButton() override;
  int ShowMessage(const std::string& text, unsigned type) override;
  int ShowMessage(const std::wstring& text, unsigned type) override;
  void OpenWebPage(const std::string& url) override;
  void StartTimer(int id, unsigned milliseconds) override;
  void StopTimer(int id) override;
  void RequestRefresh() override;
  void EndUpload(int result) override;

 private:
  bool Build();

  Settings* settings_;
  MainForm* mainWindow_;
  UploadEnvironment environment_;
  std::unique_ptr<UploadExchange> exchange_;
};

}  // namespace drovane
