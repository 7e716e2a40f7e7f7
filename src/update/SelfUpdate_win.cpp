#include "update/SelfUpdate.h"

#include <cstring>
#include <limits>

#include "base/Digests.h"
#include "base/FileLog.h"
#include "base/FileSystem.h"
#include "base/Md5.h"
#include "base/Version.h"
#include "base/WideText.h"
#include "net/HttpResponse.h"
#include "settings/ServiceUrls.h"
#include "settings/Settings.h"
#include "update/ListTrust.h"
#include "update/TargetConfinement.h"

namespace drovane {
namespace {

constexpr char kListPath[] = "files/updates.dat";
// The most each download may bring: the list is a few KB, the client a few MB; a listed file
// brings exactly its listed size.
constexpr std::uint64_t kListLimit = 1024 * 1024;
constexpr std::uint64_t kClientLimit = 64 * 1024 * 1024;

uint32_t AddClamped(uint32_t total, uint64_t more) {
  const uint64_t sum = total + more;
  return sum > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                    : static_cast<uint32_t>(sum);
}

}  // namespace

SelfUpdate::SelfUpdate(Settings* settings) : settings(settings) {
  httpClient.statusCallback = &SelfUpdate::OnClientStatus;
  httpClient.callbackData = this;
}

SelfUpdate::~SelfUpdate() {
  // The owner is done with the run: a Done that the Close below still announces must neither
  // post to a window that may be going away nor start the next step.
  closing_ = true;
  httpClient.Close();
  // A new client written but never started (its restart was left to the owner, who ended the
  // run instead) must not stay beside the executable.
  if (!newClientFile_.empty()) DeleteFileW(Wide(newClientFile_).c_str());
  LogLine(LogLine::Tab) << "Source: SelfUpdate closed";
}

bool SelfUpdate::Start() {
  if (!window) return false;
  // Reset waits until a previous exchange has announced its Done, so nothing of the last run
  // is still at work when its state is emptied: a retry starts from a clean run.
  httpClient.Reset();
  listHeader = UpdateListHeader{};
  downloadBaseUrl.clear();
  clientPath.clear();
  pending.clear();
  refusal.clear();
  notInstallableClient.clear();
  clientSha256_ = Sha256Digest{};
  newClientFile_.clear();
  downloadTotal = 0;
  downloadedBytes = 0;
  filesUpdated = 0;
  for (GameEdition edition : kEditions) {
    gameFolders_[edition] = settings ? settings->GetGameFolder(edition) : std::string();
  }
  phase = UpdatePhase::ListDownload;
  reachedService_ = false;
  return SendDownload(ServiceBaseUrl() + kListPath, kListLimit);
}

void SelfUpdate::OnClientStatus(HttpClient* client, void* data) {
  static_cast<SelfUpdate*>(data)->OnStatus(client);
}

void SelfUpdate::OnStatus(HttpClient* client) {
  if (closing_) return;
  switch (client->GetStatus()) {
    case HttpStatus::None:
      return;
    case HttpStatus::Connecting:
      // For downloads after the list this runs inside OnDone, on the same thread, which holds
      // pending steady.
      if (phase == UpdatePhase::ClientDownload) {
        Post(UPD_CLIENT);
      } else if (phase == UpdatePhase::FileDownload && !pending.empty()) {
        PostText(UPD_FILE, "Updating " + pending.front().fileName + "...");
      }
      return;
    case HttpStatus::Sending:
      reachedService_ = true;
      if (phase == UpdatePhase::ListDownload) Post(UPD_CHECKING);
      return;
    case HttpStatus::Receiving:
      Post(UPD_RECEIVING, 0, reinterpret_cast<LPARAM>(client));
      return;
    case HttpStatus::Done:
      OnDone(client);
      return;
  }
}

void SelfUpdate::OnDone(HttpClient* client) {
  std::lock_guard<std::mutex> lock(doneLock_);
  Post(UPD_TRANSFER_END);
  const std::string error = client->GetError();
  if (!error.empty()) {
    PostText(UPD_ERROR, error, reachedService_ ? 0 : 1);
    return;
  }
  // Only the service's own answer is a list or a file: an error page of the service or of a
  // proxy on the way is not one, whatever its body holds.
  const uint32_t statusCode = client->GetStatusCode();
  if (statusCode != 200) {
    PostText(UPD_ERROR, InvalidStatusText(statusCode));
    return;
  }
  // The size travels with the message: by the time the window reads it, the client may already
  // be fetching the next file.
  Post(UPD_RECEIVED, client->GetContentSize(), reinterpret_cast<LPARAM>(client));
  switch (phase.load()) {
    case UpdatePhase::ListDownload:
      if (!ProcessList()) {
        if (refusal.empty()) {
          Post(UPD_LIST_FAILED);
        } else {
          PostText(UPD_LIST_UNTRUSTED, refusal);
        }
        return;
      }
      break;
    case UpdatePhase::ClientDownload:
      // Returns only when the client could not be replaced, or with the restart left to the
      // owner.
      Post(ApplyClient() ? UPD_RESTART_READY : UPD_CLIENT_FAILED);
      return;
    case UpdatePhase::FileDownload:
      if (!StoreFile()) {
        Post(UPD_FILE_FAILED);
        return;
      }
      if (pending.empty()) {
        phase = UpdatePhase::Finished;
      } else if (!StartDownload(downloadBaseUrl + pending.front().serverPath,
                                pending.front().size)) {
        Post(UPD_FILE_FAILED);
        return;
      }
      break;
    case UpdatePhase::Finished:
      return;
  }
  if (phase == UpdatePhase::Finished) {
    Post(UPD_FINISHED);
    if (filesUpdated == 0) {
      Post(UPD_NO_UPDATES);
    } else {
      Post(UPD_COMPLETE, filesUpdated);
    }
  }
}

bool SelfUpdate::ProcessList() {
  const std::string bytes = httpClient.GetContent();
  UpdateList list;
  const ListError error = ParseUpdateList(bytes, list);
  listHeader = list.header;
  if (error != ListError::None) {
    LogLine(LogLine::Tab) << "The update list cannot be read: " << ListErrorText(error) << ".";
    return false;
  }
  // Nothing of the list is acted on before it is known to come from the service.
  const uint64_t highestAccepted = AcceptedListSequence();
  ListSignature signature;
  const TrustError trust =
      CheckListTrust(bytes, list.entriesEnd, list.entries.size(), BuiltInUpdateKey(),
                     KeyIdOf(BuiltInUpdateKey()), highestAccepted, VerifyP256Signature, signature);
  if (trust != TrustError::None) {
    refusal = "The update list is not trusted: " +
              TrustErrorText(trust, signature.sequence, highestAccepted) + ".";
    LogLine(LogLine::Tab) << refusal;
    return false;
  }
  if (signature.sequence > highestAccepted) RecordAcceptedListSequence(signature.sequence);
  downloadBaseUrl = list.downloadBaseUrl;
  clientPath = list.clientPath;
  clientSha256_ = signature.clientSha256;

  std::string executable;
  FileDigests running;
  if (!GetModulePath(executable) || !DigestFile(executable, running)) return false;
  if (running.md5 != ClientDigest(listHeader)) {
    if (canReplaceClient(executable)) {
      // The files are left to the restarted client, which reads the list again.
      phase = UpdatePhase::ClientDownload;
      return StartDownload(downloadBaseUrl + clientPath, kClientLimit);
    }
    // A copy in a folder the player may not write (installed for every user) gets its newer
    // version from the setup program: nothing is downloaded for it, and the files are still
    // brought up to date for the version that runs.
    const std::string folder = executable.substr(0, executable.find_last_of('\\'));
    LogLine(LogLine::Tab) << "A newer client is published; this one cannot replace itself in "
                          << folder << ".";
    notInstallableClient = ClientDigest(listHeader);
    PostText(UPD_CLIENT_NOT_INSTALLABLE, ClientNotInstallableText(folder));
  }

  for (size_t i = 0; i < list.entries.size(); ++i) {
    UpdateEntry& entry = list.entries[i];
    entry.sha256 = signature.entrySha256[i];
    std::string reason;
    if (!IsConfinedTarget(entry, reason)) {
      LogLine(LogLine::Tab) << "Refused the update list's entry " << ShownListText(entry.serverPath)
                            << " for " << ShownListText(entry.targetDir) << ": " << reason << ".";
      continue;
    }
    pending.push_back(std::move(entry));
  }
  ApplyEditionOverrides(pending);
  const std::string appDataDir = AppDataDir();
  for (UpdateEntry& entry : pending) CheckEntry(entry, gameFolders_, appDataDir);

  std::vector<UpdateEntry> downloads;
  uint32_t total = 0;
  for (UpdateEntry& entry : pending) {
    if (!(entry.installMask & kNeedsDownload)) continue;
    total = AddClamped(total, entry.size);
    downloads.push_back(std::move(entry));
  }
  pending = std::move(downloads);
  downloadTotal = total;

  if (pending.empty()) {
    phase = UpdatePhase::Finished;
    return true;
  }
  phase = UpdatePhase::FileDownload;
  return StartDownload(downloadBaseUrl + pending.front().serverPath, pending.front().size);
}

bool SelfUpdate::StoreFile() {
  if (pending.empty()) return false;
  const std::string content = httpClient.GetContent();
  const UpdateEntry& entry = pending.front();
  if (content.size() != entry.size) {
    LogLine(LogLine::Tab) << "The download of " << entry.fileName << " holds " << content.size()
                          << " bytes; the update list says " << entry.size << ".";
    return false;
  }
  Sha256Digest sha256;
  if (Md5Hex(content) != entry.md5 || !Sha256Of(content, sha256) || sha256 != entry.sha256) {
    LogLine(LogLine::Tab) << "The download of " << entry.fileName
                          << " does not match the update list's digests.";
    return false;
  }
  if (!StoreEntry(entry, content, gameFolders_)) return false;
  downloadedBytes = AddClamped(downloadedBytes, content.size());
  pending.erase(pending.begin());
  ++filesUpdated;
  return true;
}

bool SelfUpdate::ApplyClient() {
  if (closing_) return false;  // the owner cancelled the run: no restart behind its back
  const std::string content = httpClient.GetContent();
  Sha256Digest sha256;
  if (Md5Hex(content) != ClientDigest(listHeader) || !Sha256Of(content, sha256) ||
      sha256 != clientSha256_) {
    LogLine(LogLine::Tab) << "The downloaded client does not match the update list's digests.";
    return false;
  }
  std::string executable;
  if (!GetModulePath(executable) || !WriteNewClientBeside(executable, content, newClientFile_)) {
    return false;
  }
  if (restartByOwner) return true;
  return Restart();
}

bool SelfUpdate::Restart() {
  const bool visible = mainWindow && IsWindowVisible(mainWindow) == TRUE;
  if (!startClient(newClientFile_, InstallParameters(visible))) {
    LogLine(LogLine::Tab) << "The new client could not be started.";
    DeleteFileW(Wide(newClientFile_).c_str());
    return false;
  }
  if (beforeRestart) beforeRestart();
  // The process ends on this thread; the log's flusher will not get another turn. The new
  // client takes the executable's place once this process is gone.
  Log().Flush();
  ExitProcess(0);
}

bool SelfUpdate::StartDownload(const std::string& url, std::uint64_t bodyLimit) {
  httpClient.Reset();
  reachedService_ = false;
  return SendDownload(url, bodyLimit);
}

bool SelfUpdate::SendDownload(const std::string& url, std::uint64_t bodyLimit) {
  ExchangeLimits limits;
  limits.bodyBytes = bodyLimit;
  limits.whole = exchangeTimeLimit;
  httpClient.Request_SetLimits(limits);
  httpClient.Request_SetHeader("User-Agent", kUserAgent);
  return httpClient.Request_SendGET(url);
}

void SelfUpdate::Post(UpdateMessage message, WPARAM wParam, LPARAM lParam) {
  if (closing_) return;
  PostMessageA(window, message, wParam, lParam);
}

void SelfUpdate::PostText(UpdateMessage message, const std::string& text, WPARAM wParam) {
  if (closing_) return;
  const intptr_t owned = MakeUpdateText(text);
  if (!PostMessageA(window, message, wParam, owned)) DiscardUpdateText(owned);
}

}  // namespace drovane
