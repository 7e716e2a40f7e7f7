// The process-wide exclusion list's file in the application data folder.
#include "settings/AccountExclusions.h"

#include "base/DataFile.h"

#include "base/FileSystem.h"

namespace drovane {
namespace {

std::function<void()>& SavedHandler() {
  static std::function<void()> handler;
  return handler;
}

}  // namespace

bool SaveAccountExclusions(const std::string& path, const AccountExclusionMap& exclusions) {
  return ReplaceFileContent(path, AccountExclusionFileText(exclusions));
}

std::string AccountExclusionsPath() {
  return AppDataDir() + "account.block";
}

void LoadAccountExclusions() {
  LoadAccountExclusions(AccountExclusionsPath(), AccountExclusions());
}

void SaveAccountExclusions() {
  // The player's choice must not be lost because the data folder does not exist yet.
  if (!AppDataDir().empty()) CreateDirectoryTree(AppDataDir());
  SaveAccountExclusions(AccountExclusionsPath(), AccountExclusions());
  if (SavedHandler()) SavedHandler()();
}

void SetAccountExclusionsSavedHandler(std::function<void()> handler) {
  SavedHandler() = std::move(handler);
}

}  // namespace drovane
