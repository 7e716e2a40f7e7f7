#pragma once
// Game installations for tests: the fakegame executables and whole sample installations written
// by gamefixture, both built beside the tests.
#include <gtest/gtest.h>

#include <string>

namespace drovane::test {

// A fakegame variant ("Wow.exe", "Wow-6x.exe", "WowT.exe", ...).
std::string FakeGamePath(const std::string& variant);
// Copies a fakegame variant to target, creating its folders.
::testing::AssertionResult InstallFakeGame(const std::string& variant, const std::string& target);
// Runs gamefixture with the options on the folder.
::testing::AssertionResult MakeInstallation(const std::string& folder,
                                            const std::string& options = "");

}  // namespace drovane::test
