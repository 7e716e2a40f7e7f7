// Shortcuts to the client: shell links written through IShellLinkA, read back the same way.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "base/ComHandles.h"
#include "base/DataFile.h"
#include "base/FileSystem.h"
#include "base/Shortcuts.h"
#include "support/TempFolder.h"

namespace drovane {
namespace {

using test::TempFolder;

struct LinkContent {
  std::string target;
  std::string description;
};

// Loads a shell link file and reads its target and description.
bool ReadShortcut(const std::string& linkPath, LinkContent& content) {
  ComApartment apartment(COINIT_APARTMENTTHREADED);
  ComPtr<IShellLinkA> link;
  ComPtr<IPersistFile> file;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              link.receiveVoid())) ||
      FAILED(link->QueryInterface(IID_IPersistFile, file.receiveVoid()))) {
    return false;
  }
  const std::wstring widePath(linkPath.begin(), linkPath.end());
  if (FAILED(file->Load(widePath.c_str(), STGM_READ))) return false;
  char text[MAX_PATH] = {};
  if (FAILED(link->GetPath(text, MAX_PATH, nullptr, 0))) return false;
  content.target = text;
  char description[MAX_PATH] = {};
  if (FAILED(link->GetDescription(description, MAX_PATH))) return false;
  content.description = description;
  return true;
}

TEST(Shortcuts, LinkStartsTheTargetAndCarriesTheClientsDescription) {
  TempFolder folder;
  const std::string target = folder / "bin\\DrovaneClient.exe";
  test::WriteTestFile(target, "MZ");
  const std::string link = folder / kShortcutFileName;
  ASSERT_TRUE(CreateShortcut(link, target));
  EXPECT_TRUE(FileExists(link));
  LinkContent content;
  ASSERT_TRUE(ReadShortcut(link, content));
  EXPECT_EQ(content.target, target);
  EXPECT_EQ(content.description, "Drovane Client");
}

TEST(Shortcuts, AnExistingLinkIsReplaced) {
  TempFolder folder;
  const std::string first = folder / "first.exe";
  const std::string second = folder / "second.exe";
  test::WriteTestFile(first, "MZ");
  test::WriteTestFile(second, "MZ");
  const std::string link = folder / kShortcutFileName;
  ASSERT_TRUE(CreateShortcut(link, first));
  ASSERT_TRUE(CreateShortcut(link, second));
  LinkContent content;
  ASSERT_TRUE(ReadShortcut(link, content));
  EXPECT_EQ(content.target, second);
}

TEST(Shortcuts, WorksWhereCOMIsAlreadyInitialisedInEitherModel) {
  TempFolder folder;
  const std::string target = folder / "client.exe";
  test::WriteTestFile(target, "MZ");
  for (DWORD model : {COINIT_APARTMENTTHREADED, COINIT_MULTITHREADED}) {
    // Each model on its own thread: a thread cannot change its model once chosen.
    bool created = false;
    std::string link = folder / (std::to_string(model) + ".lnk");
    std::thread worker([&] {
      ComApartment outer(model);
      created = CreateShortcut(link, target);
    });
    worker.join();
    EXPECT_TRUE(created) << "model " << model;
    LinkContent content;
    EXPECT_TRUE(ReadShortcut(link, content)) << "model " << model;
    EXPECT_EQ(content.target, target);
  }
}

TEST(Shortcuts, FailsWithoutWritingWhereTheLinkCannotGo) {
  TempFolder folder;
  const std::string target = folder / "client.exe";
  test::WriteTestFile(target, "MZ");
  // A folder that does not exist is not created.
  EXPECT_FALSE(CreateShortcut(folder / "missing\\Drovane Client.lnk", target));
  EXPECT_FALSE(DirectoryExists(folder / "missing"));
  // A path beyond what the shell takes is refused, not cut short.
  const std::string longName(300, 'a');
  EXPECT_FALSE(CreateShortcut(folder / (longName + ".lnk"), target));
  EXPECT_FALSE(CreateShortcut("", target));
}

}  // namespace
}  // namespace drovane
