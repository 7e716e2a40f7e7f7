#include "gamefixture/Installation.h"

#include "gamefixture/AddonFile.h"
#include "gamefixture/GameConfigFiles.h"
#include "gamefixture/WdbWriter.h"

namespace drovane::fixture {
namespace {

SampleSettings SampleFor(const FixtureOptions& options, const std::string& locale) {
  SampleSettings sample;
  sample.locale = locale;
  sample.seed = options.seed;
  sample.padding = options.padding;
  return sample;
}

}  // namespace

std::vector<PlannedFile> PlanInstallation(const FixtureOptions& options) {
  std::vector<PlannedFile> plan;
  if (!(options.skip & Part::Addon)) {
    for (size_t i = 0; i < options.accounts.size(); ++i) {
      plan.push_back(
          {"WTF\\Account\\" + options.accounts[i].name + "\\SavedVariables\\" + kAddonFileName,
           PlannedFile::Kind::Addon, 0, static_cast<int>(i)});
    }
  }
  for (size_t l = 0; l < options.locales.size(); ++l) {
    const std::string& locale = options.locales[l];
    if (!(options.skip & Part::Wdb)) {
      for (int k = 0; k < kWdbKindCount; ++k) {
        plan.push_back({"Cache\\WDB\\" + locale + "\\" + InfoOf(kWdbKinds[k]).fileName,
                        PlannedFile::Kind::Wdb, l, k});
      }
    }
    if (!(options.skip & Part::Adb)) {
      for (int k = 0; k < kAdbKindCount; ++k) {
        plan.push_back(
            {"Cache\\ADB\\" + locale + "\\" + AdbKindAt(k).fileName, PlannedFile::Kind::Adb, l, k});
      }
    }
    if (!(options.skip & Part::Config)) {
      plan.push_back({"Data\\" + locale + "\\realmlist.wtf", PlannedFile::Kind::Realmlist, l, 0});
    }
  }
  if (!(options.skip & Part::Config)) {
    plan.push_back({"WTF\\Config.wtf", PlannedFile::Kind::Config, 0, 0});
  }
  return plan;
}

std::string BuildPlannedFile(const FixtureOptions& options, const PlannedFile& file,
                             uint32_t build) {
  const std::string locale =
      file.localeIndex < options.locales.size() ? options.locales[file.localeIndex] : "enUS";
  switch (file.kind) {
    case PlannedFile::Kind::Addon: {
      const AccountEntry& account = options.accounts[static_cast<size_t>(file.index)];
      AddonFileParams params = SampleAddonParams(account.name, options.seed, options.lootEntries);
      params.uploaded = account.uploaded;
      params.crlf = options.crlf;
      return BuildAddonFile(params);
    }
    case PlannedFile::Kind::Wdb: {
      WdbFileParams params;
      params.kind = kWdbKinds[file.index];
      params.build = build;
      params.firstId = options.firstId;
      params.recordCount = options.wdbRecords;
      params.endMarker = options.wdbEndMarker;
      params.sample = SampleFor(options, locale);
      return BuildWdbFile(params);
    }
    case PlannedFile::Kind::Adb: {
      AdbFileParams params;
      params.kindIndex = file.index;
      params.magic = options.AdbFormatFor(file.localeIndex);
      params.build = build;
      params.firstId = options.firstId;
      params.recordCount = options.adbRecords;
      params.recordSize = options.adbRecordSize;
      params.offsetMapStart = options.offsetMapStart;
      params.sample = SampleFor(options, locale);
      return BuildAdbFile(params);
    }
    case PlannedFile::Kind::Realmlist:
      return RealmlistText(options.realmlist);
    case PlannedFile::Kind::Config:
      return ConfigWtfText(options.portal, options.locales.empty() ? "enUS" : options.locales[0],
                           options.accounts.empty() ? std::string() : options.accounts[0].name);
  }
  return std::string();
}

}  // namespace drovane::fixture
