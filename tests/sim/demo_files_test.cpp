// The demo instrument's layouts read by the program's own reader, and the
// generated records decoded with them (its parameter file is read by the
// command-line tests).
#include <gtest/gtest.h>

#include "core/time_util.h"
#include "core/user_messages.h"
#include "demo_instrument.h"
#include "records/record.h"
#include "records/scenario_list.h"

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
  GenerateDemoMemory(o, m);
  BoxMemory again;  // the same options give the same memory
  GenerateDemoMemory(o, again);
  EXPECT_EQ(again.ToK8Bytes(), m.ToK8Bytes());

  // The counts by layout are checked by the command-line tests' info.
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
      EXPECT_TRUE(raw[0] == kDemoUnknownType || (raw[0] == kDemoReport && raw[7] == 9));
      continue;
    }
    const std::string text = r.GetText();
    EXPECT_EQ(text.find("???"), std::string::npos) << text;
    if (r.name() == "SUN") {
      EXPECT_EQ(r.ElementCount(), 13u);  // eight channels
    } else if (r.name() == "SKY") {
      EXPECT_EQ(r.ElementCount(), 15u);  // twelve points
    }
    allText += text + "\n";
  }
  // Sentinels show as statuses.
  for (const char* status : {"Overflow", "Underflow", "error"}) EXPECT_NE(allText.find(status), std::string::npos) << status;
  EXPECT_NE(allText.find("2,43.56123,1.47890,1520,7"), std::string::npos);

  // A real instrument's key matches none of the demo layouts.
  CRecord foreign;
  ASSERT_TRUE(foreign.Decode(list, "SP12345678", m.records().back().data(), m.records().back().size()));
  EXPECT_TRUE(foreign.IsUnknown());
}

}  // namespace
}  // namespace skyh::sim
