// Settings files: proposed name, save and load.
#include "settings/set_file.h"

#include <gtest/gtest.h>

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
  ASSERT_EQ(FindItemByKey(*items, "IDNUM")->SetValueFromText("1234"), 0);
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
  ASSERT_EQ(FindItemByKey(*saved, "TOFF")->SetValueFromText("-2.5"), 0);
  ASSERT_EQ(FindItemByKey(*saved, "SERIAL")->SetValueFromText("00c0ffee"), 0);
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

TEST(SetFileTest, LoadTakesYesForTrueAndLeavesMissingOrRefusedValuesAlone) {
  test::TempDir dir;
  const std::string path = dir / "in.set";
  // Made on Windows: CR LF line ends.
  test::WriteFile(path,
                  "[Settings]\r\nAutoStart=NO\r\nGpsEnable=maybe\r\nHeaterOn=YES\r\nGain=99\r\n"
                  "MeasureInterval=30\r\nSiteName=\r\nOperator=A name far too long\r\nPassword=s3cret\r\n");
  std::vector<uint8_t> area = DemoArea();
  auto items = DemoItems(area);
  ASSERT_TRUE(items);
  const std::string gainBefore = Text(*items, "GAIN");
  ASSERT_TRUE(LoadSetFile(path, *items));
  EXPECT_EQ(Text(*items, "AUTO"), "no");
  EXPECT_EQ(Text(*items, "GPS"), "no") << "anything but yes counts as no";
  EXPECT_EQ(Text(*items, "HEAT"), "yes");
  EXPECT_EQ(Text(*items, "GAIN"), gainBefore) << "refused: too high";
  EXPECT_EQ(Text(*items, "MINT"), "30");
  EXPECT_EQ(Text(*items, "SITE"), "Demo Hill") << "empty value: left alone";
  EXPECT_EQ(Text(*items, "OPER"), "") << "refused: too long";
  EXPECT_EQ(Text(*items, "IDNUM"), "12") << "missing key: left alone";
  // A password from the file goes out as its text.
  auto* password = dynamic_cast<CSettingsItemPassword*>(FindItemByKey(*items, "PASSWD"));
  ASSERT_NE(password, nullptr);
  EXPECT_TRUE(password->changed());
  std::vector<uint8_t> written(64, 0);
  WriteAllToRecord(*items, written);
  EXPECT_EQ(std::string(written.begin() + 28, written.begin() + 36), std::string("s3cret\0\0", 8));
}

}  // namespace
}  // namespace skyh
