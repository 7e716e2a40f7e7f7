// Shortcuts are shell link objects (IShellLinkA) saved through their IPersistFile.
#include "app/Shortcuts.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include "app/ComHandles.h"

namespace drovane {

bool CreateShortcut(const std::string& linkPath, const std::string& targetPath) {
  // The shell link object lives in a single-threaded apartment. A thread already in another
  // apartment can still create it, so only this call's own initialisation is undone.
  ComApartment apartment(COINIT_APARTMENTTHREADED);
  ComPtr<IShellLinkA> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              link.receiveVoid()))) {
    return false;
  }
  if (FAILED(link->SetPath(targetPath.c_str())) ||
      FAILED(link->SetDescription(kShortcutDescription))) {
    return false;
  }
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.receiveVoid()))) return false;
  // IPersistFile takes a UTF-16 path; a path too long for MAX_PATH is refused here rather than
  // written somewhere the player did not ask for.
  wchar_t widePath[MAX_PATH] = {};
  if (MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, widePath, MAX_PATH) == 0) return false;
  return SUCCEEDED(file->Save(widePath, TRUE));
}

}  // namespace drovane
