// Settings files: the proposed name and what a load reports (the save, load
// and send round trip is run by the command-line tests).
#include "settings/set_file.h"

#include <sys/stat.h>

#include <set>

#include "settings/build_settings_items.h"
#include "support/test_common.h"

namespace skyh {
namespace {

const std::string kDemo = SKYH_SOURCE_DIR "/demo/";

// The demo instrument's 64-byte settings area with a few values set.
std::vector<uint8_t> DemoArea() {
  std::vector<uint8_t> area(64, 0);
  area[0] = 12;  // IDNUM
  std::copy_n("Demo Hill", 9, area.begin() + 12);
  std::fill(area.begin() + 28, area.begin() + 35, 0xFF);  // password kept
  area[40] = 0x03;
  area[42] = static_cast<uint8_t>(-15);  // TempOffset raw -15, shown with one decimal as -1.5
  area[43] = 0xFF;
  area[46] = 12;
  area[47] = 6;
  return area;
}

std::unique_ptr<CSettingsItemList> DemoItems(const std::vector<uint8_t>& area) {
  auto items = BuildSettingsItems(kDemo + "ParDesc.dat", kDemo + "SPD7FF0201.par", area);
  EXPECT_NE(items, nullptr);
  return items;
}

std::string Text(const CSettingsItemList& items, const char* key) { return FindItemByKey(items, key)->GetValueText(); }

TEST(SetFileTest, ProposedNameAndWhatALoadReportsAndKeeps) {
  std::vector<uint8_t> area = DemoArea();
  EXPECT_EQ(ProposedSetFileName(*DemoItems(area)), "Settings_0012.set");
  area[0] = 0x39;  // 12345
  area[1] = 0x30;
  EXPECT_EQ(ProposedSetFileName(*DemoItems(area)), "Settings_12345.set");
  EXPECT_EQ(ProposedSetFileName(CSettingsItemList{}), "Settings.set");

  test::TempDir dir;
  const std::vector<uint8_t> demo = DemoArea();
  auto items = DemoItems(demo);
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
  EXPECT_TRUE(report.refused[0].name == "Altitude" && report.refused[0].result == SetValueResult::kInvalid);
  EXPECT_EQ(report.refused[1].name + "=" + report.refused[1].value, "Gain=99");
  EXPECT_EQ(report.refused[2].name, "Operator") << "too long";
  EXPECT_EQ(report.unknownKeys, std::vector<std::string>{"Colour"});
  EXPECT_EQ(Text(*items, "GPS"), "no") << "anything but yes counts as no";
  EXPECT_EQ(Text(*items, "SITE"), "Demo Hill") << "empty value: left alone";
  // Only these changed: AutoStart, TempOffset and the password already held
  // what the file says.
  std::set<std::string> changed;
  for (CSettingsItem* item : report.changed) changed.insert(item->key());
  EXPECT_EQ(changed, (std::set<std::string>{"GPS", "HEAT", "MINT"}));
  std::vector<uint8_t> written = demo;
  for (CSettingsItem* item : report.changed) item->WriteToRecord(written);
  written[40] = demo[40];
  written[44] = demo[44];
  EXPECT_EQ(written, demo) << "nothing but those is touched";

  // A pipe in place of the file: an error, never a block.
  ASSERT_EQ(::mkfifo((dir / "pipe.set").c_str(), 0644), 0);
  EXPECT_FALSE(LoadSetFile(dir / "pipe.set", *items, &report));
  EXPECT_FALSE(LoadSetFile(dir / "missing.set", *items));
}

}  // namespace
}  // namespace skyh
