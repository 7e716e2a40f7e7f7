// The add-on's SavedVariables file: the scan of its lines, the upload copy of every state, the
// rewrite of its "dlUploaded = " line after a confirmed upload, and the account row texts.
#include "FuzzSupport.h"
#include "data/AccountData.h"
#include "data/SavedVariables.h"
#include "upload/AddonCopy.h"

using namespace drovane;

namespace {

const char kUploadedWord[] = "dlUploaded = ";

void CheckRewrite(const std::string& text, int state) {
  const UploadedLineRewrite rewrite = RewriteUploadedLine(text, state);
  FUZZ_CHECK(rewrite.line == kUploadedWord + std::to_string(state));
  const size_t old = text.find(kUploadedWord);
  FUZZ_CHECK(rewrite.hadLine == (old != std::string::npos));
  if (rewrite.hadLine) {
    // Everything before the old line and from its line end on is kept byte for byte.
    FUZZ_CHECK(rewrite.text.compare(0, old, text, 0, old) == 0);
    FUZZ_CHECK(rewrite.text.compare(old, rewrite.line.size(), rewrite.line) == 0);
    // The old line ends at its carriage return or line feed, which stays.
    size_t end = text.find_first_of("\r\n", old);
    if (end == std::string::npos) end = text.size();
    FUZZ_CHECK(rewrite.text.size() - old - rewrite.line.size() == text.size() - end);
    FUZZ_CHECK(rewrite.text.compare(old + rewrite.line.size(), std::string::npos, text, end,
                                    std::string::npos) == 0);
  } else {
    FUZZ_CHECK(rewrite.text.compare(0, rewrite.line.size(), rewrite.line) == 0);
    FUZZ_CHECK(rewrite.text.size() >= text.size());
    FUZZ_CHECK(rewrite.text.compare(rewrite.text.size() - text.size(), text.size(), text) == 0);
  }
  // The file now reads back as the state written.
  FUZZ_CHECK(ParseUploadedState(rewrite.text) == state);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const SavedVariablesScan scan = ScanSavedVariablesText(text);
  FUZZ_CHECK(OutcomeText(scan.outcome) != nullptr);
  int32_t stats[6];
  ParseStats(text, stats);
  int32_t version = 0;
  ReadAddonDataVersion(text, &version);
  for (int base : {0, 10}) {
    int32_t value = 0;
    for (size_t position : {size_t{0}, size / 3, size}) {
      const size_t end = ParseCInteger(text, position, base, &value);
      FUZZ_CHECK(end == std::string::npos || (end > position && end <= size));
    }
  }
  for (int state = 0; state < UPLOADED_ALL; ++state) {
    for (bool excluded : {false, true}) {
      int newState = state;
      const std::string copy = AddonUploadCopy(text, excluded, newState);
      FUZZ_CHECK((newState & state) == state);
      FUZZ_CHECK(copy.size() <= text.size());
    }
  }
  for (int state : {0, UPLOADED_BASE, UPLOADED_EXPORT, UPLOADED_ALL}) CheckRewrite(text, state);

  // An account folder name of any bytes, as the row shows it.
  AccountDataEntry entry;
  entry.accountFolder = text.substr(0, 64);
  entry.displayName = AccountDisplayName(entry.accountFolder);
  entry.uploadState = scan.uploadState;
  for (int i = 0; i < 6; ++i) entry.stats[i] = scan.stats[i];
  AccountExclusionMap exclusions;
  AccountRow(entry, size % 2 == 0, exclusions);
  SavedVariablesPath("C:\\Games\\World of Warcraft", entry.accountFolder);
  return 0;
}
