// The demo instrument's files read by the program's own readers, and the
// generated records decoded with them.
#include <gtest/gtest.h>

#include <map>

#include "core/time_util.h"
#include "core/user_messages.h"
#include "demo_instrument.h"
#include "records/parameter_file.h"
#include "records/record.h"
#include "records/scenario_list.h"
#include "settings/build_settings_items.h"
#include "settings/settings_item_list.h"

namespace skyh::sim {
namespace {

const std::string kDemo = std::string(SKYH_SOURCE_DIR) + "/demo/";
constexpr const char* kDemoKey = "SPD7000201";

struct CollectMessages : IUserMessages {
  CollectMessages() { SetUserMessages(this); }
  ~CollectMessages() override { SetUserMessages(nullptr); }
  void Show(MessageKind, const std::string& text) override { texts.push_back(text); }
  std::vector<std::string> texts;
};

TEST(DemoFiles, ScenarioListLoadsWholeAndEveryGeneratedRecordDecodes) {
  CollectMessages messages;
  ClistScn list;
  ASSERT_TRUE(list.Load(kDemo + "ScnList.dat"));
  EXPECT_TRUE(messages.texts.empty()) << messages.texts.front();  // no unknown decode type
  ASSERT_EQ(list.Count(), 5u);
  const size_t elements[] = {6, 4, 5, 6, 5};
  for (size_t i = 0; i < list.Count(); ++i) {
    EXPECT_EQ(list.At(i).elements.size(), elements[i]) << list.At(i).name;
    EXPECT_EQ(list.At(i).idRanges, (std::vector<std::string>{"SPD7000000", "SPD7FFFFFF"}));
  }

  DemoOptions o;
  o.startUtc = FieldsToTime(2026, 6, 1, 0, 0, 0);
  o.days = 2;
  BoxMemory m;
  const DemoSummary s = GenerateDemoMemory(o, m);
  EXPECT_EQ(static_cast<size_t>(s.records), m.size());
  EXPECT_EQ(s.unknownRecords, 3);  // two of an unknown type, one report of an unknown kind
  EXPECT_EQ(ParameterFileNameOfRecord(m.settings()), "SPD7FF0201.par");
  BoxMemory again;  // the same options give the same memory
  GenerateDemoMemory(o, again);
  EXPECT_EQ(again.ToK8Bytes(), m.ToK8Bytes());

  std::map<std::string, int> byName;
  int unknown = 0;
  int64_t previous = o.startUtc;
  std::string allText;
  for (const Bytes& raw : m.records()) {
    CRecord r;
    ASSERT_TRUE(r.Decode(list, kDemoKey, raw.data(), raw.size()));
    // In recording order, inside the generated days.
    EXPECT_GE(r.time(), previous);
    EXPECT_LT(r.time(), o.startUtc + 2 * 86400);
    previous = r.time();
    if (r.IsUnknown()) {
      ++unknown;
      EXPECT_TRUE(raw[0] == kDemoUnknownType || (raw[0] == kDemoReport && raw[7] == 9));
      continue;
    }
    ++byName[r.name()];
    const std::string text = r.GetText();
    EXPECT_EQ(text.find("???"), std::string::npos) << text;
    if (r.name() == "SUN") {
      EXPECT_EQ(r.ElementCount(), 13u);  // eight channels
    } else if (r.name() == "SKY") {
      EXPECT_EQ(r.ElementCount(), 15u);  // twelve points
    }
    allText += text + "\n";
  }
  EXPECT_EQ(unknown, s.unknownRecords);
  EXPECT_EQ(byName.size(), 5u);
  EXPECT_EQ(byName["GPS"], 2);
  // Sentinels show as statuses.
  for (const char* status : {"Overflow", "Underflow", "error"}) EXPECT_NE(allText.find(status), std::string::npos) << status;
  EXPECT_NE(allText.find("2,43.56123,1.47890,1520,7"), std::string::npos);

  // A real instrument's key matches none of the demo layouts.
  CRecord foreign;
  ASSERT_TRUE(foreign.Decode(list, "SP12345678", m.records().back().data(), m.records().back().size()));
  EXPECT_TRUE(foreign.IsUnknown());
}

TEST(DemoFiles, ParameterFileBuildsEveryParameterOverTheSettingsArea) {
  const Bytes settings = MakeDemoSettingsRecord(1234, FieldsToTime(2026, 6, 1, 0, 0, 0));
  const std::span<const uint8_t> area(settings.data() + 13, settings.size() - 16);
  std::unique_ptr<CSettingsItemList> items =
      BuildSettingsItems(kDemo + "ParDesc.dat", kDemo + "SPD7FF0201.par", area);
  ASSERT_NE(items, nullptr);
  const std::map<std::string, std::string> expected = {
      {"IDNUM", "1234"},   {"IDLAT", "43.56123"}, {"IDLONG", "1.47890"}, {"ALT", "1520"},
      {"SITE", "Demo Hill"}, {"PASSWD", "*****"}, {"SERIAL", "1A2B3C4D"}, {"AUTO", "yes"},
      {"GPS", "yes"},      {"HEAT", "no"},        {"GAIN", "4"},          {"FSET", "2"},
      {"TOFF", "-1.5"},    {"MINT", "15"},        {"TZONE", "0"},         {"MTIME", "60"},
      {"WHEEL", "00FF"},   {"OPER", "Sky Demo"},
  };
  ASSERT_EQ(items->Count(), expected.size());
  for (const auto& [key, text] : expected) {
    CSettingsItem* item = FindItemByKey(*items, key);
    ASSERT_NE(item, nullptr) << key;
    EXPECT_EQ(item->GetValueText(), text) << key;
    EXPECT_FALSE(item->description().empty()) << key;
  }
}

}  // namespace
}  // namespace skyh::sim
