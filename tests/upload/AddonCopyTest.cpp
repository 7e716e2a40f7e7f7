// The add-on file's upload copy and the rewrite of its "dlUploaded = " line, byte for byte.
#include <gtest/gtest.h>

#include "data/SavedVariables.h"
#include "upload/AddonCopy.h"

namespace drovane {
namespace {

const std::string kFile =
    "dlVersion = 7\n"
    "dlUploaded = 0\n"
    "dlStats = \"1^2^3^4^5^6\"\n"
    "dlExportData = \"Aldor^Thrall^60\"\n"
    "dlLoot = {\n"
    "}\n";

TEST(AddonUploadCopy, ANewFileGoesWholeAndGainsBothBits) {
  int state = 0;
  EXPECT_EQ(AddonUploadCopy(kFile, false, state), kFile);
  EXPECT_EQ(state, UPLOADED_BASE | UPLOADED_EXPORT);
}

TEST(AddonUploadCopy, AnExcludedAccountSendsEverythingButItsExportLine) {
  int state = 0;
  EXPECT_EQ(AddonUploadCopy(kFile, true, state),
            "dlVersion = 7\ndlUploaded = 0\ndlStats = \"1^2^3^4^5^6\"\ndlLoot = {\n}\n");
  EXPECT_EQ(state, UPLOADED_BASE);
}

TEST(AddonUploadCopy, AfterTheBasePartOnlyTheExportLineIsLeft) {
  int state = UPLOADED_BASE;
  EXPECT_EQ(AddonUploadCopy(kFile, false, state), "dlExportData = \"Aldor^Thrall^60\"");
  EXPECT_EQ(state, UPLOADED_BASE | UPLOADED_EXPORT);
}

TEST(AddonUploadCopy, AnExcludedAccountWhoseBaseWentBeforeSendsAnEmptyCopy) {
  int state = UPLOADED_BASE;
  EXPECT_EQ(AddonUploadCopy(kFile, true, state), "");
  EXPECT_EQ(state, UPLOADED_BASE);
}

TEST(AddonUploadCopy, AFileWithoutExportLineWhoseBaseWentBeforeIsEmpty) {
  int state = UPLOADED_BASE;
  EXPECT_EQ(AddonUploadCopy("dlUploaded = 1\ndlStats = \"1^2^3^4^5^6\"\n", false, state), "");
}

TEST(AddonUploadCopy, AnExportLineAtTheEndWithoutLineFeed) {
  const std::string text = "dlUploaded = 0\ndlExportData = \"x\"";
  int state = 0;
  EXPECT_EQ(AddonUploadCopy(text, true, state), "dlUploaded = 0\n");
  state = UPLOADED_BASE;
  EXPECT_EQ(AddonUploadCopy(text, false, state), "dlExportData = \"x\"");
}

TEST(AddonDataVersion, TheNumberRightAfterTheKey) {
  int32_t version = -1;
  EXPECT_TRUE(ReadAddonDataVersion(kFile, &version));
  EXPECT_EQ(version, 7);
  EXPECT_FALSE(ReadAddonDataVersion("dlVersion = seven\n", &version));
  EXPECT_FALSE(ReadAddonDataVersion("dlUploaded = 3\n", &version));
  EXPECT_TRUE(ReadAddonDataVersion("x\ndlVersion = 12", &version));
  EXPECT_EQ(version, 12);
}

TEST(UploadedLineRewrite, TheLineTakesTheNewValueAndEveryOtherByteStays) {
  const UploadedLineRewrite rewrite =
      RewriteUploadedLine("dlVersion = 7\ndlUploaded = 1\ndlStats = \"1^2^3^4^5^6\"\n", 3);
  EXPECT_TRUE(rewrite.hadLine);
  EXPECT_EQ(rewrite.line, "dlUploaded = 3");
  EXPECT_EQ(rewrite.text, "dlVersion = 7\ndlUploaded = 3\ndlStats = \"1^2^3^4^5^6\"\n");
}

TEST(UploadedLineRewrite, CarriageReturnLineEndsStay) {
  const std::string text = "dlVersion = 7\r\ndlUploaded = 12\r\ndlStats = \"x\"\r\n";
  EXPECT_EQ(RewriteUploadedLine(text, 3).text,
            "dlVersion = 7\r\ndlUploaded = 3\r\ndlStats = \"x\"\r\n");
  // Lines ended by a carriage return alone keep the rest of the file too.
  EXPECT_EQ(RewriteUploadedLine("dlUploaded = 1\rdlStats = \"x\"\r", 2).text,
            "dlUploaded = 2\rdlStats = \"x\"\r");
}

TEST(UploadedLineRewrite, ALastLineWithoutLineFeedIsReplacedOnce) {
  EXPECT_EQ(RewriteUploadedLine("dlStats = \"x\"\ndlUploaded = 1", 3).text,
            "dlStats = \"x\"\ndlUploaded = 3");
}

TEST(UploadedLineRewrite, AMissingLineGoesOnTopOnALineOfItsOwn) {
  const UploadedLineRewrite rewrite = RewriteUploadedLine("dlStats = \"x\"\n", 3);
  EXPECT_FALSE(rewrite.hadLine);
  EXPECT_EQ(rewrite.text, "dlUploaded = 3\ndlStats = \"x\"\n");
  EXPECT_EQ(RewriteUploadedLine("", 0).text, "dlUploaded = 0");
}

TEST(UploadedLineRewrite, ValuesAndJunkAfterTheNumberGo) {
  EXPECT_EQ(RewriteUploadedLine("dlUploaded = 7 -- kept by the add-on\nx", 7).text,
            "dlUploaded = 7\nx");
  EXPECT_EQ(RewriteUploadedLine("dlUploaded = \nx", -5).text, "dlUploaded = -5\nx");
}

}  // namespace
}  // namespace drovane
