// "World of Warcraft Launcher.exe": what the client's launch command starts. Like the game's own
// launcher it starts the game beside it ("Wow-64.exe", else "Wow.exe") and ends; every argument
// goes on to the game unchanged, so a test can tell the started game what to do.
#include <windows.h>

#include <cstdio>
#include <string>

#include "gamefixture/FixtureEdge.h"

namespace {

// The command line after the program's own name, as Windows splits it: a quoted name runs to
// the closing quote, an unquoted one to the first blank.
const wchar_t* ArgumentsOf(const wchar_t* commandLine) {
  const wchar_t* cursor = commandLine;
  if (*cursor == L'"') {
    ++cursor;
    while (*cursor && *cursor != L'"') ++cursor;
    if (*cursor) ++cursor;
  } else {
    while (*cursor && *cursor != L' ' && *cursor != L'\t') ++cursor;
  }
  while (*cursor == L' ' || *cursor == L'\t') ++cursor;
  return cursor;
}

std::wstring ModuleFolderW() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L'\\'));
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::wstring folder = ModuleFolderW();
  std::wstring game;
  for (const wchar_t* name : {L"\\Wow-64.exe", L"\\Wow.exe"}) {
    if (GetFileAttributesW((folder + name).c_str()) != INVALID_FILE_ATTRIBUTES) {
      game = folder + name;
      break;
    }
  }
  if (game.empty()) {
    std::fprintf(stderr, "launcher: no Wow-64.exe or Wow.exe beside the launcher\n");
    return 1;
  }
  std::wstring commandLine = L"\"" + game + L"\" " + ArgumentsOf(GetCommandLineW());
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(game.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &process)) {
    std::fprintf(stderr, "launcher: %s\n",
                 drovane::fixture::WithLastError("cannot start the game").c_str());
    return 1;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}
