#pragma once
// What the self-update tests share: update list bytes written by hand (for lists the publisher
// refuses to make), a window that records the run's messages, a service with a published update,
// and environment variables set for one test.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/DevService.h"
#include "support/TempFolder.h"
#include "UpdateListBytes.h"

namespace drovane::test {

// MD5 of the running test program, as the list must carry it for "the client is current".
std::string RunningClientDigest();

// Sets a variable for the C library (std::getenv) and for child processes; the old value comes
// back at the end of the scope.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const std::string& name, const std::string& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  bool hadValue_ = false;
  std::string oldValue_;
};

// A message-only window that records what a run posts, taking over the texts of UPD_FILE and
// UPD_ERROR.
struct UpdateNotice {
  unsigned message;
  uintptr_t wParam;
  std::string text;
};
class MessageRecorder {
 public:
  MessageRecorder();
  ~MessageRecorder();
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;

  HWND window() const { return window_; }
  // Pumps this thread's messages until a message that ends the run arrives; false at the limit.
  bool WaitForEnd(unsigned timeoutMs);
  // Handles what is already queued.
  void Drain();
  void Clear() { notices_.clear(); }
  const std::vector<UpdateNotice>& notices() const { return notices_; }
  std::vector<unsigned> Messages() const;
  // The texts of the notices of one message, in order.
  std::vector<std::string> Texts(unsigned message) const;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  HWND window_ = nullptr;
  std::vector<UpdateNotice> notices_;
};

// A JSON string literal of a single-byte text.
std::string JsonText(const std::string& text);

// A service with an update published from a source folder:
//   UpdateService service;
//   service.AddSource("addon/core.lua", "content");
//   service.Start(R"("clientMd5": "...", "clientPath": "x.exe")", {{"addon/core.lua", "%WoW%\\"}});
class UpdateService {
 public:
  UpdateService();
  void AddSource(const std::string& relative, const std::string& content);
  // clientJson: the manifest's client members; entries: (file, target) pairs. Starts the service
  // with the published list and points DROVANE_SERVICE_URL at it.
  bool Start(const std::string& clientJson,
             const std::vector<std::pair<std::string, std::string>>& entries,
             const std::vector<std::string>& extraOptions = {});
  // Start for the running test program as the current client.
  bool StartWithCurrentClient(const std::vector<std::pair<std::string, std::string>>& entries);
  // Replaces a served file (after publishing), e.g. with bytes that fail the digest.
  void ServeFile(const std::string& relative, const std::string& content);
  // Serves list bytes written by a test, signed with the test key (or, with otherKey, a key of
  // its own) under the sequence number; the SHA-256s are those of the served files. False when
  // the signer did not finish.
  bool ServeSignedList(const std::string& listBytes, uint64_t sequence, bool otherKey = false);
  std::string ServedList() const;
  // Paths of the requests received, in order ("/files/updates.dat", ...).
  std::vector<std::string> RequestPaths() const;
  DevService& service() { return *service_; }
  std::string url() const { return service_->url(); }
  const TempFolder& folder() const { return folder_; }

 private:
  TempFolder folder_;
  std::unique_ptr<DevService> service_;
  std::unique_ptr<ScopedEnvironment> serviceUrl_;
};

// Whether a file exists and whether it is read-only.
bool IsReadOnly(const std::string& path);
// Files in a folder whose names match the pattern.
std::vector<std::string> FilesMatching(const std::string& folder, const std::string& pattern);

}  // namespace drovane::test
