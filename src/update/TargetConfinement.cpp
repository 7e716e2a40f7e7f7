#include "update/TargetConfinement.h"

#include <cctype>
#include <cstring>

namespace drovane {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

// CON, PRN, AUX, NUL, COM0-9 and LPT0-9 (also with the superscript digits ¹²³ of the Western
// code page), CONIN$ and CONOUT$: Windows opens the device whatever extension follows.
bool IsDeviceName(std::string_view name) {
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  std::string upper;
  for (char c : base) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL" ||
      upper == "CONIN$" || upper == "CONOUT$") {
    return true;
  }
  if (upper.size() != 4 || (upper.compare(0, 3, "COM") != 0 && upper.compare(0, 3, "LPT") != 0)) {
    return false;
  }
  const unsigned char digit = static_cast<unsigned char>(upper[3]);
  return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

// Checks every name of a relative path; the path may end with a separator.
bool IsSafeRelativePath(std::string_view path, std::string& reason) {
  size_t start = 0;
  while (start < path.size()) {
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    if (!IsSafePathName(path.substr(start, end - start), reason)) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace

bool IsSafePathName(std::string_view name, std::string& reason) {
  if (name.empty()) {
    reason = "an empty folder name";
    return false;
  }
  if (name == "." || name == "..") {
    reason = "a \"" + std::string(name) + "\" component";
    return false;
  }
  for (char c : name) {
    if (c == ':') {
      reason = "a ':' in a name";
      return false;
    }
    if (static_cast<unsigned char>(c) < 0x20 || std::strchr("<>\"|?*", c)) {
      reason = "a character Windows does not allow in a name";
      return false;
    }
  }
  if (name.back() == '.' || name.back() == ' ') {
    reason = "a name ending in a dot or a space";
    return false;
  }
  if (IsDeviceName(name)) {
    reason = "the device name \"" + std::string(name) + "\"";
    return false;
  }
  return true;
}

bool IsConfinedTarget(const UpdateEntry& entry, std::string& reason) {
  const std::string_view folder = entry.targetDir;
  std::string_view below;
  if (entry.editionMask != 0) {
    // The placeholder must open the template: "C:\%WoW%\" would resolve anywhere.
    if (folder.compare(0, 6, "%WoW%\\") != 0 || !StartsWithNoCase(folder, kGameTargetPrefix)) {
      reason = "a game target outside the game's Interface\\AddOns folder";
      return false;
    }
    below = folder.substr(std::strlen(kGameTargetPrefix));
  } else {
    if (folder.compare(0, std::strlen(kAppDataPlaceholder), kAppDataPlaceholder) != 0) {
      reason = "a target outside the game's AddOns folder and the client's data folder";
      return false;
    }
    below = folder.substr(std::strlen(kAppDataPlaceholder));
    if (!below.empty() && IsSeparator(below.front())) below.remove_prefix(1);
  }
  // The file name joins the folder text directly, so both are checked as one relative path.
  return IsSafeRelativePath(std::string(below) + entry.fileName, reason);
}

std::string ShownListText(std::string_view text) {
  constexpr size_t kShown = 200;
  std::string shown;
  for (char c : text.substr(0, kShown)) {
    shown += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
  }
  if (text.size() > kShown) shown += "...";
  return shown;
}

}  // namespace drovane
