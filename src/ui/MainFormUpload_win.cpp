// The main window's upload: the requirements, then the upload window over the main window, then
// the outcome in the log pane.
#include "base/ClientMessageBox.h"
#include "base/FileLog.h"
#include "settings/Settings.h"
#include "ui/Controls.h"
#include "ui/MainForm.h"
#include "ui/UploadForm.h"
#include "upload/UploadBookkeeping.h"
#include "upload/UploadRequirements.h"

namespace drovane {

void MainForm::StartUpload(bool automatic) {
  RefreshData();
  UploadRequirementFacts facts;
  facts.hasDataToUpload = hasDataToUpload;
  facts.gameWindowOpen = GameWindowOpen();
  facts.username = settings->GetUsername();
  facts.password = settings->GetPassword();
  facts.lastUploadKnown = ReadLastUpload(facts.lastUpload);
  facts.now = CurrentUnixTime();
  const UploadRequirement requirement = CheckUploadRequirements(facts);
  LogLine() << UploadAttemptLogText(automatic, requirement);

  if (requirement != UploadRequirement::Met) {
    const std::string reason = UploadRequirementMessage(requirement);
    if (automatic) {
      // Nobody may be at the computer: no box, only the log pane.
      AppendToLogPane("\r\n", false);
      AppendToLogPane(reason, false);
    } else {
      ClientMessageBox(hwnd, reason, MB_ICONINFORMATION);
      if (requirement == UploadRequirement::MissingLogin) {
        PostMessageA(hwnd, WM_COMMAND, kCmdOptions, 0);
      }
    }
    return;
  }
  if (!automatic && !IsWindowVisible(hwnd)) BringToFront();

  LogLine() << "Creating `UploadForm`.";
  uploading = true;
  {
    UploadForm form(settings, this);
    if (automatic) form.mode = 1;
    form.RunModal(hwnd);
    const std::string error = form.errorMessage();
    if (error.empty()) {
      AppendToLogPane("Upload succeeded!", true);
    } else {
      AppendToLogPane("Upload failed: " + error, true);
    }
  }
  LogLine() << "Deleted `UploadForm`.";
  EndOfUpload();
}

void MainForm::EndOfUpload() {
  uploading = false;
  if (refreshAfterUpload) {
    refreshAfterUpload = false;
    RefreshData();
  }
}

}  // namespace drovane
