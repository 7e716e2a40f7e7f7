// The upload exchange: the authentication request, the package, the answer and what follows it.
#include "upload/UploadExchange.h"

#include <atomic>
#include <exception>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "base/FileLog.h"
#include "base/TextHelpers.h"
#include "base/Version.h"
#include "base/WideText.h"
#include "data/UploadedIdSet.h"
#include "game/GameDiscovery.h"
#include "settings/ServiceUrls.h"
#include "settings/Settings.h"
#include "upload/CompressionPipeline.h"
#include "upload/PrivateServerCleanup.h"
#include "upload/UploadBookkeeping.h"
#include "upload/UploadPackage.h"
#include "upload/UploadProtocol.h"

namespace drovane {
namespace {

constexpr char kMessageWindowClass[] = "DrovaneUploadExchange";
// A status change of the HttpClient; wParam holds the new HttpStatus.
constexpr UINT kStatusMessage = WM_APP + 61;
// The package's worker has ended.
constexpr UINT kPreparedMessage = WM_APP + 62;
// The worker has done wParam files of lParam.
constexpr UINT kPreparationProgressMessage = WM_APP + 63;

constexpr int kProgressTimer = 1;
constexpr int kAnswerBegunTimer = 2;
constexpr int kWatchdogTimer = 3;
constexpr unsigned kProgressTimerMs = 10;
constexpr unsigned kWatchdogTimerMs = 1000;

constexpr char kFaqPage[] = "/client#related-faq";
constexpr char kTransferProblemQuestion[] =
    "There appears to be a problem uploading your data.\r\n\r\nWould you like to learn more about "
    "how you may be able to fix this?";
constexpr char kServerTimeoutBox[] =
    "Drovane is unable to process your upload at this time.\n\nPlease try again in a bit!";
constexpr char kTransferSuccessful[] = "Transfer successful. Thanks for your contribution!";
constexpr std::chrono::minutes kAnswerTime{2};

void RegisterMessageWindowClass(WNDPROC procedure) {
  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kMessageWindowClass;
  // A second registration fails harmlessly: the class stays as the first one made it.
  RegisterClassExA(&windowClass);
}

// UTF-8 to UTF-16; false for empty or invalid UTF-8.
bool Utf8ToUtf16(const std::string& text, std::wstring& out) {
  if (text.empty() || text.size() > 0x7FFFFFFF) return false;
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                         static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return false;
  out.assign(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                      &out[0], length);
  return true;
}

}  // namespace

// The package built on a worker thread. The worker has copies of everything it reads and writes
// (the id sets, the add-on states, the exclusions), so the GUI thread goes on answering messages
// and touches none of it until the worker has ended: then OnPackagePrepared takes the results.
struct UploadExchange::Preparation {
  PackageSources sources;
  AccountExclusionMap exclusions;
  UploadStateMap states;
  IdSetList wdbIdSets;
  IdSetList adbIdSets;
  PackageSettings found;
  std::vector<std::pair<std::string, std::string>> files;
  int fileCount = 0;
  bool outOfMemory = false;
  bool failed = false;  // any other failure: "Error preparing upload data."
  std::atomic<bool> cancel{false};
  std::thread worker;

