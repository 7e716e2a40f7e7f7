#pragma once
// The add-on's SavedVariables file on its way to the service and back: the upload copy of one
// account's file, the add-on data version it carries, and the rewrite of its "dlUploaded = "
// line after a confirmed upload. Pure.
#include <cstdint>
#include <string>

namespace drovane {

// The number right after the first "dlVersion = "; false when there is none.
bool ReadAddonDataVersion(const std::string& text, int32_t* version);

// The upload copy of an add-on file whose upload state is state (not both bits set):
// - an excluded account (or all accounts, when character data is switched off) loses its
//   "dlExportData = " line from the copy; otherwise the line goes with it and state gains
//   UPLOADED_EXPORT;
// - when the base part went before, only the export line is left (or nothing); otherwise state
//   gains UPLOADED_BASE.
std::string AddonUploadCopy(const std::string& text, bool excluded, int& state);

// The file's text with its "dlUploaded = " line set to the state.
struct UploadedLineRewrite {
  std::string text;
  std::string line;  // "dlUploaded = <state>"
  bool hadLine = false;
};
// The old line runs from the first "dlUploaded = " to the end of its line; the line end itself
// (a line feed, or a carriage return and a line feed) stays, so every other byte of the file is
// kept. Without an old line the new one goes on top, followed by a line feed when the file is
// not empty.
UploadedLineRewrite RewriteUploadedLine(const std::string& text, int state);

}  // namespace drovane
