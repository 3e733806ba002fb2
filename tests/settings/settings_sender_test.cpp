// Sending settings to the simulated control box in-process (the edit, save,
// load and send round trip is run by the command-line tests).
#include "settings/settings_sender.h"

#include <cstring>

#include "demo_instrument.h"
#include "records/parameter_file.h"
#include "records/settings_area.h"
#include "settings/build_settings_items.h"
#include "support/box_link.h"
#include "support/test_common.h"

namespace skyh {
namespace {

const std::string kDemo = SKYH_SOURCE_DIR "/demo/";

struct Recorder : IProgressSink, IStatusLine {
  void SetTitle(const std::string& t) override { log.push_back("title:" + t); }
  void SetText(const std::string& t) override { log.push_back("text:" + t); }
  bool Aborted() override { return false; }
  void CloseAfter(int ms) override { log.push_back("close:" + std::to_string(ms)); }
  void SetStatus(const std::string& t) override { log.push_back("status:" + t); }
  bool Has(const std::string& line) const { return std::find(log.begin(), log.end(), line) != log.end(); }
  std::vector<std::string> log;
};

SendSettingsJob Job(std::vector<uint8_t> record, const std::string& dir = kDemo) {
  return {.editedRecord = std::move(record), .configurationDirectory = dir, .pauseMs = 0};
}

std::string Value(std::vector<uint8_t> record, const char* key, const std::string& dir) {
  auto items = BuildSettingsItems(dir + "ParDesc.dat", dir + ParameterFileNameOfRecord(record), SettingsAreaOf(record));
  const CSettingsItem* item = items ? FindItemByKey(*items, key) : nullptr;
  return item ? item->GetValueText() : "(none)";
}

// A settings record of another firmware with an 1100-byte area.
std::vector<uint8_t> BigRecord(uint8_t version0, uint8_t fill) {
  std::vector<uint8_t> body(6 + 1100, fill);
  std::copy_n(std::vector<uint8_t>{version0, 0, 1, 2}.begin(), 4, body.begin());
  return sim::MakeRecord(0x7C, 0, body);
}

TEST(SettingsSenderTest, PiecesNeverSplitAFieldAndOneSidedParametersStayAsTheBoxHasThem) {
  test::TempDir dir;
  // The box's firmware: a 4-byte field at 510 and a parameter the memory's
  // firmware does not know.
  const std::string shared = "P Shared, SHARED, 0, 8, 0, 0, 255, 0, 0, 0, 0, 0, D\r\n"
                             "P Across, ACROSS, 510, 32, 0, 0, 2000000000, 0, 0, 0, 0, 0, D\r\n";
  test::WriteFile(dir / "SPE1FF0102.par", shared + "P BoxOnly, BOXONLY, 1, 8, 0, 0, 255, 0, 0, 0, 0, 0, D\r\n");
  test::WriteFile(dir / "SPE2FF0102.par", shared + "P MemOnly, MEMONLY, 2, 8, 0, 0, 255, 0, 0, 0, 0, 0, D\r\n"
                                                   "P BoxOnly, OTHERKEY, 1, 8, 0, 0, 255, 0, 0, 0, 0, 0, D\r\n");
  test::BoxLink link;
  LinkSession session(link);
  link.box.memory().SetSettings(BigRecord(0xE1, 0x11));
  std::vector<uint8_t> edited = BigRecord(0xE2, 0x22);
  edited[13 + 510] = 0x44;

  Recorder r;
  EXPECT_TRUE(SendSettings(session, Job(edited, dir.path()), r, r));
  EXPECT_EQ(r.log,
            (std::vector<std::string>{"title:Write settings", "text:Please wait...", "status:Writing settings...",
                                      "text:Write settings OK.", "status:Write settings OK.",
                                      "text:Stopping communication...", "close:2000"}));
  auto writes = link.Frames(0x48);
  ASSERT_EQ(writes.size(), 3u);
  const int offsets[] = {0, 510, 1022}, lengths[] = {510, 512, 78};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(writes[i].payload[0] | writes[i].payload[1] << 8, offsets[i]);
    EXPECT_EQ(writes[i].payload.size(), 2u + lengths[i]);
  }
  EXPECT_EQ(link.Frames(0x4B).size(), 1u);
  EXPECT_FALSE(link.IsConnected());
  const std::vector<uint8_t>& box = link.box.memory().settings();
  EXPECT_EQ(Value(box, "SHARED", dir.path()), "34");  // 0x22
  EXPECT_EQ(Value(box, "ACROSS", dir.path()), Value(edited, "ACROSS", dir.path()));
  EXPECT_EQ(box[13 + 1], 0x11) << "a key the memory lacks keeps the box's value";
  EXPECT_EQ(box[13 + 2], 0x11) << "a key the box lacks is not sent";
  EXPECT_EQ(box[13 + 600], 0x11) << "bytes of no parameter go back as the box had them";
}

TEST(SettingsSenderTest, FailuresSayWhichStepFailedAndEndNoSession) {
  const std::vector<uint8_t> demo = sim::MakeDemoSettingsRecord(1234, 0);
  // The line does not open; silent at once; silent after GetSettings; a box
  // firmware whose parameter file is not here; a settings reply that is no
  // settings record.
  struct Case {
    int silentAfter;
    std::vector<uint8_t> boxSettings;
    std::string text;
    const char* openError = "";
  };
  for (const Case& c :
       {Case{-1, demo, "text:Can't open /dev/ttyUSB9", "Can't open /dev/ttyUSB9"},
        Case{0, demo, "text:Get settings error: 2\n"}, Case{1, demo, "text:Write settings error: 2\n"},
        Case{-1, BigRecord(0xE9, 0), "text:Can't load \"SPE9FF0102.par\" file\nor the file is invalid."},
        Case{-1, sim::MakeRecord(0x1A, 0, std::vector<uint8_t>(70, 0)), "text:Get settings error: 1\n"}}) {
    sim::BoxOptions o;
    o.faults.silentAfterReplies = c.silentAfter;
    test::BoxLink link(o);
    LinkSession session(link);
    link.openError = c.openError;
    link.box.memory().SetSettings(c.boxSettings);
    Recorder r;
    EXPECT_FALSE(SendSettings(session, Job(demo), r, r)) << c.text;
    EXPECT_TRUE(r.Has(c.text) && r.Has("status:Write settings error.") && r.log.back() == "close:2000") << c.text;
    EXPECT_EQ(link.Frames(0x48).empty(), c.silentAfter != 1) << c.text;
    EXPECT_TRUE(link.Frames(0x4B).empty()) << "no end of session after a failure: " << c.text;
    EXPECT_FALSE(link.IsConnected());
  }
}

TEST(SettingsSenderTest, AnotherLinkUserHoldingTheLockKeepsTheLinkClosed) {
  test::BoxLink link;
  link.box.memory().SetSettings(sim::MakeDemoSettingsRecord(1234, 0));
  LinkSession session(link);
  SendSettingsJob job = Job(link.box.memory().settings());
  job.lockWaitMs = 0;
  {
    LinkLease other = session.Acquire(0, false);
    Recorder r;
    EXPECT_FALSE(SendSettings(session, job, r, r));
    EXPECT_EQ(link.opens, 1) << "only the holder's";
    EXPECT_TRUE(r.Has(std::string("text:") + LinkBusyText()));
  }
  Recorder ok;
  EXPECT_TRUE(SendSettings(session, job, ok, ok));
  EXPECT_TRUE(session.Acquire(0, false)) << "given back";
}

// Texts that cannot hold their fields exactly: two decimals shown with one,
// a tenth shown whole, a 2-bit switch holding 2, a text with bytes after
// its end; and one exact value.
const char kLossyParameters[] =
    "P Temp,  TEMP,   0, 16, 0, -500,      500, 0, 0, 0, 100, 1, D\r\n"
    "P Count, COUNT,  2, 32, 0,    0, 99999999, 0, 0, 0,  10, 0, D\r\n"
    "P Mode,  MODE,   6,  2, 0,    0,        3, 0, 0, 0,   0, 0, B\r\n"
    "P Name,  NAME,   8, 64, 0,    0,        8, 0, 0, 0,   0, 0, S\r\n"
    "P Exact, EXACT, 16,  8, 0,    0,      255, 0, 0, 0,   0, 0, D\r\n"
    "P Pass,  PASS,  20, 32, 0,    0,        4, 0, 0, 0,   0, 0, P\r\n";

std::vector<uint8_t> LossyArea(int16_t temp, int32_t count, uint8_t mode, uint8_t exact) {
  std::vector<uint8_t> area(64, 0x5A);
  std::memcpy(&area[0], &temp, 2);  // the host is little-endian, as the box
  std::memcpy(&area[2], &count, 4);
  area[6] = static_cast<uint8_t>(0xA4 | mode);  // the other six bits belong to nobody
  std::copy_n("AB\0junk!", 8, area.begin() + 8);
  area[16] = exact;
  std::copy_n("\xFF\xFF\xFF\0", 4, area.begin() + 20);
  return area;
}

TEST(SettingsSenderTest, MergeCopiesTheExactBitsOfValuesTheirTextsWouldRound) {
  test::TempDir dir;
  test::WriteFile(dir / "lossy.par", kLossyParameters);
  std::vector<SettingsSpan> fields;
  // Other values reach the box exactly, not through their rounded texts.
  const std::vector<uint8_t> edited = LossyArea(-15, 12345, 2, 9);
  std::vector<uint8_t> box = LossyArea(40, 5, 0, 7);
  box[12] = 'Z';
  ASSERT_TRUE(MergeSettingsAreas(dir / "ParDesc.dat", dir / "lossy.par", edited, dir / "lossy.par", box, fields));
  EXPECT_EQ(box, edited);

  // A box that stores a value differently gets it through its text.
  test::WriteFile(dir / "box.par", "P Temp, TEMP, 0, 16, 0, -5000, 5000, 0, 0, 0, 1000, 2, D\r\n");
  box = LossyArea(0, 0, 0, 0);
  ASSERT_TRUE(MergeSettingsAreas(dir / "ParDesc.dat", dir / "lossy.par", edited, dir / "box.par", box, fields));
  auto boxItems = BuildSettingsItems(dir / "ParDesc.dat", dir / "box.par", box);
  ASSERT_TRUE(boxItems);
  const std::string text = FindItemByKey(*boxItems, "TEMP")->GetValueText();
  EXPECT_TRUE(text == "-0.10" || text == "-0.20") << text;
}

}  // namespace
}  // namespace skyh
