// Process entry of the client.
#include <windows.h>

#include "app/Application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  int exitCode;
  {
    drovane::Application application;
    exitCode = application.Run();
  }
  return exitCode;
}
