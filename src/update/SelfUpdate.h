#pragma once
// SelfUpdate: one run of the self-update. It fetches the update list from the service, replaces
// and restarts the client when the running executable differs from the published one, and
// otherwise brings every listed file (above all the add-on in every game installation) up to
// date, downloading only what no installation already holds. It has no window of its own: it
// posts the UpdateMessages to `window`.
//
// The owner creates it with the settings, sets `window`, calls Start on the window's thread,
// and destroys it on that thread once the run has ended (or to cancel it). After an end message
// that is a failure the owner may call Start again.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "net/HttpClient.h"
#include "update/ClientReplacement.h"
#include "update/InstalledFiles.h"
#include "update/UpdateList.h"
#include "update/UpdateMessages.h"

namespace drovane {

class Settings;

class SelfUpdate {
 public:
  explicit SelfUpdate(Settings* settings);
  // Ends a running exchange and waits for its threads; no message is posted from here on.
  ~SelfUpdate();
  SelfUpdate(const SelfUpdate&) = delete;
  SelfUpdate& operator=(const SelfUpdate&) = delete;

  // Starts a new run with the list request; false when there is no window or the request could
  // not be started.
  bool Start();

  // The HttpClient's StatusCallback; data is the SelfUpdate.
  static void OnClientStatus(HttpClient* client, void* data);

  // The steps after each download, run on the client's completion thread.
  // Parse and check the list and plan the downloads; starts the first one. A list that is not
  // trusted leaves the reason in refusal.
  bool ProcessList();
  // Write the new client beside the executable (ClientReplacement.h), then restart, which ends
  // this process, unless restartByOwner: then true, and the owner calls Restart. False when the
  // new client could not be written or started.
  bool ApplyClient();
  bool StoreFile();  // verify and write pending[0]

  // Starts the new client written by ApplyClient, which takes the executable's place once this
  // process has ended, and ends this process. Returns (false) only when it could not be started;
  // the new file is then gone.
  bool Restart();

  UpdateListHeader listHeader{};
  std::string downloadBaseUrl;
  std::string clientPath;
  std::vector<UpdateEntry> pending;  // pending[0] is the file being downloaded
  // Why the run's list was refused (UPD_LIST_UNTRUSTED); empty otherwise. Read by the owner
  // after the run has ended.
  std::string refusal;
  // Read by the window while the run goes on (progress), so they are atomic.
  std::atomic<uint32_t> downloadTotal{0};
  std::atomic<uint32_t> downloadedBytes{0};
  std::atomic<uint32_t> filesUpdated{0};
  std::atomic<UpdatePhase> phase{UpdatePhase::ListDownload};
  Settings* settings;
  HWND window = nullptr;  // receives the messages; must be set before Start

  // What the restart needs of the main window, which this object does not own. When mainWindow
  // is visible the restarted client shows itself ("normal"), otherwise it starts hidden.
  // beforeRestart runs on the network thread just before the client restarts and this process
  // ends: the main window removes its notification-area icon there, or a dead icon stays behind.
  HWND mainWindow = nullptr;
  std::function<void()> beforeRestart;
  // A run nobody watches must not end the process under an upload or an open window: with this
  // set, ApplyClient only puts the new client in place and posts UPD_RESTART_READY, and the
  // owner calls Restart on its window thread when the player is not busy.
  bool restartByOwner = false;
  // How the new client is started; tests start nothing.
  StartFunction startClient = StartProgram;
  // Whether this copy may replace its executable; tests answer for a folder Wine lets them write.
  bool (*canReplaceClient)(const std::string& executable) = CanReplaceExecutable;
  // The client digest of the list when it names a newer client this copy cannot install
  // (UPD_CLIENT_NOT_INSTALLABLE); empty otherwise. Set before that message is posted.
  std::string notInstallableClient;
  // The longest any one exchange of the run may take; 0: no limit. A run nobody watches (the
  // hourly one) sets it, so a peer that trickles its answer cannot hold the run for ever.
  std::chrono::milliseconds exchangeTimeLimit{0};

  HttpClient httpClient;  // last: destroyed first, while the fields its callbacks touch exist

 private:
  void OnStatus(HttpClient* client);
  void OnDone(HttpClient* client);
  // Reset, then SendDownload.
  bool StartDownload(const std::string& url, std::uint64_t bodyLimit);
  // The limits, the user agent and a GET of the URL whose body may be at most bodyLimit; the
  // client must be idle.
  bool SendDownload(const std::string& url, std::uint64_t bodyLimit);
  void Post(UpdateMessage message, WPARAM wParam = 0, LPARAM lParam = 0);
  void PostText(UpdateMessage message, const std::string& text, WPARAM wParam = 0);

  // The SHA-256 the list's signature gives the client executable.
  Sha256Digest clientSha256_{};
  std::string newClientFile_;  // where ApplyClient wrote the new client
  // Game folders as they were when the run started: the run reads them on the network threads.
  GameFolders gameFolders_;
  // One Done is handled at a time: a Done callback that starts the next download is still
  // running when that download may already end on another completion thread.
  std::mutex doneLock_;
  std::atomic<bool> closing_{false};
  // Whether the current exchange got as far as sending: an exchange that failed before never
  // reached the service (no network yet, a name that does not resolve).
  std::atomic<bool> reachedService_{false};
};

}  // namespace drovane
