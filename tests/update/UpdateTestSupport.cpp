#include "UpdateTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "base/DataFile.h"
#include "base/FileSystem.h"
#include "base/Md5.h"
#include "update/UpdateMessages.h"

namespace drovane::test {
namespace {

constexpr char kRecorderClass[] = "DrovaneUpdateTestRecorder";

}  // namespace

std::string RunningClientDigest() {
  std::string path, content;
  EXPECT_TRUE(GetModulePath(path));
  EXPECT_TRUE(ReadWholeFile(path, content));
  return Md5Hex(content);
}

ScopedEnvironment::ScopedEnvironment(const std::string& name, const std::string& value)
    : name_(name) {
  if (const char* old = std::getenv(name.c_str())) {
    hadValue_ = true;
    oldValue_ = old;
  }
  _putenv_s(name.c_str(), value.c_str());
  SetEnvironmentVariableA(name.c_str(), value.c_str());
}

ScopedEnvironment::~ScopedEnvironment() {
  // An empty value removes the variable from the C library's table.
  _putenv_s(name_.c_str(), hadValue_ ? oldValue_.c_str() : "");
  SetEnvironmentVariableA(name_.c_str(), hadValue_ ? oldValue_.c_str() : nullptr);
}

MessageRecorder::MessageRecorder() {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = &MessageRecorder::Procedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kRecorderClass;
  RegisterClassA(&windowClass);  // fails harmlessly when already registered
  window_ = CreateWindowExA(0, kRecorderClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
  SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

MessageRecorder::~MessageRecorder() {
  Drain();  // texts still queued are taken over, not leaked
  DestroyWindow(window_);
}

LRESULT CALLBACK MessageRecorder::Procedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
  auto* self = reinterpret_cast<MessageRecorder*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self && message >= kFirstUpdateMessage && message <= kLastUpdateMessage) {
    UpdateNotice notice{message, static_cast<uintptr_t>(wParam), std::string()};
    if (CarriesUpdateText(message)) notice.text = TakeUpdateText(lParam);
    self->notices_.push_back(notice);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

bool MessageRecorder::WaitForEnd(unsigned timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  size_t seen = 0;
  for (;;) {
    Drain();
    for (; seen < notices_.size(); ++seen) {
      if (IsUpdateRunEnd(notices_[seen].message)) return true;
    }
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
  }
}

void MessageRecorder::Drain() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

std::vector<unsigned> MessageRecorder::Messages() const {
  std::vector<unsigned> messages;
  for (const UpdateNotice& notice : notices_) messages.push_back(notice.message);
  return messages;
}

std::vector<std::string> MessageRecorder::Texts(unsigned message) const {
  std::vector<std::string> texts;
  for (const UpdateNotice& notice : notices_) {
    if (notice.message == message) texts.push_back(notice.text);
  }
  return texts;
}

std::string JsonText(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

UpdateService::UpdateService() = default;

void UpdateService::AddSource(const std::string& relative, const std::string& content) {
  std::string path = folder_ / ("release\\" + relative);
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  WriteTestFile(path, content);
}

bool UpdateService::Start(const std::string& clientJson,
                          const std::vector<std::pair<std::string, std::string>>& entries,
                          const std::vector<std::string>& extraOptions) {
  std::string manifest = "{\"source\": \"release\", " + clientJson + ", \"entries\": [";
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i) manifest += ", ";
    manifest += "{\"file\": " + JsonText(entries[i].first) +
                ", \"target\": " + JsonText(entries[i].second) + "}";
  }
  manifest += "]}";
  WriteTestFile(folder_ / "publish.json", manifest);
  CreateDirectoryTree(folder_ / "files\\");
  std::vector<std::string> options = {"--files", HostPath(folder_ / "files"), "--publish",
                                      HostPath(folder_ / "publish.json")};
  options.insert(options.end(), extraOptions.begin(), extraOptions.end());
  service_ = std::make_unique<DevService>(options);
  if (!service_->running()) return false;
  serviceUrl_ = std::make_unique<ScopedEnvironment>("DROVANE_SERVICE_URL", service_->url());
  // The list is written at start; it must be there before a run asks for it.
  for (int i = 0; i < 100 && !FileExists(folder_ / "files\\updates.dat"); ++i) Sleep(50);
  return FileExists(folder_ / "files\\updates.dat");
}

bool UpdateService::StartWithCurrentClient(
    const std::vector<std::pair<std::string, std::string>>& entries) {
  return Start(
      "\"clientMd5\": \"" + RunningClientDigest() + "\", \"clientPath\": \"DrovaneClient.exe\"",
      entries);
}

void UpdateService::ServeFile(const std::string& relative, const std::string& content) {
  std::string path = folder_ / ("files\\" + relative);
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  WriteTestFile(path, content);
}

bool UpdateService::ServeSignedList(const std::string& listBytes, uint64_t sequence,
                                    bool otherKey) {
  const std::string unsigned_ = folder_ / "unsigned.dat";
  const std::string served = folder_ / "files\\updates.dat";
  WriteTestFile(unsigned_, listBytes);
  DeleteFileA(served.c_str());
  const std::string script = std::string(DROVANE_SOURCE_DIR) + "/tests/update/sign_test_list.py";
  const std::string command = "Z:\\usr\\bin\\python3 " + HostArgument(script) + " " +
                              HostArgument(HostPath(unsigned_)) + " " +
                              HostArgument(HostPath(folder_ / "files")) + " " +
                              std::to_string(sequence) + (otherKey ? " other " : " test ") +
                              HostArgument(HostPath(served));
  if (!StartHostProgram(command)) return false;
  // The signer replaces the list in one step: it is there whole or not at all.
  for (int i = 0; i < 300; ++i) {
    if (FileExists(served)) return true;
    Sleep(50);
  }
  return false;
}

std::string UpdateService::ServedList() const { return ReadTestFile(folder_ / "files\\updates.dat"); }

std::vector<std::string> UpdateService::RequestPaths() const {
  std::vector<std::string> paths;
  const int count = service_->RequestCount();
  for (int i = 1; i <= count; ++i) {
    const std::string raw = service_->RawRequest(i);
    const size_t start = raw.find(' ');
    const size_t end = raw.find(' ', start + 1);
    paths.push_back(start == std::string::npos || end == std::string::npos
                        ? raw
                        : raw.substr(start + 1, end - start - 1));
  }
  return paths;
}

bool IsReadOnly(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

std::vector<std::string> FilesMatching(const std::string& folder, const std::string& pattern) {
  std::vector<std::string> names;
  for (const FolderEntry& entry : ListFolder(folder, pattern)) {
    if (!entry.isDirectory) names.push_back(entry.name);
  }
  return names;
}

}  // namespace drovane::test
