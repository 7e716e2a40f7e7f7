#pragma once
// The client's hidden host window: it owns the main window and runs the client's message loop.
#include "ui/Form.h"

namespace drovane {

class Settings;
class MainForm;

class ContainerForm : public Form {
 public:
  explicit ContainerForm(Settings* settings) : settings(settings) {}
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  MainForm* mainWindow = nullptr;
  Settings* settings;

 private:
  void RunMessageLoop();
};

}  // namespace drovane
