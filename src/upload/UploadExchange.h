#pragma once
// One upload, from the authentication request to the service's last answer: the exchange is
// driven by the status notifications of its HttpClient and by its view's timers, and talks to the
// player only through its view (the upload window in the client, a recording stand-in in tests).
//
// Threads: the HttpClient notifies on its own threads; each notification is posted, as the new
// status, to a message-only window that the exchange owns, so that every decision, every view
// call and every file the exchange touches happens on the thread that created it (the GUI
// thread), one notification at a time and in order. That thread must dispatch messages.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "data/UploadStateMap.h"
#include "net/HttpClient.h"
#include "settings/AccountExclusions.h"
#include "upload/UploadCopy.h"
#include "upload/UploadDecisions.h"

namespace drovane {

class Settings;

// What the exchange asks of the upload window. Every call comes on the GUI thread.
class UploadView {
 public:
  virtual ~UploadView() = default;
  // The status line (a UTF-16 control: the service's messages may hold any letter).
  virtual void SetStatusText(const std::wstring& text) = 0;
  // The progress bar (0 to 100) and the text under it.
  virtual void SetProgress(int percent, const std::string& text) = 0;
  // The Cancel button now reads "Close": the upload has its final answer.
  virtual void ShowCloseButton() = 0;
  // Message boxes titled "Drovane Client"; type is MB_ICONERROR, MB_YESNO | MB_ICONQUESTION ...
  // The result is the button pressed (IDOK, IDYES, IDNO).
  virtual int ShowMessage(const std::string& text, unsigned type) = 0;
  virtual int ShowMessage(const std::wstring& text, unsigned type) = 0;
  // Opens a web page in the player's browser.
  virtual void OpenWebPage(const std::string& url) = 0;
  // Window timers: id 1 the sending progress, id 3 the stall watchdog. Each tick is handed to
  // UploadExchange::OnUploadTimer.
  virtual void StartTimer(int id, unsigned milliseconds) = 0;
  virtual void StopTimer(int id) = 0;
  // Rescan the data (the main window's RefreshData) after a confirmed upload.
  virtual void RequestRefresh() = 0;
  // Ends the upload window's modal run with the phase as result.
  virtual void EndUpload(int result) = 0;
};

// The limits of the two requests. Both answers are a few lines long, within the default body
// limit. The authentication must
// end within two minutes; the upload's answer must arrive within two minutes of the last byte
// sent (the sending itself, which may take long, is watched by the window's watchdog), so that
// an answer trickled a byte at a time cannot keep the window open.
ExchangeLimits AuthenticationLimits();
ExchangeLimits UploadAnswerLimits();

// Where the exchange reads and writes, apart from the settings.
struct UploadEnvironment {
  std::string serviceUrl;   // ends with "/"
  std::string websiteUrl;   // without a trailing "/"
  std::string stateFolder;  // ends with a separator
  const AccountExclusionMap* exclusions = nullptr;
  UploadStateMap* states = nullptr;
  ExchangeLimits authLimits = AuthenticationLimits();
  ExchangeLimits uploadLimits = UploadAnswerLimits();
  // The threads the package is compressed on (0: one per core, at most 8), and the compression
  // itself (null: GzipCompress; tests hold it back or make it fail).
  int compressionThreads = 0;
  std::function<bool(const char* data, size_t size, std::string& out)> compress;
};
// The client's: ServiceBaseUrl, WebsiteBaseUrl, StateFolder, the process-wide exclusions and
// upload states.
UploadEnvironment ClientUploadEnvironment();

class UploadExchange {
 public:
  UploadExchange(Settings& settings, UploadView& view, bool automated,
                 UploadEnvironment environment = ClientUploadEnvironment());
  // Stops a running request; notifications still on their way are dropped.
  ~UploadExchange();
  UploadExchange(const UploadExchange&) = delete;
  UploadExchange& operator=(const UploadExchange&) = delete;

  // Sends the authentication request; false when it could not be started (the window then
  // closes without asking).
  bool StartAuthentication();
  // One status change of the HttpClient, on the GUI thread.
  void OnUploadStatus(HttpStatus status);
  // A tick of a view timer: 1 sending progress, 2 answer begun (100 %), 3 stall watchdog.
  void OnUploadTimer(int id);
  // Closes the upload: with confirm, while the upload has no final answer, the player is asked
  // first and a Yes counts as a cancelled upload.
  void CloseUpload(bool confirm);

  // Starts building the package on a worker thread (run on an accepted authentication); the
  // request goes out when it is done (OnPackagePrepared). False when it could not be started.
  // Meanwhile the window shows the preparation's progress, and closing it stops the worker at
  // its next file: nothing of the package is then marked or sent.
  bool PrepareUpload();
  bool preparing() const { return preparation_ != nullptr; }
  // The bookkeeping of a confirmed upload.
  void CommitUpload();

  UploadPhase phase = UploadPhase::Authenticating;
  const bool automated;
  int32_t fileCount = 0;
  IdSetList wdbIdSets;
  IdSetList adbIdSets;
  bool receiving = false;
  int32_t lastProgressBytes = 0;
  int32_t stallTicks = 0;
  std::string errorMessage;     // the failure reported to the main window; empty on success
  std::wstring serviceMessage;  // the last message of the service shown to the player
  bool closed = false;          // CloseUpload has run: later notifications are dropped

  HttpClient& client() { return httpClient_; }

 private:
  static void StatusCallback(HttpClient* client, void* exchange);
  static LRESULT CALLBACK MessageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  struct Preparation;

  void OnDone();
  // On the GUI thread once the worker has ended: takes over its bookkeeping and sends the package.
  void OnPackagePrepared();
  void OnPreparationProgress(int done, int total);
  // Nothing was sent: the reason is told and the window closes.
  void FailPreparation();
  // Stops and waits for a running preparation; its results are dropped.
  void StopPreparation();
  void ShowServiceMessage(const std::string& text);
  void HandlePrivateServer(const std::string& text, int32_t result);
  void OnUploadStored(const std::string& message);
  void LogResponseDump();
  void ShowError(const std::string& text);
  // A box of the exchange's own (not the answer to the player's Cancel). An upload the client
  // started by itself shows none: nobody may be at the computer, and the text reaches the log
  // pane as the reason of the failed upload. A question then gets its safe answer, No.
  int Tell(const std::string& text, unsigned type);
  int Tell(const std::wstring& text, unsigned type);
  void SetStatusText(const std::string& text);

  Settings& settings_;
  UploadView& view_;
  UploadEnvironment environment_;
  HWND messageWindow_ = nullptr;
  HttpClient httpClient_;  // after the window: its threads post to the window until they end
  std::unique_ptr<Preparation> preparation_;  // while the package is being built
};

}  // namespace drovane
