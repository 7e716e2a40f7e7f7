// The window framework: building, running and closing forms, geometry, the thread hooks and the
// user-name filter.
#include <windows.h>
#include <commctrl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "ui/Controls.h"
#include "support/WindowGeometry.h"
#include "ui/Form.h"

namespace drovane {
namespace {

using test::ClientRectOf;
using test::ClientSize;

using ::testing::ElementsAre;

// A form whose build step is given by the test.
class TestForm : public Form {
 public:
  bool buildSucceeds = true;
  bool wasVisibleAfterBuild = false;
  std::vector<std::wstring> balloons;  // texts of the balloons shown over child controls
  HWND edit = nullptr;

  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM) override {
    if (message == WM_INITDIALOG) {
      if (!Build()) Close(0);
      wasVisibleAfterBuild = hwnd && IsWindowVisible(hwnd);
      return 0;
    }
    if (message == WM_CLOSE) Close(0);
    if (message == WM_COMMAND && wParam == IDOK) Close(7);
    return 0;
  }
  void OnChildMessage(HWND window, UINT message, WPARAM, LPARAM lParam) override {
    if (window == edit && message == EM_SHOWBALLOONTIP) {
      balloons.push_back(reinterpret_cast<const EDITBALLOONTIP*>(lParam)->pszText);
    }
  }

 private:
  bool Build() {
    SetWindowTextA(hwnd, "Test");
    SetClientSize(300, 200);
    SetWindowStyles(0xC80000, -1);
    edit = CreateControl(hwnd, instance, "EDIT", "", WS_TABSTOP, 0, 10, 10, 200, 20, 10);
    return buildSucceeds;
  }
};

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallFormHooks(); }
  void TearDown() override { RemoveFormHooks(); }
};

TEST_F(FormTest, FailingBuildClosesBeforeShowingAndRunModalReturnsZero) {
  TestForm form;
  form.buildSucceeds = false;
  EXPECT_EQ(form.RunModal(nullptr), 0);
  EXPECT_FALSE(form.wasVisibleAfterBuild);
  EXPECT_EQ(form.hwnd, nullptr);

  TestForm modeless;
  modeless.buildSucceeds = false;
  EXPECT_FALSE(modeless.CreateModeless(nullptr));
  EXPECT_EQ(modeless.hwnd, nullptr);
}

TEST_F(FormTest, ModelessFormIsBuiltHiddenAndCannotBeCreatedTwice) {
  TestForm form;
  ASSERT_TRUE(form.CreateModeless(nullptr));
  EXPECT_FALSE(IsWindowVisible(form.hwnd));
  EXPECT_EQ(form.formTag, 23);
  EXPECT_EQ(reinterpret_cast<Form*>(GetWindowLongPtrA(form.hwnd, GWLP_USERDATA)), &form);
  const SIZE size = ClientSize(form.hwnd);
  EXPECT_EQ(size.cx, 300);
  EXPECT_EQ(size.cy, 200);
  EXPECT_FALSE(form.CreateModeless(nullptr));
  EXPECT_EQ(form.RunModal(nullptr), -1);
  HWND window = form.hwnd;
  form.Close(0);
  EXPECT_EQ(form.hwnd, nullptr);
  EXPECT_FALSE(IsWindow(window));
  form.Close(0);  // no window: nothing happens
}

TEST_F(FormTest, ModalFormReturnsTheResultGivenToClose) {
  TestForm form;
  std::thread closer([] {
    for (int i = 0; i < 200; ++i) {
      HWND window = FindWindowA("#32770", "Test");
      if (window) {
        PostMessageA(window, WM_COMMAND, IDOK, 0);
        return;
      }
      Sleep(20);
    }
  });
  EXPECT_EQ(form.RunModal(nullptr), 7);
  closer.join();
}

