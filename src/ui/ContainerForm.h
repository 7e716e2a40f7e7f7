#pragma once
// The client's hidden host window: it owns the main window and runs the client's message loop.
#include "ui/Form.h"

namespace drovane {

class Application;
class MainForm;

class ContainerForm : public Form {
 public:
  explicit ContainerForm(Application* application) : application(application) {}
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  MainForm* mainWindow = nullptr;
  Application* application;

 private:
  void RunMessageLoop();
};

}  // namespace drovane