  ~Preparation() {
    cancel = true;
    if (worker.joinable()) worker.join();
  }
};

ExchangeLimits AuthenticationLimits() {
  ExchangeLimits limits;
  limits.whole = kAnswerTime;
  return limits;
}

ExchangeLimits UploadAnswerLimits() {
  ExchangeLimits limits;
  limits.answer = kAnswerTime;
  return limits;
}

UploadEnvironment ClientUploadEnvironment() {
  UploadEnvironment environment;
  environment.serviceUrl = ServiceBaseUrl();
  environment.websiteUrl = WebsiteBaseUrl();
  environment.stateFolder = StateFolder();
  environment.exclusions = &AccountExclusions();
  environment.states = &UploadStates();
  return environment;
}

UploadExchange::UploadExchange(Settings& settings, UploadView& view, bool automated,
                               UploadEnvironment environment)
    : automated(automated), settings_(settings), view_(view), environment_(environment) {
  const std::string stateFolder = environment_.stateFolder;
  wdbIdSets.load = adbIdSets.load = [stateFolder](UploadedIdSet& set) { set.Load(stateFolder); };
  RegisterMessageWindowClass(MessageProc);
  messageWindow_ = CreateWindowExA(0, kMessageWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
  if (messageWindow_) {
    SetWindowLongPtrA(messageWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  httpClient_.callbackData = this;
  httpClient_.statusCallback = &UploadExchange::StatusCallback;
}

UploadExchange::~UploadExchange() {
  StopPreparation();
  // Once Close returns, the client's threads have announced everything they will; what they
  // posted and is still queued goes with the window.
  httpClient_.Close();
  httpClient_.statusCallback = nullptr;
  if (messageWindow_) {
    SetWindowLongPtrA(messageWindow_, GWLP_USERDATA, 0);
    DestroyWindow(messageWindow_);
  }
}

void UploadExchange::StatusCallback(HttpClient* client, void* exchange) {
  // Runs on the client's threads: only the news travels, as a message to the GUI thread.
  auto* self = static_cast<UploadExchange*>(exchange);
  if (self && self->messageWindow_) {
    PostMessageA(self->messageWindow_, kStatusMessage, static_cast<WPARAM>(client->GetStatus()), 0);
  }
}

LRESULT CALLBACK UploadExchange::MessageProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
  auto* self = reinterpret_cast<UploadExchange*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (message == kStatusMessage) {
    if (self) self->OnUploadStatus(static_cast<HttpStatus>(wParam));
    return 0;
  }
  if (message == kPreparedMessage) {
    if (self) self->OnPackagePrepared();
    return 0;
  }
  if (message == kPreparationProgressMessage) {
    if (self) self->OnPreparationProgress(static_cast<int>(wParam), static_cast<int>(lParam));
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

bool UploadExchange::StartAuthentication() {
  const std::string locale = ResponseLocale(settings_.gameFolders);
  httpClient_.Reset();
  httpClient_.Request_SetLimits(environment_.authLimits);
  httpClient_.Request_SetHeader("User-Agent", kUserAgent);
  return httpClient_.Request_SendGET(AuthenticationUrl(
      environment_.serviceUrl, settings_.GetUsername(), settings_.GetPassword(), locale));
}

void UploadExchange::OnUploadStatus(HttpStatus status) {
  if (closed) return;
  switch (status) {
    case HttpStatus::Connecting:
      view_.StartTimer(kWatchdogTimer, kWatchdogTimerMs);
      receiving = false;
      lastProgressBytes = 0;
      stallTicks = 0;
      if (phase == UploadPhase::Uploading) {
        SetStatusText("Uploading files (compressed with gzip)...");
      }
      break;
    case HttpStatus::Sending:
      if (phase == UploadPhase::Authenticating) SetStatusText("Authenticating...");
      if (phase == UploadPhase::Uploading) view_.StartTimer(kProgressTimer, kProgressTimerMs);
      break;
    case HttpStatus::Receiving:
      if (phase == UploadPhase::Uploading) {
        SetStatusText("Finalizing...");
        OnUploadTimer(kAnswerBegunTimer);
      }
      receiving = true;
      break;
    case HttpStatus::Done:
      view_.StopTimer(kProgressTimer);
      view_.StopTimer(kWatchdogTimer);
      OnDone();
      break;
    case HttpStatus::None:
      break;
  }
}

void UploadExchange::OnUploadTimer(int id) {
  switch (id) {
    case kProgressTimer: {
      if (httpClient_.GetStatus() != HttpStatus::Sending) return;
      const uint32_t total = httpClient_.GetProgressTotal();
      const double percent = SendingPercent(httpClient_.GetProgressBytes(), total);
      view_.SetProgress(static_cast<int>(percent), ProgressText(percent, total));
      break;
    }
    case kAnswerBegunTimer:
      view_.SetProgress(100, ProgressText(100, httpClient_.GetRequestSize()));
      break;
    case kWatchdogTimer:
      if (WatchdogTick(httpClient_.GetProgressBytes(), lastProgressBytes, stallTicks)) {
        // The Done that follows is judged by stallTicks and receiving.
        httpClient_.Close();
        LogLine(LogLine::Tab) << "Source: TIMER_TIMEOUT";
      }
      break;
    default:
      break;
  }
}

void UploadExchange::CloseUpload(bool confirm) {
  if (confirm && phase != UploadPhase::Finished) {
    const int answer = view_.ShowMessage("Are you sure that you want to cancel the upload?",
                                         MB_ICONQUESTION | MB_YESNO);
    // The request goes on while the question is open: its end may have come meanwhile, and
    // then decides what the player is told.
    if (closed || answer != IDYES) return;
    if (phase != UploadPhase::Finished) {
      LogLine() << "Error: Uploaded cancelled by user.";
      errorMessage = "Uploaded cancelled.";
    }
  }
  // From here on nothing the request still reports may change what the player was told.
  closed = true;
  StopPreparation();
  view_.StopTimer(kProgressTimer);
  view_.StopTimer(kWatchdogTimer);
  httpClient_.Close();
  LogLine(LogLine::Tab) << "Source: Uploader closed";
  fileCount = 0;
  view_.EndUpload(static_cast<int>(phase));
}

void UploadExchange::OnDone() {
  DoneFacts facts;
  facts.phase = phase;
  facts.error = httpClient_.GetError();
  facts.statusCode = httpClient_.GetStatusCode();
  facts.stallTicks = stallTicks;
  facts.receiving = receiving;
  facts.body = httpClient_.GetContent();
  const DoneDecision decision = DecideDone(facts);

  switch (decision.action) {
    case DoneAction::Nothing:
      return;
    case DoneAction::TransportFailure:
    case DoneAction::DataTransferTimeout:
    case DoneAction::ServerTimeout:
      errorMessage = decision.errorMessage;
      if (decision.action == DoneAction::TransportFailure) {
        ShowError(errorMessage);
      } else if (decision.action == DoneAction::DataTransferTimeout) {
        if (Tell(kTransferProblemQuestion, MB_ICONQUESTION | MB_YESNO) == IDYES) {
          view_.OpenWebPage(environment_.websiteUrl + kFaqPage);
        }
      } else {
        ShowError(kServerTimeoutBox);
      }
      LogLine() << "Upload failed: " << errorMessage;
      LogResponseDump();
      CloseUpload(false);
      return;

    case DoneAction::AuthenticationInvalid:
      errorMessage = decision.errorMessage;
      ShowError(errorMessage);
      LogLine() << "Upload error: " << OnOneLine(errorMessage);
      LogResponseDump();
      CloseUpload(false);
      return;
    case DoneAction::Authenticated:
      if (!PrepareUpload()) FailPreparation();
      return;
    case DoneAction::AuthenticationPrivateServer:
    case DoneAction::UploadPrivateServer:
      HandlePrivateServer(decision.message, decision.result);
      CloseUpload(false);
      return;
    case DoneAction::AuthenticationRejected:
      ShowServiceMessage(decision.message);
      LogResponseDump();
      CloseUpload(false);
      return;

    case DoneAction::UploadInvalid:
      errorMessage = decision.errorMessage;
      ShowError(errorMessage);
      LogLine() << "Upload error: " << OnOneLine(errorMessage);
      SetStatusText("Error in upload.  Invalid server response.");
      LogResponseDump();
      CloseUpload(false);
      view_.ShowCloseButton();
      phase = UploadPhase::Finished;
      return;
    case DoneAction::UploadStored:
      OnUploadStored(decision.message);
      return;
    case DoneAction::UploadRejected:
      ShowServiceMessage(decision.message);
      view_.SetStatusText(serviceMessage);
      LogResponseDump();
      view_.ShowCloseButton();
      phase = UploadPhase::Finished;
      return;
  }
}

bool UploadExchange::PrepareUpload() {
  SetStatusText("Preparing files...");
  view_.SetProgress(0, std::string());
  httpClient_.Reset();
  fileCount = 0;

  auto preparation = std::make_unique<Preparation>();
  PackageSources& sources = preparation->sources;
  for (GameEdition edition : kEditions) {
    sources.gameFolders[edition] = settings_.GetGameFolder(edition);
  }
  sources.noCharacterData = settings_.HasPreference(PREF_NO_CHARACTER_DATA);
  if (environment_.exclusions) preparation->exclusions = *environment_.exclusions;
  if (environment_.states) preparation->states = *environment_.states;
  sources.exclusions = &preparation->exclusions;
  sources.states = &preparation->states;
  sources.compress = environment_.compress;
  preparation->wdbIdSets.load = wdbIdSets.load;
  preparation->adbIdSets.load = adbIdSets.load;
  const int threads = environment_.compressionThreads > 0
                          ? environment_.compressionThreads
                          : CompressionPipeline::ThreadsForThisMachine();
  Preparation* work = preparation.get();
  const HWND window = messageWindow_;
  try {
    work->worker = std::thread([work, window, threads] {
      PackageControl control;
      control.threads = threads;
      control.cancel = &work->cancel;
      int lastPosted = -1;
      control.progress = [window, &lastPosted](int done, int total) {
        // A message per file at most, and none that would not move the bar.
        const int percent = total > 0 ? done * 100 / total : 100;
        if (percent == lastPosted) return;
        lastPosted = percent;
        PostMessageA(window, kPreparationProgressMessage, static_cast<WPARAM>(done), total);
      };
      try {
        work->fileCount = BuildUploadPackage(
            work->sources, work->wdbIdSets, work->adbIdSets,
            [work](const std::string& name, std::string& content) {
              work->files.emplace_back(name, std::move(content));
            },
            work->found, control);
      } catch (const std::bad_alloc&) {
        // A copy outgrew the memory to be had: the upload fails as any other preparation
        // failure does, instead of ending the client.
        work->outOfMemory = true;
        work->files.clear();
      } catch (const std::exception& error) {
        // The compressing threads could not be started, for one: nothing may leave the worker.
        LogLine() << "The upload data could not be prepared: " << error.what();
        work->failed = true;
        work->files.clear();
      }
      PostMessageA(window, kPreparedMessage, 0, 0);
    });
  } catch (const std::system_error&) {
    return false;
  }
  preparation_ = std::move(preparation);
  return true;
}

void UploadExchange::OnPreparationProgress(int done, int total) {
  if (closed || !preparation_) return;
  const int percent = total > 0 ? done * 100 / total : 100;
  view_.SetProgress(percent, std::to_string(done) + " of " + std::to_string(total) + " files");
}

void UploadExchange::StopPreparation() {
  // The worker stops at its next file (its compressions within 64 KB of output), and all it
  // built is dropped: nothing of it was sent.
  preparation_.reset();
}

void UploadExchange::OnPackagePrepared() {
  if (closed || !preparation_) return;
  std::unique_ptr<Preparation> done = std::move(preparation_);
  done->worker.join();
  if (done->outOfMemory) {
    errorMessage = kPackageOutOfMemory;
    ShowError(errorMessage);
    FailPreparation();
    return;
  }
  if (done->failed) {
    FailPreparation();
    return;
  }
  // The bookkeeping of the package: what a confirmed upload will save.
  wdbIdSets.sets = std::move(done->wdbIdSets.sets);
  adbIdSets.sets = std::move(done->adbIdSets.sets);
  if (environment_.states) *environment_.states = std::move(done->states);
  fileCount = done->fileCount;
  for (auto& file : done->files) {
    httpClient_.Request_AddMultipartFile(file.first, std::move(file.second));
  }
  done->files.clear();
  view_.SetProgress(100, std::to_string(fileCount) + " files");
  if (fileCount == 0) {
    errorMessage = kNoDataToUpload;
    ShowError(errorMessage);
    LogLine() << errorMessage;
    FailPreparation();
    return;
  }

  UploadParameters parameters;
  parameters.username = settings_.GetUsername();
  parameters.password = settings_.GetPassword();
  parameters.addonVersion = done->found.addonVersion;
  parameters.osVersion = OsVersionText();
  parameters.realmlist = done->found.realmlist;
  parameters.portal = done->found.portal;
  parameters.locale = ResponseLocale(done->sources.gameFolders);
  parameters.ignoreCharacterData = done->sources.noCharacterData;
  // The Connecting notification of this request is handled after the present one, and must
  // find the exchange uploading.
  phase = UploadPhase::Uploading;
  httpClient_.Request_SetLimits(environment_.uploadLimits);
  httpClient_.Request_SetHeader("User-Agent", kUserAgent);
  if (!httpClient_.Request_SendPOST(UploadUrl(environment_.serviceUrl, parameters), "")) {
    FailPreparation();
  }
}

void UploadExchange::FailPreparation() {
  if (errorMessage.empty()) {
    LogLine() << "Error preparing upload data.";
    // Nothing was sent, so the run must not be reported as a success.
    errorMessage = "Error preparing upload data.";
  } else {
    LogLine() << "Error preparing upload data: " << errorMessage;
  }
  // Nothing of this package counts as sent.
  httpClient_.Reset();
  wdbIdSets.sets.clear();
  adbIdSets.sets.clear();
  fileCount = 0;
  CloseUpload(false);
}

void UploadExchange::CommitUpload() {
  CountUpload(settings_);
  // The amount uploaded is what was sent: the request with its package.
  AddUploadedBytes(settings_, httpClient_.GetRequestSize());
  SaveIdSets(wdbIdSets, environment_.stateFolder);
  SaveIdSets(adbIdSets, environment_.stateFolder);
  UploadStateMap unused;
  // A game started meanwhile will write its saved variables back when it exits.
  WriteUploadedLines(settings_.gameFolders, environment_.states ? *environment_.states : unused,
                     [this] { return IsGameRunning(settings_); });
  view_.RequestRefresh();
  if (automated) CloseUpload(false);
}

void UploadExchange::OnUploadStored(const std::string& message) {
  WriteLastUpload(CurrentUnixTime());
  CommitUpload();
  std::wstring text;
  view_.SetStatusText(Utf8ToUtf16(message, text) ? text : Wide(kTransferSuccessful));
  LogLine() << "Transfer successful!";
  view_.ShowCloseButton();
  phase = UploadPhase::Finished;
}

void UploadExchange::ShowServiceMessage(const std::string& text) {
  // An empty message would leave the failure unreported (an empty reason reads as success).
  errorMessage = text.empty() ? std::string(kServiceMessageFallback) : text;
  if (!Utf8ToUtf16(text, serviceMessage)) {
    serviceMessage = Wide(kServiceMessageFallback);
    view_.OpenWebPage(environment_.websiteUrl + kFaqPage);
  }
  Tell(serviceMessage, MB_ICONERROR);
  LogLine() << "Upload error: " << OnOneLine(text);
}

void UploadExchange::HandlePrivateServer(const std::string& text, int32_t result) {
  ShowServiceMessage(text);
  LogResponseDump();
  // Nothing of this upload counts as sent.
  wdbIdSets.sets.clear();
  adbIdSets.sets.clear();
  HandlePrivateServerRefusal(
      settings_.gameFolders, result,
      [this](const std::string& question) {
        return Tell(question, MB_YESNO | MB_ICONERROR) == IDYES;
      },
      environment_.stateFolder);
}

void UploadExchange::LogResponseDump() {
  if (httpClient_.GetResponseSize() == 0) return;
  LogLine() << "Response dump:";
  LogLine() << "--------";
  LogLine() << httpClient_.GetResponseForLog();
  LogLine() << "--------";
}

void UploadExchange::ShowError(const std::string& text) {
  Tell(text, MB_ICONERROR);
}

int UploadExchange::Tell(const std::string& text, unsigned type) {
  if (!automated) return view_.ShowMessage(text, type);
  LogLine() << "Automatic upload, no box: " << OnOneLine(text);
  return (type & MB_YESNO) == MB_YESNO ? IDNO : IDOK;
}

int UploadExchange::Tell(const std::wstring& text, unsigned type) {
  // The text is the service's message, which errorMessage and the log already hold.
  if (!automated) return view_.ShowMessage(text, type);
  return (type & MB_YESNO) == MB_YESNO ? IDNO : IDOK;
}

void UploadExchange::SetStatusText(const std::string& text) {
  view_.SetStatusText(Wide(text));
}

}  // namespace drovane
