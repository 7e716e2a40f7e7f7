#pragma once
// Gives each test a client without stored settings: the client's registry keys and Run value and
// its application data folder are removed before and after the test.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/TempFolder.h"

namespace drovane::test {

void RemoveClientSettings();
void RemoveClientDataFolder();
// The game's own installation records under HKEY_LOCAL_MACHINE, in both registry views.
void RemoveGameRecords();
// Writes the game's "InstallPath" record of an edition's key (0x100: 64-bit view, 0x200: 32-bit).
void WriteGameRecord(const std::string& key, const std::string& folder, unsigned long view);

// Without stored settings, but with a stored Live folder that holds a Wow.exe (as after the first
// start), unless the test asks for none.
class CleanSettingsTest : public ::testing::Test {
 protected:
  explicit CleanSettingsTest(bool storeLiveFolder = true) : storeLiveFolder_(storeLiveFolder) {}
  void SetUp() override;
  void TearDown() override;
  std::string LiveFolder() const { return liveFolder_ ? liveFolder_->path() : std::string(); }

 private:
  bool storeLiveFolder_;
  std::unique_ptr<TempFolder> liveFolder_;
};

// The raw bytes and type of a registry value under HKEY_CURRENT_USER; false when absent. A text
// value comes back as UTF-8, with exactly the characters stored (a missing terminator shows).
bool ReadRawValue(const std::string& subKey, const std::string& name, std::string& bytes,
                  unsigned long& type);
// Stores raw bytes as a value of the given type under HKEY_CURRENT_USER; a text (REG_SZ,
// REG_EXPAND_SZ) is given as UTF-8.
void WriteRawValue(const std::string& subKey, const std::string& name, const std::string& bytes,
                   unsigned long type);

}  // namespace drovane::test