TEST_F(FormTest, SetWindowStylesKeepsTheClientSize) {
  TestForm form;
  ASSERT_TRUE(form.CreateModeless(nullptr));
  form.SetWindowStyles(-1, -1);
  EXPECT_EQ(ClientSize(form.hwnd).cx, 300);
  EXPECT_EQ(GetWindowLongA(form.hwnd, GWL_STYLE) & 0xCF0000, 0xC80000);
  form.SetWindowStyles(0xCD0000, WS_EX_APPWINDOW);
  EXPECT_EQ(ClientSize(form.hwnd).cx, 300);
  EXPECT_EQ(ClientSize(form.hwnd).cy, 200);
  EXPECT_TRUE(GetWindowLongA(form.hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
}

TEST_F(FormTest, CenterOverAMinimizedWindowUsesTheWholeMonitor) {
  TestForm reference, form;
  ASSERT_TRUE(reference.CreateModeless(nullptr));
  ASSERT_TRUE(form.CreateModeless(nullptr));
  ShowWindow(reference.hwnd, SW_MINIMIZE);
  form.CenterOver(reference.hwnd);
  RECT rect = {};
  GetWindowRect(form.hwnd, &rect);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoA(MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& m = monitor.rcMonitor;
  EXPECT_EQ(rect.left, m.left + (m.right - m.left) / 2 - (rect.right - rect.left) / 2);
  EXPECT_EQ(rect.top, m.top + (m.bottom - m.top) / 2 - (rect.bottom - rect.top) / 2);

  ShowWindow(reference.hwnd, SW_RESTORE);
  SetWindowPos(reference.hwnd, nullptr, 100, 50, 400, 300, SWP_NOZORDER);
  form.CenterOver(reference.hwnd);
  GetWindowRect(form.hwnd, &rect);
  EXPECT_EQ(rect.left, 100 + 200 - (rect.right - rect.left) / 2);
  EXPECT_EQ(rect.top, 50 + 150 - (rect.bottom - rect.top) / 2);
}

class UsernameFilterTest : public FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    ASSERT_TRUE(form_.CreateModeless(nullptr));
    AttachUsernameFilter(form_.edit);
  }
  void Type(const std::string& text) {
    for (unsigned char c : text) SendMessageA(form_.edit, WM_CHAR, c, 0);
  }
  std::string Text() {
    char text[64] = {};
    GetWindowTextA(form_.edit, text, sizeof text);
    return text;
  }
  TestForm form_;
};

TEST_F(UsernameFilterTest, TakesLettersAndDigitsAndRefusesEverythingElse) {
  Type("ab C_d!9 ");
  SendMessageW(form_.edit, WM_CHAR, 0x0416, 0);  // a character above 255
  EXPECT_EQ(Text(), "abCd9");
  const std::wstring refusal = L"Your username can only contain letters and numbers.";
  EXPECT_THAT(form_.balloons, ElementsAre(refusal, refusal, refusal, refusal, refusal));
}

TEST_F(UsernameFilterTest, RefusesASeventeenthCharacterEvenOverASelection) {
  Type("abcdefghijklmnop");
  Type("q");
  EXPECT_EQ(Text(), "abcdefghijklmnop");
  SendMessageA(form_.edit, EM_SETSEL, 0, -1);  // typing over a selection is refused too
  Type("z");
  EXPECT_EQ(Text(), "abcdefghijklmnop");
  EXPECT_THAT(form_.balloons, ElementsAre(L"You cannot enter more than 16 characters.",
                                          L"You cannot enter more than 16 characters."));
  SendMessageA(form_.edit, WM_CHAR, VK_BACK, 0);  // backspace passes at any length
  EXPECT_EQ(Text(), "");
}

TEST(Utf8ToWide, ConvertsValidTextOnly) {
  std::unique_ptr<wchar_t[]> wide;
  ASSERT_TRUE(Utf8ToWide("Воин", wide));
  EXPECT_EQ(std::wstring(wide.get()), L"\x0412\x043e\x0438\x043d");
  EXPECT_FALSE(Utf8ToWide("", wide));
  EXPECT_EQ(wide, nullptr);
  EXPECT_FALSE(Utf8ToWide(nullptr, wide));
  EXPECT_FALSE(Utf8ToWide("bad \xff byte", wide));
  EXPECT_EQ(wide, nullptr);
}

}  // namespace
}  // namespace drovane
