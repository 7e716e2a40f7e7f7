// fakegame: the game as the client sees it. Each variant (Wow.exe, WowT-64.exe, ...) is this
// program with its own version resource. While it runs it holds a top-level window of class
// "GxWindowClass", the game's; it ends by itself after its time (or when its window is closed),
// writing the cache and add-on data it was asked for first, as the game does on exit.
#include <windows.h>

#include <cstdio>
#include <string>

#include "base/WideText.h"
#include "fakegame/FakeGameOptions.h"
#include "fakegame/GameWrites.h"
#include "gamefixture/FixtureEdge.h"

using namespace drovane;
using namespace drovane::fakegame;

namespace {

constexpr wchar_t kWindowClass[] = L"GxWindowClass";
constexpr UINT_PTR kRunTimer = 1;
constexpr int kBadCommandLine = 2;
constexpr int kWriteFailed = 3;

struct Game {
  FakeGameOptions options;
  std::string folder;
  uint32_t build = 0;
  bool dataWritten = false;
  bool writeFailed = false;

  void WriteData() {
    if (dataWritten) return;
    dataWritten = true;
    std::string error;
    if (!WriteGameData(options, folder, build, error)) {
      writeFailed = true;
      std::fprintf(stderr, "fakegame: %s\n", error.c_str());
    }
  }

  // Time is up or the window was closed: write, then go.
  void Finish(HWND window) {
    KillTimer(window, kRunTimer);
    if (options.writeAt == WriteAt::Exit) WriteData();
    DestroyWindow(window);
  }
};

LRESULT CALLBACK GameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Game* game = reinterpret_cast<Game*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_NCCREATE: {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      break;
    }
    case WM_TIMER:
      if (wParam == kRunTimer && game) {
        game->Finish(window);
        return 0;
      }
      break;
    case WM_CLOSE:
      if (game) {
        game->Finish(window);
        return 0;
      }
      break;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  Game game;
  std::string error;
  if (!ParseFakeGameOptions(fixture::CommandLineUtf8(), game.options, error)) {
    std::fprintf(stderr, "fakegame: %s\n", error.c_str());
    return kBadCommandLine;
  }
  if (game.options.help) {
    std::fputs(FakeGameUsage().c_str(), stdout);
    return 0;
  }
  game.folder = game.options.gameFolder.empty()
                    ? fixture::ModuleFolder()
                    : fixture::FullPath(game.options.gameFolder);
  game.build = game.options.build;
  if (!game.options.buildGiven) {
    wchar_t path[32768] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, 32768);
    uint16_t version[4] = {};
    if (fixture::ReadExecutableVersion(Utf8(path, length), version)) {
      game.build = version[3];
    }
  }

  // A Unicode window, so a title in any language shows as given.
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = GameWindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = kWindowClass;
  if (!RegisterClassExW(&windowClass)) {
    std::fprintf(stderr, "fakegame: %s\n",
                 fixture::WithLastError("cannot register the window class").c_str());
    return 1;
  }
  HWND window =
      CreateWindowExW(0, kWindowClass, Wide(game.options.title).c_str(), WS_OVERLAPPEDWINDOW,
                      CW_USEDEFAULT, CW_USEDEFAULT, 640, 480, nullptr, nullptr, instance, &game);
  if (!window) {
    std::fprintf(stderr, "fakegame: %s\n",
                 fixture::WithLastError("cannot create the window").c_str());
    return 1;
  }
  // Data written "at start" is complete before the window shows, so whoever sees the window
  // finds the data.
  if (game.options.writeAt == WriteAt::Start) game.WriteData();
  // Not activated: a test that starts the game keeps the focus.
  ShowWindow(window, SW_SHOWNOACTIVATE);
  if (game.options.HasTimeLimit()) SetTimer(window, kRunTimer, game.options.runMs, nullptr);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return game.writeFailed ? kWriteFailed : game.options.exitCode;
}
