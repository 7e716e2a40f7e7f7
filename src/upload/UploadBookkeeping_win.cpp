#include "upload/UploadBookkeeping.h"

#include <windows.h>

#include <ctime>
#include <limits>

#include "base/DataFile.h"
#include "base/FileLog.h"
#include "base/FileSystem.h"
#include "base/Registry.h"
#include "base/WideText.h"
#include "base/WinHandles.h"
#include "data/AccountData.h"
#include "settings/Settings.h"
#include "upload/AddonCopy.h"

namespace drovane {
namespace {

constexpr char kUploadsValue[] = "#Uploads";
constexpr char kTotalUploadedValue[] = "TotalUploaded";
constexpr char kLastUploadValue[] = "LastUpload";

enum class ReadOutcome { Read, Missing, Unreadable };

// The whole file. A file that is not there is Missing (the rewrite may create it); one that is
// there but cannot be opened or read to the end is Unreadable, and must not be replaced by a
// text that has lost its content.
ReadOutcome ReadAddonFile(const std::string& path, std::string& text) {
  text.clear();
  DataFile file;
  if (!file.Open(path, FileMode::Read)) {
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return ReadOutcome::Unreadable;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadOutcome::Missing
                                                                          : ReadOutcome::Unreadable;
  }
  const int64_t size = file.Size();
  if (size < 0) return ReadOutcome::Unreadable;
  if (size == 0) return ReadOutcome::Read;
  const char* data = file.ReadAll();
  if (!data || static_cast<int64_t>(file.ReadAllSize()) != size) return ReadOutcome::Unreadable;
  text.assign(data, file.ReadAllSize());
  return ReadOutcome::Read;
}

void LogShouldRead(const std::string& line) {
  LogLine() << "\tThe line in the file *should* read (w/o quotes): '" << line << "'.";
}

void WriteUploadedLine(const std::string& path, UploadStateMap& states) {
  LogLine() << "Opening " << path << " to change dlUploaded SavedVariable.";
  std::string text;
  const ReadOutcome read = ReadAddonFile(path, text);
  if (read != ReadOutcome::Read) {
    LogLine() << "Unable to open " << path << " to change dlUploaded SavedVariable.";
  }
  const UploadedLineRewrite rewrite = RewriteUploadedLine(text, states[path]);
  if (read == ReadOutcome::Read && !rewrite.hadLine) {
    LogLine() << "\tFailure opening the file for reading.";
  }
  if (read == ReadOutcome::Unreadable) {
    LogShouldRead(rewrite.line);
  } else if (!ReplaceFileContent(path, rewrite.text)) {
    LogLine() << "Unable to open " << path << " to the new dlUploaded SavedVariable value.";
    LogShouldRead(rewrite.line);
  } else {
    // The game's backup goes only once the file itself holds the new line.
    DeleteFileW(Wide(path + ".bak").c_str());
  }
}

}  // namespace

uint32_t CountUpload(Settings& settings) {
  if (settings.uploadCount == 0) {
    RegistryReadDword(kStatisticsKey, kUploadsValue, settings.uploadCount);
  }
  ++settings.uploadCount;
  RegistryWriteDword(kStatisticsKey, kUploadsValue, settings.uploadCount);
  return settings.uploadCount;
}

uint32_t AddUploadedBytes(Settings& settings, uint64_t bytes) {
  if (settings.totalUploaded == 0) {
    RegistryReadDword(kStatisticsKey, kTotalUploadedValue, settings.totalUploaded);
  }
  constexpr uint64_t kLimit = std::numeric_limits<uint32_t>::max();
  const uint64_t total = settings.totalUploaded + bytes;
  settings.totalUploaded = static_cast<uint32_t>(total < kLimit ? total : kLimit);
  RegistryWriteDword(kStatisticsKey, kTotalUploadedValue, settings.totalUploaded);
  return settings.totalUploaded;
}

bool WriteLastUpload(int64_t secondsSince1970) {
  unsigned char bytes[8];
  for (int i = 0; i < 8; ++i) {
    bytes[i] =
        static_cast<unsigned char>((static_cast<uint64_t>(secondsSince1970) >> (8 * i)) & 0xFF);
  }
  return RegistryWrite(kStatisticsKey, kLastUploadValue, bytes, REG_BINARY, sizeof bytes);
}

bool ReadLastUpload(int64_t& secondsSince1970) {
  unsigned char bytes[8] = {};
  RegistryKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kStatisticsKey, 0, KEY_QUERY_VALUE, key.receive()) !=
      ERROR_SUCCESS) {
    return false;
  }
  DWORD type = 0;
  DWORD size = sizeof bytes;
  const LONG status = RegQueryValueExA(key.get(), kLastUploadValue, nullptr, &type, bytes, &size);
  // Anything but the 8 bytes the client writes is not a time it can trust.
  if (status != ERROR_SUCCESS || size != sizeof bytes) return false;
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | bytes[i];
  secondsSince1970 = static_cast<int64_t>(value);
  return true;
}

int64_t CurrentUnixTime() {
  return static_cast<int64_t>(std::time(nullptr));
}

void SaveIdSets(IdSetList& list, const std::string& stateFolder) {
  for (const UploadedIdSet& set : list.sets) {
    // The file keeps its earlier ids, so the records go again with the next upload; the log says
    // why they do.
    if (!set.Save(stateFolder)) {
      LogLine() << "Unable to save the upload state " << stateFolder << set.StateFileName() << ".";
    }
  }
  list.sets.clear();
}

void WriteUploadedLines(const std::string (&gameFolders)[kEditionCount], UploadStateMap& states,
                        const std::function<bool()>& gameRunning) {
  for (GameEdition edition : kEditions) {
    const std::string& folder = gameFolders[edition];
    if (folder.empty()) continue;
    for (const FolderEntry& account : ListFolder(folder + "\\WTF\\Account", "*.*")) {
      if (!account.isDirectory) continue;
      const std::string path = SavedVariablesPath(folder, account.name);
      // A running game writes its saved variables back when it exits: a line written now would
      // be lost under it, or its write under this one.
      if (gameRunning && gameRunning()) {
        LogLine() << "WoW is running: " << path
                  << " keeps its dlUploaded line; the next upload sends its data again.";
        continue;
      }
      WriteUploadedLine(path, states);
    }
  }
}

}  // namespace drovane
