#pragma once
// Gives each test a client without stored settings: the client's registry keys and Run value and
// its application data folder are removed before and after the test.
#include <gtest/gtest.h>

#include <string>

namespace drovane::test {

void RemoveClientSettings();
void RemoveClientDataFolder();

class CleanSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// The raw bytes and type of a registry value under HKEY_CURRENT_USER; false when absent.
bool ReadRawValue(const std::string& subKey, const std::string& name, std::string& bytes,
                  unsigned long& type);
// Stores raw bytes as a value of the given type under HKEY_CURRENT_USER.
void WriteRawValue(const std::string& subKey, const std::string& name, const std::string& bytes,
                   unsigned long type);

}  // namespace drovane::test
