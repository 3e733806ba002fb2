// Settings files: proposed name, save and load.
#include "settings/set_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>

#include "records/settings_area.h"
#include "settings/build_settings_items.h"
#include "settings/settings_item_string.h"
#include "support/temp_dir.h"

namespace skyh {
namespace {

const std::string kDemo = SKYH_SOURCE_DIR "/demo/";

// The demo instrument's 64-byte settings area with a few values set.
std::vector<uint8_t> DemoArea() {
  std::vector<uint8_t> area(64, 0);
  area[0] = 12;  // IDNUM
  const char site[] = "Demo Hill";
  std::copy(site, site + 9, area.begin() + 12);
  std::fill(area.begin() + 28, area.begin() + 35, 0xFF);  // password kept
  area[40] = 0x03;
  area[46] = 12;
  area[47] = 6;
  return area;
}

std::unique_ptr<CSettingsItemList> DemoItems(const std::vector<uint8_t>& area) {
  auto items = BuildSettingsItems(kDemo + "ParDesc.dat", kDemo + "SPD7FF0201.par", area);
  EXPECT_NE(items, nullptr);
  return items;
}

std::string Text(const CSettingsItemList& items, const char* key) {
  const CSettingsItem* item = FindItemByKey(items, key);
  return item ? item->GetValueText() : "(none)";
}

TEST(SetFileTest, ProposedNamePadsTheInstrumentNumber) {
  std::vector<uint8_t> area = DemoArea();
  auto items = DemoItems(area);
  ASSERT_TRUE(items);
  EXPECT_EQ(ProposedSetFileName(*items), "Settings_0012.set");
  ASSERT_EQ(FindItemByKey(*items, "IDNUM")->SetValueFromText("1234"), SetValueResult::kAccepted);
  EXPECT_EQ(ProposedSetFileName(*items), "Settings_1234.set");
  area[0] = 0x39;  // 12345
  area[1] = 0x30;
  EXPECT_EQ(ProposedSetFileName(*DemoItems(area)), "Settings_12345.set");
  EXPECT_EQ(ProposedSetFileName(CSettingsItemList{}), "Settings.set");
}

TEST(SetFileTest, SaveWritesEveryValueTextAndLoadBringsThemBack) {
  test::TempDir dir;
  const std::string path = dir / "Settings_0012.set";
  test::WriteFile(path, "[Other]\nkeep=1\n[Settings]\nUnknownKey=7\n");
  std::vector<uint8_t> area = DemoArea();
  auto saved = DemoItems(area);
  ASSERT_TRUE(saved);
  ASSERT_EQ(FindItemByKey(*saved, "TOFF")->SetValueFromText("-2.5"), SetValueResult::kAccepted);
  ASSERT_EQ(FindItemByKey(*saved, "SERIAL")->SetValueFromText("00c0ffee"), SetValueResult::kAccepted);
  ASSERT_TRUE(SaveSetFile(path, *saved));

  const std::string text = test::ReadFile(path);
  // Every value as its text; keys of other sections and unknown keys stay.
  for (const char* line : {"InstrumentNumber=12\n", "SiteName=Demo Hill\n", "Password=*****\n", "SerialKey=00C0FFEE\n",
                           "AutoStart=yes\n", "HeaterOn=no\n", "TempOffset=-2.5\n", "keep=1", "UnknownKey=7"})
    EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;

  std::vector<uint8_t> blank(64, 0);
  auto loaded = DemoItems(blank);
  ASSERT_TRUE(loaded);
  ASSERT_TRUE(LoadSetFile(path, *loaded));
  for (const auto& item : *saved) EXPECT_EQ(Text(*loaded, item->key().c_str()), item->GetValueText()) << item->key();
  // The placeholder does not make a password: the box keeps its own.
  std::vector<uint8_t> written(64, 0);
  WriteAllToRecord(*loaded, written);
  EXPECT_EQ(std::vector<uint8_t>(written.begin() + 28, written.begin() + 36),
            (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0}));
  EXPECT_FALSE(LoadSetFile(dir / "missing.set", *loaded));
}

TEST(SetFileTest, LoadReportsRefusalsUnknownKeysAndAMissingSectionAndKeepsUnchangedTexts) {
  test::TempDir dir;
  std::vector<uint8_t> area = DemoArea();
  area[42] = static_cast<uint8_t>(-15);  // TempOffset raw -15, shown with one decimal as -1.5
  area[43] = 0xFF;
  auto items = DemoItems(area);
  ASSERT_TRUE(items);
  // Made on Windows: a byte-order mark and CR LF line ends.
  test::WriteFile(dir / "in.set",
                  "\xEF\xBB\xBF[Settings]\r\nGain=99\r\nMeasureInterval=30\r\nColour=blue\r\n"
                  "TempOffset=-1.5\r\nAutoStart=yes\r\nAltitude=abc\r\nPassword=*****\r\n"
                  "GpsEnable=maybe\r\nHeaterOn=YES\r\nSiteName=\r\nOperator=A name far too long\r\n");
  SetFileLoadReport report;
  ASSERT_TRUE(LoadSetFile(dir / "in.set", *items, &report));
  EXPECT_TRUE(report.hasSection);
  ASSERT_EQ(report.refused.size(), 3u);
  EXPECT_EQ(report.refused[0].name, "Altitude");
  EXPECT_EQ(report.refused[0].result, SetValueResult::kInvalid);
  EXPECT_EQ(report.refused[1].name, "Gain");
  EXPECT_EQ(report.refused[1].value, "99");
  EXPECT_STREQ(RefusalText(report.refused[1].result), "Value too high");
  EXPECT_EQ(report.refused[2].name, "Operator") << "too long";
  EXPECT_EQ(report.unknownKeys, std::vector<std::string>{"Colour"});
  EXPECT_EQ(Text(*items, "GPS"), "no") << "anything but yes counts as no";
  EXPECT_EQ(Text(*items, "HEAT"), "yes");
  EXPECT_EQ(Text(*items, "SITE"), "Demo Hill") << "empty value: left alone";
  EXPECT_EQ(Text(*items, "IDNUM"), "12") << "missing key: left alone";
  // Only these changed: AutoStart, TempOffset and the password already held
  // what the file says.
  std::set<std::string> changed;
  for (CSettingsItem* item : report.changed) changed.insert(item->key());
  EXPECT_EQ(changed, (std::set<std::string>{"GPS", "HEAT", "MINT"}));
  std::vector<uint8_t> written = area;
  for (CSettingsItem* item : report.changed) item->WriteToRecord(written);
  written[40] = area[40];
  written[44] = area[44];
  EXPECT_EQ(written, area) << "nothing but those is touched";

  // A password from the file goes out as its text.
  test::WriteFile(dir / "pw.set", "[Settings]\nPassword=s3cret\n");
  ASSERT_TRUE(LoadSetFile(dir / "pw.set", *items));
  EXPECT_TRUE(dynamic_cast<CSettingsItemPassword*>(FindItemByKey(*items, "PASSWD"))->changed());
  WriteAllToRecord(*items, written);
  EXPECT_EQ(std::string(written.begin() + 28, written.begin() + 36), std::string("s3cret\0\0", 8));

  test::WriteFile(dir / "other.set", "[Setting]\nGain=3\n");
  EXPECT_TRUE(LoadSetFile(dir / "other.set", *items, &report));
  EXPECT_FALSE(report.hasSection);
  EXPECT_TRUE(report.changed.empty());

  // A folder or a pipe in place of the file: an error, never a block or a throw.
  std::filesystem::create_directory(dir / "folder.set");
  EXPECT_FALSE(LoadSetFile(dir / "folder.set", *items, &report));
  EXPECT_EQ(report.error, "is a folder");
  ASSERT_EQ(::mkfifo((dir / "pipe.set").c_str(), 0644), 0);
  EXPECT_FALSE(LoadSetFile(dir / "pipe.set", *items, &report));
}

}  // namespace
}  // namespace skyh
