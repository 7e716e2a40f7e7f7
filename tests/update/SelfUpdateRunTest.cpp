// Whole self-update runs against the service stand-in with a published update: the messages a
// run posts, what it downloads, and what it leaves in the game installations.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <memory>

#include "UpdateTestSupport.h"
#include "app/Application.h"
#include "base/DataFile.h"
#include "base/FileLog.h"
#include "base/FileSystem.h"
#include "base/Md5.h"
#include "net/ExchangeLimits.h"
#include "net/ResponseReader.h"
#include "support/CleanSettings.h"
#include "support/Nginx.h"
#include "support/Process.h"
#include "update/ListTrust.h"
#include "update/SelfUpdate.h"

namespace drovane {
namespace {

using test::FilesMatching;
using test::IsReadOnly;
using test::ListBytes;
using test::ListSpec;
using test::ReadTestFile;
using test::TempFolder;
using test::WriteTestFile;

constexpr unsigned kRunLimitMs = 60000;
constexpr char kAddonFolder[] = "%WoW%\\Interface\\AddOns\\Drovane_Looter\\";
constexpr char kAddonPath[] = "\\Interface\\AddOns\\Drovane_Looter\\core.lua";

using Messages = std::vector<unsigned>;
const Messages kListExchange = {UPD_CHECKING, UPD_RECEIVING, UPD_TRANSFER_END, UPD_RECEIVED};
const Messages kFileExchange = {UPD_FILE, UPD_RECEIVING, UPD_TRANSFER_END, UPD_RECEIVED};
const Messages kClientExchange = {UPD_CLIENT, UPD_RECEIVING, UPD_TRANSFER_END, UPD_RECEIVED};

Messages Join(std::initializer_list<Messages> parts) {
  Messages all;
  for (const Messages& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// Starts of a new client that always fail, so no test ever starts a downloaded client.
int g_refusedStarts = 0;
bool RefuseStart(const std::string&, const std::string&) {
  ++g_refusedStarts;
  return false;
}

// A copy in a folder the player may not write, as one installed for every user.
bool CannotReplace(const std::string&) { return false; }

bool WaitForStatus(const SelfUpdate& update, HttpStatus status) {
  for (int i = 0; i < 400; ++i) {
    if (update.httpClient.GetStatus() == status) return true;
    Sleep(50);
  }
  return false;
}

// A sequence number as the publisher gives by default: the time of publication.
uint64_t NowSequence() { return static_cast<uint64_t>(std::time(nullptr)); }

double SecondsToDestroy(std::unique_ptr<SelfUpdate>& update) {
  const auto start = std::chrono::steady_clock::now();
  update.reset();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class SelfUpdateRunTest : public ::testing::Test {
 protected:
  void SetUp() override { g_refusedStarts = 0; }

  std::string Live() const { return games_ / "Live"; }
  std::string Ptr() const { return games_ / "PTR"; }
  std::string Beta() const { return games_ / "Beta"; }
  void KnowGames(const std::string& live, const std::string& ptr, const std::string& beta) {
    application_.gameFolders[GameEdition::Live] = live;
    application_.gameFolders[GameEdition::PTR] = ptr;
    application_.gameFolders[GameEdition::Beta] = beta;
  }

  // One run from Start to its end message; the object is destroyed afterwards and anything
  // posted after the end message is collected too.
  void Run() {
    {
      SelfUpdate update(&application_);
      update.window = recorder_.window();
      update.startClient = &RefuseStart;
      if (!replaceable_) update.canReplaceClient = &CannotReplace;
      ASSERT_TRUE(update.Start());
      ASSERT_TRUE(recorder_.WaitForEnd(kRunLimitMs));
      phase_ = update.phase;
      notInstallableClient_ = update.notInstallableClient;
      filesUpdated_ = update.filesUpdated;
      downloadTotal_ = update.downloadTotal;
      downloadedBytes_ = update.downloadedBytes;
    }
    recorder_.Drain();
  }

  // The request paths once the service has recorded `count` requests.
  std::vector<std::string> Requests(int count) {
    EXPECT_TRUE(service_.service().WaitForRequests(count, 5000));
    return service_.RequestPaths();
  }

  TempFolder games_;
  Application application_;
  test::MessageRecorder recorder_;
  test::UpdateService service_;
  bool replaceable_ = true;
  UpdatePhase phase_ = UpdatePhase::ListDownload;
  std::string notInstallableClient_;
  uint32_t filesUpdated_ = 0;
  uint32_t downloadTotal_ = 0;
  uint32_t downloadedBytes_ = 0;
};

TEST_F(SelfUpdateRunTest, EverythingCurrentPostsTheExactSequenceAndDownloadsNothing) {
  service_.AddSource("addon/core.lua", "current add-on");
  ASSERT_TRUE(service_.StartWithCurrentClient({{"addon/core.lua", kAddonFolder}}));
  WriteTestFile(Live() + kAddonPath, "current add-on");
  KnowGames(Live(), "", "");

  Run();
  EXPECT_EQ(recorder_.Messages(), Join({kListExchange, {UPD_FINISHED, UPD_NO_UPDATES}}));
  EXPECT_EQ(phase_, UpdatePhase::Finished);
  EXPECT_EQ(filesUpdated_, 0u);
  EXPECT_EQ(Requests(1), std::vector<std::string>{"/files/updates.dat"});
  EXPECT_EQ(service_.service().RawRequest(1),
            "GET /files/updates.dat HTTP/1.1\r\nHost: 127.0.0.1:" +
                std::to_string(service_.service().port()) +
                "\r\nAccept: */*\r\nConnection: close\r\nUser-Agent: DrovaneClient/1.9.01\r\n\r\n");
}

TEST_F(SelfUpdateRunTest, ADifferentClientDigestDownloadsOnlyTheClient) {
  service_.AddSource("client/DrovaneClient.exe", "the published client");
  service_.AddSource("addon/core.lua", "add-on");
  ASSERT_TRUE(service_.Start("\"client\": \"client/DrovaneClient.exe\"",
                             {{"addon/core.lua", kAddonFolder}}));
  KnowGames(Live(), "", "");
  std::string program;
  ASSERT_TRUE(GetModulePath(program));
  const std::string before = ReadTestFile(program);

  // A client download whose bytes fail the digest is never put in place.
  service_.ServeFile("client/DrovaneClient.exe", "damaged client");
  Run();
  EXPECT_EQ(recorder_.Messages(), Join({kListExchange, kClientExchange, {UPD_CLIENT_FAILED}}));
  EXPECT_EQ(phase_, UpdatePhase::ClientDownload);
  EXPECT_EQ(g_refusedStarts, 0);

  // A client download with the right bytes is written beside the program and started (refused
  // here).
  service_.ServeFile("client/DrovaneClient.exe", "the published client");
  recorder_.Clear();
  Run();
  EXPECT_EQ(recorder_.Messages(), Join({kListExchange, kClientExchange, {UPD_CLIENT_FAILED}}));
  EXPECT_EQ(g_refusedStarts, 1);

  EXPECT_EQ(Requests(4),
            (std::vector<std::string>{"/files/updates.dat", "/files/client/DrovaneClient.exe",
                                      "/files/updates.dat", "/files/client/DrovaneClient.exe"}));
  // The entries are left to the restarted client.
  EXPECT_FALSE(FileExists(Live() + kAddonPath));

  // A copy that cannot replace itself downloads no client: it tells the player once, names its
  // folder, and brings the add-on up to date for the version that runs.
  replaceable_ = false;
  recorder_.Clear();
  Run();
  EXPECT_EQ(recorder_.Messages(), Join({kListExchange, {UPD_CLIENT_NOT_INSTALLABLE}, kFileExchange,
                                        {UPD_FINISHED, UPD_COMPLETE}}));
  const std::string folder = test::ProgramFolder();
  EXPECT_EQ(recorder_.Texts(UPD_CLIENT_NOT_INSTALLABLE),
            std::vector<std::string>{
                "A newer version of Drovane Client is available, but it cannot be installed in " +
                folder + ". Please install it with its setup program."});
  EXPECT_EQ(phase_, UpdatePhase::Finished);
  EXPECT_EQ(notInstallableClient_, Md5Hex("the published client"));
  EXPECT_EQ(ReadTestFile(Live() + kAddonPath), "add-on");
  EXPECT_EQ(Requests(6).back(), "/files/addon/core.lua");
  EXPECT_EQ(service_.RequestPaths().size(), 6u);
  EXPECT_EQ(g_refusedStarts, 1);

  // The program is untouched and nothing is left beside it.
  EXPECT_EQ(ReadTestFile(program), before);
  EXPECT_TRUE(FilesMatching(folder, "update_tests.exe*.new").empty());
  EXPECT_TRUE(FilesMatching(folder, "update_tests.exe*.delete").empty());
  EXPECT_TRUE(FilesMatching(folder, "update_tests.exe*.probe").empty());
}

TEST_F(SelfUpdateRunTest, AddonCurrentInLiveIsCopiedToPtrWithoutDownload) {
  service_.AddSource("addon/core.lua", "current add-on");
  ASSERT_TRUE(service_.StartWithCurrentClient({{"addon/core.lua", kAddonFolder}}));
  WriteTestFile(Live() + kAddonPath, "current add-on");
  CreateDirectoryTree(Ptr() + "\\");
  KnowGames(Live(), Ptr(), "");

  Run();
  EXPECT_EQ(recorder_.Messages(), Join({kListExchange, {UPD_FINISHED, UPD_NO_UPDATES}}));
  EXPECT_EQ(filesUpdated_, 0u);
  EXPECT_EQ(ReadTestFile(Ptr() + kAddonPath), "current add-on");
  EXPECT_EQ(Requests(1), std::vector<std::string>{"/files/updates.dat"});
}

TEST_F(SelfUpdateRunTest, APtrEntryOverridesTheGeneralEntryForPtrOnly) {
  service_.AddSource("general/core.lua", "general add-on");
  service_.AddSource("ptr/core.lua", "PTR add-on");
  ASSERT_TRUE(service_.StartWithCurrentClient(
      {{"general/core.lua", kAddonFolder},
       {"ptr/core.lua", "%WoW-PTR%\\Interface\\AddOns\\Drovane_Looter\\"}}));
  WriteTestFile(Live() + kAddonPath, "general add-on");
  KnowGames(Live(), Ptr(), Beta());

  Run();
  // The general file is copied from Live to Beta; only the PTR file is downloaded.
  EXPECT_EQ(recorder_.Messages(),
            Join({kListExchange, kFileExchange, {UPD_FINISHED, UPD_COMPLETE}}));
  EXPECT_EQ(recorder_.notices().back().wParam, 1u);
  EXPECT_EQ(ReadTestFile(Live() + kAddonPath), "general add-on");
  EXPECT_EQ(ReadTestFile(Beta() + kAddonPath), "general add-on");
  EXPECT_EQ(ReadTestFile(Ptr() + kAddonPath), "PTR add-on");
  EXPECT_EQ(Requests(2), (std::vector<std::string>{"/files/updates.dat", "/files/ptr/core.lua"}));
}

TEST_F(SelfUpdateRunTest, AnAddonMissingEverywhereIsDownloadedOnceAndWrittenEverywhere) {
  const std::string content = "add-on for every installation";
  service_.AddSource("addon/Drovane_Looter/core.lua", content);
  ASSERT_TRUE(service_.StartWithCurrentClient({{"addon/Drovane_Looter/core.lua", kAddonFolder}}));
  // Beta holds an old, read-only copy.
  WriteTestFile(Beta() + kAddonPath, "old");
  SetFileAttributesA((Beta() + kAddonPath).c_str(), FILE_ATTRIBUTE_READONLY);
  KnowGames(Live(), Ptr(), Beta());

  Run();
  EXPECT_EQ(recorder_.Messages(),
            Join({kListExchange, kFileExchange, {UPD_FINISHED, UPD_COMPLETE}}));
  EXPECT_EQ(recorder_.Texts(UPD_FILE), std::vector<std::string>{"Updating core.lua..."});
  EXPECT_EQ(recorder_.notices().back().wParam, 1u);
  EXPECT_EQ(phase_, UpdatePhase::Finished);
  EXPECT_EQ(downloadTotal_, content.size());
  EXPECT_EQ(downloadedBytes_, content.size());
  for (const std::string& game : {Live(), Ptr(), Beta()}) {
    EXPECT_EQ(ReadTestFile(game + kAddonPath), content) << game;
    EXPECT_FALSE(IsReadOnly(game + kAddonPath)) << game;
    EXPECT_TRUE(FilesMatching(game + "\\Interface\\AddOns\\Drovane_Looter", "*.tmp").empty());
  }
  EXPECT_EQ(Requests(2), (std::vector<std::string>{"/files/updates.dat",
                                                   "/files/addon/Drovane_Looter/core.lua"}));
}

TEST_F(SelfUpdateRunTest, WithoutAnyGameFolderGameFilesAreNotDownloaded) {
  service_.AddSource("addon/core.lua", "add-on");
  ASSERT_TRUE(service_.StartWithCurrentClient(
      {{"addon/core.lua", kAddonFolder},
       {"addon/core.lua", "%WoW-BETA%\\Interface\\AddOns\\Drovane_Looter\\"}}));
  KnowGames("", "", "");

  Run();
  EXPECT_EQ(recorder_.Messages(), Join({kListExchange, {UPD_FINISHED, UPD_NO_UPDATES}}));
  EXPECT_EQ(Requests(1), std::vector<std::string>{"/files/updates.dat"});
}

TEST_F(SelfUpdateRunTest, ADownloadWithAWrongDigestWritesNothing) {
  service_.AddSource("addon/core.lua", "published add-on");
  ASSERT_TRUE(service_.StartWithCurrentClient({{"addon/core.lua", kAddonFolder}}));
  service_.ServeFile("addon/core.lua", "tampered add-on");
  WriteTestFile(Live() + kAddonPath, "old add-on");
  KnowGames(Live(), Ptr(), "");

  Run();
  EXPECT_EQ(recorder_.Messages(), Join({kListExchange, kFileExchange, {UPD_FILE_FAILED}}));
  EXPECT_EQ(phase_, UpdatePhase::FileDownload);
  EXPECT_EQ(filesUpdated_, 0u);
  EXPECT_EQ(ReadTestFile(Live() + kAddonPath), "old add-on");
  EXPECT_FALSE(FileExists(Ptr() + kAddonPath));
  EXPECT_TRUE(FilesMatching(Live() + "\\Interface\\AddOns\\Drovane_Looter", "*.tmp").empty());
}

TEST_F(SelfUpdateRunTest, ThreeDownloadsAreAnnouncedAndCountedInOrder) {
  service_.AddSource("addon/a.lua", "first");
  service_.AddSource("addon/b.lua", "second file");
  service_.AddSource("addon/c.lua", "the third file");
  ASSERT_TRUE(service_.StartWithCurrentClient({{"addon/a.lua", kAddonFolder},
                                               {"addon/b.lua", kAddonFolder},
                                               {"addon/c.lua", kAddonFolder}}));
  KnowGames(Live(), "", "");

  Run();
  EXPECT_EQ(recorder_.Messages(), Join({kListExchange,
                                        kFileExchange,
                                        kFileExchange,
                                        kFileExchange,
                                        {UPD_FINISHED, UPD_COMPLETE}}));
  EXPECT_EQ(
      recorder_.Texts(UPD_FILE),
      (std::vector<std::string>{"Updating a.lua...", "Updating b.lua...", "Updating c.lua..."}));
  EXPECT_EQ(recorder_.notices().back().wParam, 3u);
  EXPECT_EQ(filesUpdated_, 3u);
  EXPECT_EQ(downloadTotal_, 5u + 11u + 14u);
  EXPECT_EQ(downloadedBytes_, 5u + 11u + 14u);
  EXPECT_EQ(Requests(4), (std::vector<std::string>{"/files/updates.dat", "/files/addon/a.lua",
                                                   "/files/addon/b.lua", "/files/addon/c.lua"}));
  EXPECT_EQ(ReadTestFile(Live() + "\\Interface\\AddOns\\Drovane_Looter\\c.lua"), "the third file");
}

TEST_F(SelfUpdateRunTest, AnEntryCountOfZeroOrLessEndsAfterTheClientCheck) {
  service_.AddSource("addon/core.lua", "add-on");
  ASSERT_TRUE(service_.StartWithCurrentClient({}));
  KnowGames(Live(), "", "");
  for (int32_t count : {0, -1}) {
    ListSpec spec;
    spec.clientMd5 = test::RunningClientDigest();
    spec.baseUrl = service_.url() + "files/";
    spec.useCount = true;
    spec.count = count;
    ASSERT_TRUE(service_.ServeSignedList(ListBytes(spec), NowSequence()));
    recorder_.Clear();
    Run();
    EXPECT_EQ(recorder_.Messages(), Join({kListExchange, {UPD_FINISHED, UPD_NO_UPDATES}})) << count;
  }
  EXPECT_FALSE(FileExists(Live() + kAddonPath));
}

// Every file a run could have written outside the two allowed folders, relative to the test's
// folders.
std::vector<std::string> FilesBelow(const std::string& folder) {
  std::vector<std::string> found;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return found;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      for (const std::string& inner : FilesBelow(folder + "\\" + name)) {
        found.push_back(name + "\\" + inner);
      }
    } else {
      found.push_back(name);
    }
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return found;
}

TEST_F(SelfUpdateRunTest, AHostileListWritesOnlyInsideTheAddOnsAndDataFoldersAndKeepsItsGoodEntries) {
  test::RemoveClientDataFolder();
  const std::string good = "good add-on";
  service_.AddSource("addon/core.lua", good);
  service_.AddSource("extra/readme.txt", "read me");
  ASSERT_TRUE(service_.StartWithCurrentClient({}));
  const std::string evil = "evil";
  service_.ServeFile("evil/x.lua", evil);
  service_.ServeFile("addon/core.lua", good);
  service_.ServeFile("extra/readme.txt", "read me");
  std::string system;
  ASSERT_TRUE(GetSpecialFolderPath(SpecialFolder::System, system));
  const std::string outside = games_ / "outside";
  const char* const kRefused[] = {
      "%System%\\",
      "plain\\",
      "C:\\drovane-evil\\",
      "\\\\127.0.0.1\\c$\\drovane-evil\\",
      "C:drovane-evil\\",
      "%WoW%\\..\\outside\\",
      "%WoW%\\Interface\\AddOns\\..\\..\\..\\outside\\",
      "%WoW%\\Interface\\AddOns/../../../outside/",
      "%WoW-PTR%\\Interface\\AddOns\\..\\..\\..\\outside\\",
      "C:\\%WoW%\\Interface\\AddOns\\",
      "%WoW%\\WTF\\",
      "%WoW%\\Interface\\AddOns\\x:stream\\",
      "%WoW%\\Interface\\AddOns\\CON\\",
      "%WoW%\\Interface\\AddOns\\nul.txt\\",
      "%WoW%\\Interface\\AddOns\\dot.\\",
      "%WoW%\\Interface\\AddOns\\space \\",
      "%AppPath%\\..\\..\\outside\\",
      "%WoW%\\Interface\\AddOns\\forged\r\n[00:00:00] line\\",
  };
  ListSpec spec;
  spec.clientMd5 = test::RunningClientDigest();
  spec.baseUrl = service_.url() + "files/";
  for (const char* target : kRefused) {
    spec.entries.push_back({Md5Hex(evil), static_cast<uint32_t>(evil.size()), "evil/x.lua", target});
  }
  spec.entries.push_back({Md5Hex(good), static_cast<uint32_t>(good.size()), "addon/core.lua",
                          kAddonFolder});
  spec.entries.push_back({Md5Hex("read me"), 7, "extra/readme.txt", "%AppPath%\\"});
  ASSERT_TRUE(service_.ServeSignedList(ListBytes(spec), NowSequence()));
  KnowGames(Live(), Ptr(), "");

  const size_t logStart = Log().Pending().size();
  Run();
  // One log line for each refused entry, its text shown without line breaks of its own.
  const std::string log = Log().Pending().substr(logStart);
  size_t refusals = 0;
  for (size_t at = log.find("Refused the update list's entry evil/x.lua for ");
       at != std::string::npos; at = log.find("Refused the update list's entry", at + 1)) {
    ++refusals;
  }
  EXPECT_EQ(refusals, std::size(kRefused)) << log;
  EXPECT_NE(log.find("for %WoW%\\Interface\\AddOns\\forged??[00:00:00] line\\: a character Windows "
                     "does not allow in a name."),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("for %System%\\: a target outside the game's AddOns folder and the client's "
                     "data folder."),
            std::string::npos)
      << log;
  EXPECT_EQ(recorder_.Messages(),
            Join({kListExchange, kFileExchange, kFileExchange, {UPD_FINISHED, UPD_COMPLETE}}));
  EXPECT_EQ(Requests(3), (std::vector<std::string>{"/files/updates.dat", "/files/addon/core.lua",
                                                   "/files/extra/readme.txt"}));
  EXPECT_EQ(FilesBelow(games_.path()),
            (std::vector<std::string>{"Live\\Interface\\AddOns\\Drovane_Looter\\core.lua",
                                      "PTR\\Interface\\AddOns\\Drovane_Looter\\core.lua"}));
  EXPECT_EQ(FilesBelow(AppDataDir()), std::vector<std::string>{"readme.txt"});
  EXPECT_FALSE(FileExists(system + "\\x.lua"));
  EXPECT_FALSE(FileExists("C:\\drovane-evil\\x.lua"));
  EXPECT_FALSE(FileExists("plain\\x.lua"));
  test::RemoveClientDataFolder();
}

TEST_F(SelfUpdateRunTest, AFileWhoseSha256DiffersFromTheSignedListIsNotWritten) {
  const std::string content = "published add-on";
  service_.AddSource("addon/core.lua", content);
  ASSERT_TRUE(service_.StartWithCurrentClient({}));
  ListSpec spec;
  spec.clientMd5 = test::RunningClientDigest();
  spec.baseUrl = service_.url() + "files/";
  spec.entries = {{Md5Hex(content), static_cast<uint32_t>(content.size()), "addon/core.lua",
                   kAddonFolder}};
  // Signed while another file of the same size was served: the MD5 in the list still matches
  // what is downloaded, only the SHA-256 of the block does not.
  service_.ServeFile("addon/core.lua", std::string(content.size(), 'x'));
  ASSERT_TRUE(service_.ServeSignedList(ListBytes(spec), NowSequence()));
  service_.ServeFile("addon/core.lua", content);
  KnowGames(Live(), "", "");

  Run();
  EXPECT_EQ(recorder_.Messages(), Join({kListExchange, kFileExchange, {UPD_FILE_FAILED}}));
  EXPECT_FALSE(FileExists(Live() + kAddonPath));
}

TEST_F(SelfUpdateRunTest, ARetryAfterAFailedDownloadQueuesEachFileOnce) {
  service_.AddSource("addon/a.lua", "first");
  service_.AddSource("addon/b.lua", "second file");
  ASSERT_TRUE(service_.StartWithCurrentClient(
      {{"addon/a.lua", kAddonFolder}, {"addon/b.lua", kAddonFolder}}));
  service_.ServeFile("addon/a.lua", "FIRST");  // the listed size, not the listed digest
  KnowGames(Live(), "", "");

  SelfUpdate update(&application_);
  update.window = recorder_.window();
  update.startClient = &RefuseStart;
  ASSERT_TRUE(update.Start());
  ASSERT_TRUE(recorder_.WaitForEnd(kRunLimitMs));
  EXPECT_EQ(recorder_.Messages(), Join({kListExchange, kFileExchange, {UPD_FILE_FAILED}}));

  service_.ServeFile("addon/a.lua", "first");
  recorder_.Clear();
  ASSERT_TRUE(update.Start());
  ASSERT_TRUE(recorder_.WaitForEnd(kRunLimitMs));
  EXPECT_EQ(recorder_.Messages(),
            Join({kListExchange, kFileExchange, kFileExchange, {UPD_FINISHED, UPD_COMPLETE}}));
  EXPECT_EQ(recorder_.Texts(UPD_FILE),
            (std::vector<std::string>{"Updating a.lua...", "Updating b.lua..."}));
  EXPECT_EQ(recorder_.notices().back().wParam, 2u);
  EXPECT_EQ(update.filesUpdated, 2u);
  EXPECT_EQ(update.downloadTotal, 5u + 11u);
  EXPECT_TRUE(update.pending.empty());
}

TEST_F(SelfUpdateRunTest, AListThatIsCutForeignOrUntrustedIsRefusedAndWritesNothing) {
  const std::string content = "add-on";
  service_.AddSource("addon/core.lua", content);
  ASSERT_TRUE(service_.StartWithCurrentClient({{"addon/core.lua", kAddonFolder}}));
  KnowGames(Live(), "", "");
  const std::string signedList = service_.ServedList();
  ListSpec spec;
  spec.clientMd5 = test::RunningClientDigest();
  spec.baseUrl = service_.url() + "files/";
  spec.entries = {{Md5Hex(content), static_cast<uint32_t>(content.size()), "addon/core.lua",
                   kAddonFolder}};
  const std::string unsignedList = ListBytes(spec);
  ASSERT_EQ(signedList.compare(0, unsignedList.size(), unsignedList), 0);

  auto expectRefused = [&](const std::string& why, unsigned endMessage, const std::string& text) {
    recorder_.Clear();
    Run();
    EXPECT_EQ(recorder_.Messages(), Join({kListExchange, {endMessage}})) << why;
    if (endMessage == UPD_LIST_UNTRUSTED) {
      EXPECT_EQ(recorder_.Texts(UPD_LIST_UNTRUSTED),
                std::vector<std::string>{"The update list is not trusted: " + text + "."})
          << why;
    }
    EXPECT_EQ(phase_, UpdatePhase::ListDownload) << why;
    EXPECT_FALSE(FileExists(Live() + kAddonPath)) << why;
  };
  for (const std::string& list : {signedList.substr(0, 47), std::string("<html>Not Found</html>")}) {
    service_.ServeFile("updates.dat", list);
    expectRefused("not a list", UPD_LIST_FAILED, "");
  }
  service_.ServeFile("updates.dat", unsignedList);
  expectRefused("unsigned", UPD_LIST_UNTRUSTED, "it carries no signature");
  service_.ServeFile("updates.dat", signedList.substr(0, signedList.size() - 1));
  expectRefused("cut", UPD_LIST_UNTRUSTED, "its signature block is damaged");
  // One flipped bit in the header, an entry, the block's sequence number and SHA-256s, and the
  // signature itself.
  const size_t block = unsignedList.size();
  for (size_t at : {size_t{8}, block - 20, block + 9, block + 52, block + 90, signedList.size() - 1}) {
    std::string flipped = signedList;
    flipped[at] ^= 0x01;
    service_.ServeFile("updates.dat", flipped);
    expectRefused("flipped at " + std::to_string(at), UPD_LIST_UNTRUSTED,
                  "its signature does not match its content");
  }
  ASSERT_TRUE(service_.ServeSignedList(unsignedList, NowSequence(), true));
  expectRefused("other key", UPD_LIST_UNTRUSTED, "it is signed with another key");

  // The original list installs; then one with a lower number than it is refused.
  service_.ServeFile("updates.dat", signedList);
  recorder_.Clear();
  Run();
  EXPECT_EQ(recorder_.Messages(),
            Join({kListExchange, kFileExchange, {UPD_FINISHED, UPD_COMPLETE}}));
  EXPECT_EQ(ReadTestFile(Live() + kAddonPath), content);
  DeleteFileA((Live() + kAddonPath).c_str());
  const uint64_t accepted = AcceptedListSequence();
  ASSERT_GT(accepted, 1u);
  ASSERT_TRUE(service_.ServeSignedList(unsignedList, accepted - 1));
  expectRefused("older", UPD_LIST_UNTRUSTED,
                "it is older than a list already installed (number " +
                    std::to_string(accepted - 1) + ", installed " + std::to_string(accepted) +
                    ")");
}

TEST_F(SelfUpdateRunTest, ATransportFailureIsReportedWithItsTextAndCanBeRetried) {
  service_.AddSource("addon/core.lua", "add-on");
  test::TempFolder config;
  WriteTestFile(config / "service.json",
                R"({"paths": {"/files/addon/core.lua": {"drop": "request", "times": 1}}})");
  ASSERT_TRUE(service_.Start(
      "\"clientMd5\": \"" + test::RunningClientDigest() + "\", \"clientPath\": \"x.exe\"",
      {{"addon/core.lua", kAddonFolder}}, {"--config", test::HostPath(config / "service.json")}));
  KnowGames(Live(), "", "");

  SelfUpdate update(&application_);
  update.window = recorder_.window();
  ASSERT_TRUE(update.Start());
  ASSERT_TRUE(recorder_.WaitForEnd(kRunLimitMs));
  const Messages messages = recorder_.Messages();
  ASSERT_GE(messages.size(), 2u);
  EXPECT_EQ(Messages(messages.end() - 2, messages.end()), (Messages{UPD_TRANSFER_END, UPD_ERROR}));
  ASSERT_EQ(recorder_.Texts(UPD_ERROR).size(), 1u);
  EXPECT_FALSE(recorder_.Texts(UPD_ERROR)[0].empty());
  EXPECT_EQ(recorder_.notices().back().wParam, 0u);  // the service took the request
  EXPECT_EQ(update.phase, UpdatePhase::FileDownload);

  recorder_.Clear();
  ASSERT_TRUE(update.Start());
  ASSERT_TRUE(recorder_.WaitForEnd(kRunLimitMs));
  EXPECT_EQ(recorder_.Messages(),
            Join({kListExchange, kFileExchange, {UPD_FINISHED, UPD_COMPLETE}}));
  EXPECT_EQ(ReadTestFile(Live() + kAddonPath), "add-on");
}

TEST_F(SelfUpdateRunTest, AnUnreachableServiceGivesTheErrorWithATextThatOutlivesTheRun) {
  test::ScopedEnvironment nowhere("DROVANE_SERVICE_URL", "http://127.0.0.1:1/");
  auto update = std::make_unique<SelfUpdate>(&application_);
  update->window = recorder_.window();
  ASSERT_TRUE(update->Start());
  // This thread does not look at its messages until the run is destroyed: a network thread
  // that sent (and so waited for this thread) would make the destruction wait for ever.
  ASSERT_TRUE(WaitForStatus(*update, HttpStatus::Done));
  Sleep(500);  // the Done notification has been handled
  EXPECT_LT(SecondsToDestroy(update), 10.0);
  recorder_.Drain();
  EXPECT_EQ(recorder_.Messages(), (Messages{UPD_TRANSFER_END, UPD_ERROR}));
  ASSERT_EQ(recorder_.Texts(UPD_ERROR).size(), 1u);
  EXPECT_FALSE(recorder_.Texts(UPD_ERROR)[0].empty());
  EXPECT_EQ(recorder_.notices().back().wParam, 1u);  // the service was never reached
}

TEST_F(SelfUpdateRunTest, DestroyingARunningUpdateReturnsAndPostsNothingMore) {
  service_.AddSource("addon/core.lua", "add-on");
  test::TempFolder config;
  WriteTestFile(
      config / "service.json",
      R"({"paths": {"/files/updates.dat": {"stall": {"phase": "answer", "seconds": 60}}}})");
  ASSERT_TRUE(service_.Start(
      "\"clientMd5\": \"" + test::RunningClientDigest() + "\", \"clientPath\": \"x.exe\"",
      {{"addon/core.lua", kAddonFolder}}, {"--config", test::HostPath(config / "service.json")}));
  KnowGames(Live(), "", "");

  auto update = std::make_unique<SelfUpdate>(&application_);
  update->window = recorder_.window();
  ASSERT_TRUE(update->Start());
  // The request is out; the service holds its answer.
  ASSERT_TRUE(WaitForStatus(*update, HttpStatus::Receiving));
  EXPECT_LT(SecondsToDestroy(update), 10.0);
  recorder_.Drain();
  EXPECT_EQ(recorder_.Messages(), (Messages{UPD_CHECKING, UPD_RECEIVING}));
  EXPECT_FALSE(FileExists(Live() + kAddonPath));
}

TEST_F(SelfUpdateRunTest, AnUpdateThroughAReverseProxyThatServesTheFilesItself) {
  const std::string content = "add-on from the proxy";
  service_.AddSource("addon/Drovane_Looter/core.lua", content);
  ASSERT_TRUE(service_.StartWithCurrentClient({{"addon/Drovane_Looter/core.lua", kAddonFolder}}));
  test::NginxProxy nginx(service_.service().port(), service_.folder() / "files");
  ASSERT_TRUE(nginx.running()) << nginx.problem();
  // The list names the proxy as the place to download from, as a published list does.
  ListSpec spec;
  spec.clientMd5 = test::RunningClientDigest();
  spec.baseUrl = nginx.url() + "files/";
  spec.entries = {{Md5Hex(content), static_cast<uint32_t>(content.size()),
                   "addon/Drovane_Looter/core.lua", kAddonFolder}};
  ASSERT_TRUE(service_.ServeSignedList(ListBytes(spec), NowSequence()));
  test::ScopedEnvironment throughProxy("DROVANE_SERVICE_URL", nginx.url());
  KnowGames(Live(), Ptr(), "");

  Run();
  EXPECT_EQ(recorder_.Messages(),
            Join({kListExchange, kFileExchange, {UPD_FINISHED, UPD_COMPLETE}}));
  EXPECT_EQ(ReadTestFile(Live() + kAddonPath), content);
  EXPECT_EQ(ReadTestFile(Ptr() + kAddonPath), content);
  EXPECT_EQ(service_.service().RequestCount(), 0);  // nginx served both
}

TEST_F(SelfUpdateRunTest, AnswersThatAreNotTheListedBytesStopTheRunAndWriteNothing) {
  const std::string content = "published add-on";
  service_.AddSource("addon/core.lua", content);
  test::TempFolder config;
  WriteTestFile(config / "service.json", R"({"paths": {
      "/files/updates.dat": {"status": 404, "times": 1},
      "/files/addon/core.lua": {"times": 1,
          "raw": "HTTP/1.1 301 Moved\r\nLocation: http://mirror.example/core.lua\r\n\r\n"}}})");
  ASSERT_TRUE(service_.Start(
      "\"clientMd5\": \"" + test::RunningClientDigest() + "\", \"clientPath\": \"x.exe\"",
      {{"addon/core.lua", kAddonFolder}}, {"--config", test::HostPath(config / "service.json")}));
  KnowGames(Live(), "", "");
  std::string list;
  ASSERT_TRUE(ReadWholeFile(service_.folder() / "files\\updates.dat", list));

  struct Case {
    const char* name;
    std::string servedList;
    std::string servedFile;
    Messages end;
    std::string error;
  };
  const Case cases[] = {
      {"an error page for the list", list, content, {UPD_TRANSFER_END, UPD_ERROR},
       "Invalid status code: 404."},
      {"the file moved elsewhere", list, content, {UPD_TRANSFER_END, UPD_ERROR},
       "The server redirects this request (status 301) to http://mirror.example/core.lua; "
       "redirects are not followed."},
      {"a list of megabytes", list + std::string(2 << 20, '\0'), content,
       {UPD_TRANSFER_END, UPD_ERROR}, BodyLimitText(kDefaultBodyLimit)},
      {"a file longer than listed", list, content + " and more", {UPD_TRANSFER_END, UPD_ERROR},
       BodyLimitText(content.size())},
      {"a file shorter than listed", list, content.substr(0, 9), {UPD_RECEIVED, UPD_FILE_FAILED},
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    service_.ServeFile("updates.dat", c.servedList);
    service_.ServeFile("addon/core.lua", c.servedFile);
    recorder_.Clear();
    Run();
    const Messages messages = recorder_.Messages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(Messages(messages.end() - 2, messages.end()), c.end);
    EXPECT_EQ(recorder_.Texts(UPD_ERROR),
              c.error.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.error});
    EXPECT_NE(phase_, UpdatePhase::Finished);
    EXPECT_FALSE(FileExists(Live() + kAddonPath));
  }
}

}  // namespace
}  // namespace drovane
