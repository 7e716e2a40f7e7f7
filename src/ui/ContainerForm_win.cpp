#include "ui/ContainerForm.h"

#include "base/FileLog.h"
#include "base/Version.h"
#include "ui/Controls.h"
#include "ui/MainForm.h"

namespace drovane {

INT_PTR ContainerForm::HandleMessage(UINT message, WPARAM, LPARAM) {
  if (message != WM_INITDIALOG) return 0;
  // Never shown: the template has no WS_VISIBLE and nothing shows it.
  SetAppIcons();
  SetControlText(hwnd, kClientName);
  LogLine() << "Creating `MainForm`.";
  mainWindow = new MainForm(settings);
  if (!mainWindow->CreateModeless(hwnd)) {
    // Without a main window nothing could ever end the loop: the client ends instead of
    // running on invisible. The window may have closed itself on purpose.
    LogLine() << (mainWindow->endReason.empty() ? std::string("The main window could not be created.")
                                                : mainWindow->endReason);
    PostQuitMessage(0);
  }
  RunMessageLoop();
  delete mainWindow;
  mainWindow = nullptr;
  LogLine() << "Deleted `MainForm`.";
  return 0;
}

void ContainerForm::RunMessageLoop() {
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    // Tab and the arrow keys move between the main window's controls.
    if (mainWindow && mainWindow->hwnd && IsDialogMessageA(mainWindow->hwnd, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

}  // namespace drovane
