// Shows the cache viewer over a game folder, as the main window's "View..." would:
//   viewershot [--kind 0..3] [--edition live|ptr|beta] [--rect-file PATH] FOLDER
// The window runs until it is closed. With --rect-file, its screen rectangle is written there as
// "left top width height" once it shows, so a screenshot can be cut to it.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/Application.h"
#include "ui/Form.h"
#include "ui/WdbViewerForm.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: viewershot [--kind 0..3] [--edition live|ptr|beta] [--rect-file PATH] "
               "FOLDER\n");
  return 2;
}

bool WriteRect(HWND window, const std::string& path) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (!file) return false;
  std::fprintf(file, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
               rect.bottom - rect.top);
  return std::fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  int kind = 0;
  drovane::GameEdition edition = drovane::Live;
  std::string folder;
  std::string rectFile;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool hasValue = i + 1 < argc;
    if (argument == "--kind" && hasValue) {
      kind = std::atoi(argv[++i]);
    } else if (argument == "--edition" && hasValue) {
      const std::string name = argv[++i];
      if (name == "live") {
        edition = drovane::Live;
      } else if (name == "ptr") {
        edition = drovane::PTR;
      } else if (name == "beta") {
        edition = drovane::Beta;
      } else {
        return Usage();
      }
    } else if (argument == "--rect-file" && hasValue) {
      rectFile = argv[++i];
    } else if (!argument.empty() && argument[0] != '-' && folder.empty()) {
      folder = argument;
    } else {
      return Usage();
    }
  }
  if (folder.empty() || kind < 0 || kind > 3) return Usage();

  INITCOMMONCONTROLSEX common = {sizeof common, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&common);
  drovane::InstallFormHooks();
  drovane::Application application;
  application.SetGameFolder(edition, folder, true);

  drovane::WdbViewerForm viewer(&application, kind);
  if (!viewer.CreateModeless(nullptr)) {
    std::fprintf(stderr, "viewershot: the viewer could not be created\n");
    return 1;
  }
  viewer.BringToFront();
  if (!rectFile.empty() && !WriteRect(viewer.hwnd, rectFile)) {
    std::fprintf(stderr, "viewershot: cannot write %s\n", rectFile.c_str());
  }
  MSG message;
  while (viewer.hwnd && GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageA(viewer.hwnd, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  drovane::RemoveFormHooks();
  return 0;
}
