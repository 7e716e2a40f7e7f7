// Shortcuts are shell link objects (IShellLinkW) saved through their IPersistFile.
#include "base/Shortcuts.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include "base/ComHandles.h"
#include "base/WideText.h"

namespace drovane {

bool CreateShortcut(const std::string& linkPath, const std::string& targetPath) {
  // The shell link object lives in a single-threaded apartment. A thread already in another
  // apartment can still create it, so only this call's own initialisation is undone.
  ComApartment apartment(COINIT_APARTMENTTHREADED);
  ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              link.receiveVoid()))) {
    return false;
  }
  if (FAILED(link->SetPath(Wide(targetPath).c_str())) ||
      FAILED(link->SetDescription(Wide(kShortcutDescription).c_str()))) {
    return false;
  }
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.receiveVoid()))) return false;
  // A path too long for MAX_PATH is refused here rather than written somewhere the player did
  // not ask for.
  const std::wstring widePath = Wide(linkPath);
  if (widePath.empty() || widePath.size() >= MAX_PATH) return false;
  return SUCCEEDED(file->Save(widePath.c_str(), TRUE));
}

}  // namespace drovane
