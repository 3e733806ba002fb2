// The demo instrument's layouts read by the program's own reader, and the
// generated records decoded with them. (The command-line tests read its
// parameter file and count the records by layout.)
#include "core/time_util.h"
#include "core/user_messages.h"
#include "demo_instrument.h"
#include "records/record.h"
#include "records/scenario_list.h"
#include "support/test_common.h"

namespace skyh::sim {
namespace {

struct CollectMessages : IUserMessages {
  CollectMessages() { SetUserMessages(this); }
  ~CollectMessages() override { SetUserMessages(nullptr); }
  void Show(MessageKind, const std::string& text) override { texts.push_back(text); }
  std::vector<std::string> texts;
};

TEST(DemoFiles, ScenarioListLoadsWholeAndEveryGeneratedRecordDecodes) {
  CollectMessages messages;
  ClistScn list;
  ASSERT_TRUE(list.Load(std::string(SKYH_SOURCE_DIR) + "/demo/ScnList.dat"));
  EXPECT_TRUE(messages.texts.empty()) << messages.texts.front();  // no unknown decode type
  ASSERT_EQ(list.Count(), 5u);

  DemoOptions o;
  o.startUtc = FieldsToTime(2026, 6, 1, 0, 0, 0);
  o.days = 2;
  BoxMemory m;
  GenerateDemoMemory(o, m);
  std::string allText;
  for (const Bytes& raw : m.records()) {
    CRecord r;
    ASSERT_TRUE(r.Decode(list, "SPD7000201", raw.data(), raw.size()));
    if (r.IsUnknown()) {
      EXPECT_TRUE(raw[0] == kDemoUnknownType || (raw[0] == kDemoReport && raw[7] == 9));
      continue;
    }
    const std::string text = r.GetText();
    EXPECT_EQ(text.find("???"), std::string::npos) << text;
    allText += text + "\n";
  }
  // Sentinels show as statuses.
  for (const char* status : {"Overflow", "Underflow", "error"}) EXPECT_NE(allText.find(status), std::string::npos) << status;
  EXPECT_NE(allText.find("2,43.56123,1.47890,1520,7"), std::string::npos);
}

}  // namespace
}  // namespace skyh::sim
