#include "update/UpdateList.h"

#include <cstring>

namespace drovane {
namespace {

constexpr size_t kDigestFieldLength = 36;

// Walks the list's bytes; every read is checked against what is left.
class ListReader {
 public:
  explicit ListReader(std::string_view bytes) : bytes_(bytes) {}

  bool Take(void* out, size_t count) {
    if (count > bytes_.size() - position_) return false;
    std::memcpy(out, bytes_.data() + position_, count);
    position_ += count;
    return true;
  }

  bool TakeUint32(uint32_t& value) {
    unsigned char raw[4];
    if (!Take(raw, sizeof raw)) return false;
    value = static_cast<uint32_t>(raw[0]) | static_cast<uint32_t>(raw[1]) << 8 |
            static_cast<uint32_t>(raw[2]) << 16 | static_cast<uint32_t>(raw[3]) << 24;
    return true;
  }

  // A NUL-terminated string; false when the data ends before the NUL.
  bool TakeText(std::string& text) {
    const size_t end = bytes_.find('\0', position_);
    if (end == std::string_view::npos) return false;
    text.assign(bytes_.data() + position_, end - position_);
    position_ = end + 1;
    return true;
  }

  bool AtEnd() const { return position_ >= bytes_.size(); }
  size_t position() const { return position_; }

 private:
  std::string_view bytes_;
  size_t position_ = 0;
};

// The text before the field's NUL, or false when the field has none.
bool DigestText(const char (&field)[kDigestFieldLength], std::string& text) {
  const void* nul = std::memchr(field, '\0', kDigestFieldLength);
  if (!nul) return false;
  text.assign(field, static_cast<const char*>(nul) - field);
  return true;
}

struct EditionPlaceholder {
  const char* text;
  uint32_t mask;
};
// In the order they are tested: the first that occurs decides.
constexpr EditionPlaceholder kEditionPlaceholders[] = {
    {"%WoW-LIVE%", kInstallLive},
    {"%WoW-PTR%", kInstallPTR},
    {"%WoW-BETA%", kInstallBeta},
};
constexpr char kEveryGamePlaceholder[] = "%WoW%";

ListError ParseEntry(ListReader& reader, UpdateEntry& entry) {
  char digest[kDigestFieldLength];
  if (!reader.Take(digest, sizeof digest)) return ListError::TruncatedEntry;
  if (!DigestText(digest, entry.md5)) return ListError::UnterminatedDigest;
  if (!reader.TakeUint32(entry.size)) return ListError::TruncatedEntry;
  std::string targetTemplate;
  if (!reader.TakeText(entry.serverPath) || !reader.TakeText(targetTemplate)) {
    return reader.AtEnd() ? ListError::TruncatedEntry : ListError::UnterminatedText;
  }
  entry.fileName = FileNameOf(entry.serverPath);
  // A name that is no file would make the local path a folder.
  if (entry.fileName.empty() || entry.fileName == "." || entry.fileName == "..") {
    return ListError::EmptyFileName;
  }
  ClassifyTarget(targetTemplate, entry);
  return ListError::None;
}

}  // namespace

std::string ClientDigest(const UpdateListHeader& header) {
  std::string text;
  DigestText(header.clientMd5, text);
  return text;
}

const char* ListErrorText(ListError error) {
  switch (error) {
    case ListError::None:
      return "no error";
    case ListError::TooShort:
      return "shorter than its header";
    case ListError::BadMagic:
      return "no \"KSUL\" magic";
    case ListError::BadHeaderLength:
      return "header block length is not 40";
    case ListError::UnterminatedDigest:
      return "digest without its NUL";
    case ListError::UnterminatedText:
      return "text without its NUL";
    case ListError::TruncatedEntry:
      return "entries run past the end of the list";
    case ListError::EmptyFileName:
      return "server path names no file";
  }
  return "unknown error";
}

ListError ParseUpdateList(std::string_view bytes, UpdateList& list) {
  list = UpdateList();
  ListReader reader(bytes);
  UpdateListHeader& header = list.header;
  if (!reader.Take(header.magic, sizeof header.magic)) return ListError::TooShort;
  if (std::memcmp(header.magic, kUpdateListMagic, sizeof header.magic) != 0) {
    return ListError::BadMagic;
  }
  if (!reader.TakeUint32(header.blockLength)) return ListError::TooShort;
  if (header.blockLength != kUpdateHeaderBlockLength) return ListError::BadHeaderLength;
  uint32_t count = 0;
  if (!reader.Take(header.clientMd5, sizeof header.clientMd5) || !reader.TakeUint32(count)) {
    return ListError::TooShort;
  }
  header.entryCount = static_cast<int32_t>(count);
  std::string digest;
  if (!DigestText(header.clientMd5, digest)) return ListError::UnterminatedDigest;
  if (!reader.TakeText(list.downloadBaseUrl) || !reader.TakeText(list.clientPath)) {
    return ListError::UnterminatedText;
  }
  // The count comes from the data: entries are read one by one, never reserved by the count.
  for (int32_t i = 0; i < header.entryCount; ++i) {
    UpdateEntry entry;
    const ListError error = ParseEntry(reader, entry);
    if (error != ListError::None) return error;
    list.entries.push_back(std::move(entry));
  }
  list.entriesEnd = reader.position();
  return ListError::None;
}

std::string FileNameOf(const std::string& serverPath) {
  const size_t cut = serverPath.find_last_of("\\/");
  return cut == std::string::npos ? serverPath : serverPath.substr(cut + 1);
}

std::string ReplaceFirst(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

void ClassifyTarget(const std::string& targetTemplate, UpdateEntry& entry) {
  entry.targetDir = targetTemplate;
  uint32_t mask = 0;
  bool found = false;
  for (const EditionPlaceholder& placeholder : kEditionPlaceholders) {
    if (targetTemplate.find(placeholder.text) != std::string::npos) {
      entry.targetDir = ReplaceFirst(targetTemplate, placeholder.text, kEveryGamePlaceholder);
      mask = placeholder.mask;
      found = true;
      break;
    }
  }
  if (!found && targetTemplate.find(kEveryGamePlaceholder) != std::string::npos) {
    mask = kInstallEveryGame;
  }
  entry.installMask = mask;
  entry.editionMask = mask;
}

void ApplyEditionOverrides(std::vector<UpdateEntry>& entries) {
  for (UpdateEntry& general : entries) {
    if (general.editionMask != kInstallEveryGame) continue;
    for (const UpdateEntry& special : entries) {
      if (special.editionMask == 0 || special.editionMask == kInstallEveryGame) continue;
      if (special.fileName == general.fileName && special.targetDir == general.targetDir) {
        general.installMask &= ~special.editionMask;
      }
    }
  }
}

std::string GameFilePath(const UpdateEntry& entry, const std::string& gameFolder) {
  return ReplaceFirst(entry.targetDir, kEveryGamePlaceholder, gameFolder) + entry.fileName;
}

std::string OtherFileFolder(const std::string& targetDir, const std::string& appDataDir) {
  return ReplaceFirst(targetDir, "%AppPath%", appDataDir);
}

std::string FolderOf(const std::string& path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

}  // namespace drovane
