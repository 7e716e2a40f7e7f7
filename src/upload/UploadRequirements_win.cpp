// The fact of the upload requirements that lives in Windows: whether the game's window is open.
#include <windows.h>

#include "upload/UploadRequirements.h"

namespace drovane {

bool GameWindowOpen() {
  return FindWindowA("GxWindowClass", nullptr) != nullptr;
}

}  // namespace drovane
