#pragma once
// The update list "files/updates.dat" that the service publishes: its binary layout, the entries
// with their installation masks, and the path templates of the files it names.
// Pure: no Windows headers.
//
// Layout (integers 32-bit little-endian, strings single-byte and NUL-terminated):
//   "KSUL", uint32 N = 40, then the N-byte header block: the client digest (32 lowercase hex
//   characters, a NUL, padding to 36 bytes) and the entry count (signed; 0 or less: none);
//   then the download base URL, the client path, and the entries, each: a 36-byte digest as
//   above, uint32 size, server path, target folder template.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/Digests.h"
#include "game/GameEdition.h"

namespace drovane {

enum class UpdatePhase : int32_t {
  ListDownload = 0,
  ClientDownload = 1,
  FileDownload = 2,
  Finished = 3
};

// The first 8 bytes of the list (magic and header block length) and the header block.
struct UpdateListHeader {
  char magic[4];
  uint32_t blockLength;
  char clientMd5[36];
  int32_t entryCount;
};
static_assert(sizeof(UpdateListHeader) == 48, "the list header is 48 bytes");

constexpr char kUpdateListMagic[4] = {'K', 'S', 'U', 'L'};
constexpr uint32_t kUpdateHeaderBlockLength = 40;

// installMask and editionMask bits.
constexpr uint32_t kInstallLive = 0x1;
constexpr uint32_t kInstallPTR = 0x2;
constexpr uint32_t kInstallBeta = 0x4;
constexpr uint32_t kInstallEveryGame = 0xF;  // "%WoW%": bit 3 marks the general entry
constexpr uint32_t kGameBits = 0xF;
constexpr uint32_t kNeedsDownload = 0x20;

inline uint32_t EditionBit(GameEdition edition) {
  return 1u << static_cast<int>(edition);
}

struct UpdateEntry {
  std::string md5;  // as read: the text before the digest field's NUL
  uint32_t size = 0;
  uint32_t installMask = 0;  // installations this entry still serves, and kNeedsDownload
  uint32_t editionMask = 0;  // installations the entry was written for; 0: not a game file
  std::string fileName;
  std::string serverPath;
  std::string targetDir;  // an edition placeholder is already "%WoW%"
  Sha256Digest sha256{};  // from the list's signature block
};

struct UpdateList {
  UpdateListHeader header{};
  std::string downloadBaseUrl;
  std::string clientPath;
  std::vector<UpdateEntry> entries;
  // Where the last counted entry ends: the signature block begins here.
  size_t entriesEnd = 0;
};

// The client digest of a header: the text before its NUL.
std::string ClientDigest(const UpdateListHeader& header);

enum class ListError {
  None,
  TooShort,            // shorter than the 48-byte header
  BadMagic,            // does not begin with "KSUL"
  BadHeaderLength,     // a header block other than 40 bytes
  UnterminatedDigest,  // a digest field without its NUL
  UnterminatedText,    // a string that runs to the end of the data
  TruncatedEntry,      // the entry count runs past the data
  EmptyFileName,       // a server path that names no file ("", "dir/", "..")
};
const char* ListErrorText(ListError error);

// Reads a whole list. Every length, count and string is checked against the data, so a cut or
// corrupt list is refused instead of being read past its end; bytes after the last counted entry
// are left to the signature block (ListSignature.h). On failure `list` holds what was read up
// to the fault.
ListError ParseUpdateList(std::string_view bytes, UpdateList& list);

// The part of a server path after its last '\\' or '/' (the whole path when it has none).
std::string FileNameOf(const std::string& serverPath);

// Replaces the first occurrence of `from` only, as the list's placeholders are used.
std::string ReplaceFirst(std::string text, const std::string& from, const std::string& to);

// The entry's masks and "%WoW%" form of its template: "%WoW-LIVE%", "%WoW-PTR%", "%WoW-BETA%"
// (tested in this order) name one installation; "%WoW%" names every one; anything else is a file
// outside the game.
void ClassifyTarget(const std::string& targetTemplate, UpdateEntry& entry);

// A file listed for every installation ("%WoW%") and also for one installation in particular,
// with the same file name and folder, is taken from the particular entry for that installation:
// the general entry stops serving it.
void ApplyEditionOverrides(std::vector<UpdateEntry>& entries);

// Local path of a game entry in one installation: the folder template with "%WoW%" replaced by
// the game folder, followed by the file name.
std::string GameFilePath(const UpdateEntry& entry, const std::string& gameFolder);

// Local folder of a file outside the game: "%AppPath%" replaced by the client's data folder.
std::string OtherFileFolder(const std::string& targetDir, const std::string& appDataDir);

// The part of a path up to and including its last '\\' or '/' (empty without one).
std::string FolderOf(const std::string& path);

}  // namespace drovane
