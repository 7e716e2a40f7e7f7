#include "ui/OptionsRules.h"

namespace drovane {
namespace {

const EditionMessages kMessages[kEditionCount] = {
    {"Could not find your World of Warcraft folder.",
     "Could not find your World of Warcraft Live folder.\nIt might not be installed on your "
     "computer.",
     "Live World of Warcraft path is invalid."},
    {"Could not find your World of Warcraft PTR folder.",
     "Could not find your World of Warcraft PTR folder.\nIt might not be installed on your "
     "computer.",
     "PTR World of Warcraft path is invalid."},
    {"Could not find your World of Warcraft Beta folder.",
     "Could not find your World of Warcraft Beta folder.\nIt might not be installed on your "
     "computer.",
     "Beta World of Warcraft path is invalid."},
};

// Only ASCII letters fold: the executables' names are ASCII, and a byte of another code page must
// not vanish or change into a letter that happens to match.
bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const unsigned char x = static_cast<unsigned char>(a[i]);
    const unsigned char y = static_cast<unsigned char>(b[i]);
    const auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    if (fold(x) != fold(y)) return false;
  }
  return true;
}

}  // namespace

bool IsEditionExecutable(GameEdition edition, const std::string& path) {
  const size_t cut = path.find_last_of('\\');
  // The table's names start with the backslash that joins them to a folder.
  const std::string name = "\\" + (cut == std::string::npos ? path : path.substr(cut + 1));
  for (const char* executable : InfoOf(edition).executables) {
    if (EqualsIgnoringAsciiCase(name, executable)) return true;
  }
  return false;
}

std::string FolderOfFile(const std::string& path) {
  const size_t cut = path.find_last_of('\\');
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

const EditionMessages& MessagesOf(GameEdition edition) {
  return kMessages[edition >= 0 && edition < kEditionCount ? edition : Live];
}

}  // namespace drovane
