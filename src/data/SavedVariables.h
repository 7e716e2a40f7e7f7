#pragma once
// The lines of the add-on's SavedVariables file that the client reads, and what one file means
// for the account list. Pure.
#include <cstdint>
#include <string>

namespace drovane {

// Upload-state bits written back into the file as "dlUploaded = <n>".
constexpr int UPLOADED_BASE = 1;    // everything but the dlExportData line was uploaded
constexpr int UPLOADED_EXPORT = 2;  // the dlExportData line was uploaded
constexpr int UPLOADED_ALL = UPLOADED_BASE | UPLOADED_EXPORT;

// Files shorter than this hold no data worth a row.
constexpr int64_t kMinimumSavedVariablesSize = 26;

// Parses an integer the way the C library's strtol does: leading white space, an optional sign,
// then with base 0 "0x"/"0X" hexadecimal, a leading 0 octal, else decimal (base 10: decimal
// only). Values beyond 32 bits are clamped. Returns the position after the number, or
// std::string::npos when no digit follows.
size_t ParseCInteger(const std::string& text, size_t position, int base, int32_t* value);

// The number after the first "dlUploaded = ", or 0 when there is none or it is not a number.
int ParseUploadedState(const std::string& text);

// The six counters of the first "dlStats" line ("dlStats = \"a^b^c^d^e^f"), in file order.
// False when the word is missing, nothing follows it, or fewer than six numbers parse.
bool ParseStats(const std::string& text, int32_t (&stats)[6]);

// What the scan makes of one file's text.
enum class SavedVariablesOutcome { AlreadyUploaded, ErrorInFile, NotUploaded };
struct SavedVariablesScan {
  SavedVariablesOutcome outcome = SavedVariablesOutcome::ErrorInFile;
  int uploadState = 0;  // the dlUploaded value as found
  int32_t stats[6] = {};
};
SavedVariablesScan ScanSavedVariablesText(const std::string& text);

// The log line's ending for an outcome: "Already uploaded.", "Error in file." or "Not uploaded.".
const char* OutcomeText(SavedVariablesOutcome outcome);

// Whether an account with a row still has something to upload: its base part, or only its
// export line when character data may be sent for it.
bool HasPendingUpload(int uploadState, bool accountExcluded, bool noCharacterData);

}  // namespace drovane
