// The retrieval walk and its workers against the in-process simulated box.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <set>
#include <thread>

#include "control_box.h"
#include "core/clock_sync.h"
#include "core/ini_file.h"
#include "core/log_file.h"
#include "core/text_util.h"
#include "core/time_util.h"
#include "data/file_naming.h"
#include "data/retrieval.h"
#include "data/retrieval_workers.h"
#include "demo_instrument.h"
#include "records/scenario_list.h"
#include "settings/instrument_info.h"
#include "store_fixtures.h"
#include "support/box_link.h"
#include "support/memory_link.h"
#include "support/progress_recorder.h"
#include "support/temp_dir.h"

namespace skyh {
namespace {

using test::BoxLink;

constexpr int64_t kNow = 1764936000;  // 2025-12-05 12:00:00 UTC
int64_t FixedNowMs() { return kNow * 1000; }

using Recorder = test::RecordingProgress;
constexpr auto kRecords = ProgressCounter::Kind::kRecords;

std::vector<uint8_t> Record(int64_t t, uint8_t fill) {
  return sim::MakeRecord(sim::kDemoUnknownType, t > 0 ? sim::PackTime(t) : 0, std::vector<uint8_t>(30, fill));
}

class RetrievalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetNowFunctionForTesting(&FixedNowMs);
    GetScenarioList().Load(std::string(SKYH_SOURCE_DIR) + "/demo/ScnList.dat");
    config.configurationDirectory = std::string(SKYH_SOURCE_DIR) + "/demo/";
    config.outputDirectory = dir / "out/";
    config.retrieveLimited = 0;
  }
  void TearDown() override { SetNowFunctionForTesting(nullptr); }
  // A box holding hourly records up to `newest`, oldest first.
  void Fill(BoxLink& link, int count, int64_t newest) {
    sim::BoxMemory& m = link.box.memory();
    m.SetSettings(sim::MakeDemoSettingsRecord(1234, newest));
    for (int i = count - 1; i >= 0; --i) m.Append(Record(newest - 3600 * i, static_cast<uint8_t>(i)));
  }
  RetrievalStatus Run(CCom& link, RetrievalOutcome* out = nullptr) {
    link.Open();
    RetrievalEnv env{link, config, ini, rec, rec, false, SetHeadNumberFromSettings, {}};
    RetrievalOutcome outcome = Retrieve(env);
    TakeRetrievedStore(outcome, store);
    link.Close();
    if (out) *out = outcome;
    return outcome.status;
  }
  std::string Last() { return CIniFile(ini).GetString("head_1234", "last", ""); }
  std::string LastCrc() { return CIniFile(ini).GetString("head_1234", "last_crc", ""); }
  // A "last" as a program that keeps no fingerprint leaves it.
  void SetLast(const std::string& value) {
    CIniFile(ini).WriteStrings({{"head_1234", "last", value}, {"head_1234", "last_crc", ""}});
  }
  std::string LogText() { return log.Text(); }
  // Bytes of the box's records, newest first.
  static std::vector<std::vector<uint8_t>> NewestFirst(const BoxLink& link) {
    auto r = link.box.memory().records();
    std::reverse(r.begin(), r.end());
    return r;
  }
  std::vector<std::vector<uint8_t>> Stored() const {
    std::vector<std::vector<uint8_t>> out;
    out.reserve(store.Count());
    for (int i = 0; i < store.Count(); ++i) out.emplace_back(store.At(i)->raw(), store.At(i)->raw() + store.At(i)->length());
    return out;
  }

  test::TempDir dir;
  std::string ini = dir / "SkyHarvester.ini";
  test::ScopedLog log{dir / "SkyHarvester.log"};
  CConfiguration config;
  RecordStore store;
  Recorder rec;
};

TEST_F(RetrievalTest, FullWalkGivesHeaderAndEveryRecordNewestFirstAndWritesLast) {
  BoxLink link;
  sim::DemoOptions demo;
  demo.startUtc = kNow - 2 * 86400;
  demo.days = 2;
  demo.intervalMinutes = 30;
  demo.instrumentNumber = 77;
  sim::DemoSummary summary = sim::GenerateDemoMemory(demo, link.box.memory());
  link.box.memory().SortByTime();
  ASSERT_GT(summary.records, 50);
  store.AddCopy(Record(1, 1).data(), 30);  // replaced by the retrieval
  store.headNumber = "0999";                 // another instrument's, before

  RetrievalOutcome out;
  ASSERT_EQ(Run(link, &out), RetrievalStatus::kFinished);
  EXPECT_EQ(Stored(), NewestFirst(link));
  ASSERT_NE(store.Header(), nullptr);
  EXPECT_EQ(std::vector<uint8_t>(store.Header()->raw(), store.Header()->raw() + store.Header()->length()),
            link.box.memory().settings());
  EXPECT_EQ(store.headNumber, "0077");
  EXPECT_EQ(store.scenarioKey, "SPD7000201");
  EXPECT_EQ(store.UnknownCount(), summary.unknownRecords);
  EXPECT_EQ(CIniFile(ini).GetString("head_0077", "last", ""), FormatLastTime(store.At(0)->time()));
  const auto received = rec.Counters(kRecords);
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received.back().current, store.Count());
  EXPECT_GT(received.back().bytes, received.front().bytes);
  EXPECT_LE(received.back().bytes, link.ReceivedBytes()) << "the walk's last reply carries no record";
  EXPECT_NE(LogText().find(Sprintf("%d records received correctly", store.Count())), std::string::npos);
}

TEST_F(RetrievalTest, MissingRecordsStopAtLastAndDayLimitTakesTheLaterPoint) {
  const int64_t newest = FieldsToTime(2025, 12, 5, 10, 0, 0);
  struct Case {
    std::string last;
    int maxDays;  // 0: no day limit
    int count;    // hourly records from 10:00 down, the one of the stop point included
    StopReason reason;
  };
  // The first record at or before "last"; an unreadable "last" leaves the day
  // limit; with both, the later point ends the walk.
  for (const Case& c : {Case{"25/12/05 01:30:00", 0, 10, StopReason::kKnownRecord},
                        Case{"25/13/01 12:00:00", 1, 25, StopReason::kDayLimit},
                        Case{"25/12/04 20:00:00", 1, 15, StopReason::kKnownRecord},
                        Case{"25/12/03 20:00:00", 1, 25, StopReason::kDayLimit}}) {
    SCOPED_TRACE(c.last);
    BoxLink link;
    Fill(link, 48, newest);
    SetLast(c.last);
    config.retrieveLimited = c.maxDays > 0;
    config.retrieveMaxDays = c.maxDays;
    RetrievalOutcome out;
    ASSERT_EQ(Run(link, &out), RetrievalStatus::kFinished);
    EXPECT_EQ(out.stopReason, c.reason);
    ASSERT_EQ(store.Count(), c.count);
    EXPECT_EQ(store.At(c.count - 1)->time(), newest - 3600 * (c.count - 1));
    EXPECT_EQ(Last(), "25/12/05 10:00:00");
    if (c.count != 10) continue;
    EXPECT_NE(LogText().find("Last = \"25/12/05 01:30:00\""), std::string::npos);
    // Nothing new: the store keeps the header and no records.
    ASSERT_EQ(Run(link, &out), RetrievalStatus::kFinished);
    EXPECT_EQ(out.stopReason, StopReason::kKnownRecord);
    EXPECT_EQ(store.Count(), 0);
    EXPECT_NE(store.Header(), nullptr);
    EXPECT_TRUE(rec.Saw("The Photometer is empty"));
  }
  EXPECT_NE(LogText().find("Can't convert last time \"25/13/01 12:00:00\""), std::string::npos);
}

TEST_F(RetrievalTest, UntimedAndEqualTimeRecordsAndAnEmptyBox) {
  config.retrieveLimited = 1;
  const int64_t t = FieldsToTime(2025, 12, 5, 10, 0, 0);
  BoxLink link;
  sim::BoxMemory& m = link.box.memory();
  m.SetSettings(sim::MakeDemoSettingsRecord(1234, t));
  m.Append(Record(t - 3 * 86400, 1));
  m.Append(Record(-1, 2));  // no time stamp, older than the limit's neighbours
  m.Append(Record(t - 3600, 3));
  m.Append(Record(t - 3600, 4));  // same time, other bytes
  m.Append(Record(-1, 5));
  m.Append(Record(t, 6));
  ASSERT_EQ(Run(link), RetrievalStatus::kFinished);
  ASSERT_EQ(store.Count(), 6);  // untimed records never end the walk; the old one does and is kept
  EXPECT_EQ(store.At(5)->time(), t - 3 * 86400);

  BoxLink empty;
  empty.box.memory().SetSettings(sim::MakeDemoSettingsRecord(1234, t));
  RetrievalOutcome out;
  ASSERT_EQ(Run(empty, &out), RetrievalStatus::kFinished);
  EXPECT_TRUE(rec.Saw("The Photometer is empty"));
  EXPECT_EQ(out.stopReason, StopReason::kEmpty);
  EXPECT_EQ(store.Count(), 0);
  EXPECT_NE(store.Header(), nullptr);
}

TEST_F(RetrievalTest, RecordsWrittenLaterInTheSecondOfLastAreTakenByTheirFingerprint) {
  const int64_t t = FieldsToTime(2025, 12, 5, 10, 0, 0);
  BoxLink link;
  Fill(link, 5, t);
  ASSERT_EQ(Run(link), RetrievalStatus::kFinished);
  const std::vector<uint8_t> newest = link.box.memory().records().back();
  EXPECT_EQ(Last(), "25/12/05 10:00:00");
  EXPECT_EQ(LastCrc(), Sprintf("%08X", RecordFingerprint(newest.data(), newest.size())));

  // Two more records within the same second, after that retrieval: both come,
  // and the walk ends at the record it had.
  link.box.memory().Append(Record(t, 0x61));
  link.box.memory().Append(Record(t, 0x62));
  RetrievalOutcome out;
  ASSERT_EQ(Run(link, &out), RetrievalStatus::kFinished);
  auto all = NewestFirst(link);
  EXPECT_EQ(Stored(), std::vector<std::vector<uint8_t>>(all.begin(), all.begin() + 3));
  EXPECT_TRUE(out.endedAtStopRecord);
  EXPECT_EQ(Last(), "25/12/05 10:00:00");
  EXPECT_EQ(LastCrc(), Sprintf("%08X", RecordFingerprint(all[0].data(), all[0].size())));  // written last
  ASSERT_EQ(Run(link), RetrievalStatus::kFinished);
  EXPECT_TRUE(rec.Saw("The Photometer is empty"));

  // An older record ends the walk even when the fingerprinted one is gone.
  SetLast("25/12/05 10:00:00");
  CIniFile(ini).WriteString("head_1234", "last_crc", "0BADF00D");
  link.box.memory().Append(Record(t + 60, 0x63));
  ASSERT_EQ(Run(link, &out), RetrievalStatus::kFinished);
  EXPECT_EQ(store.Count(), 5);  // 10:01, the three of 10:00, then 09:00
  EXPECT_EQ(store.At(4)->time(), t - 3600);

  // Without a fingerprint, as before: the first record stamped "last" ends it.
  SetLast("25/12/05 10:01:00");
  link.box.memory().Append(Record(t + 60, 0x64));
  ASSERT_EQ(Run(link), RetrievalStatus::kFinished);
  EXPECT_TRUE(rec.Saw("The Photometer is empty"));
  EXPECT_EQ(store.Count(), 0);

  // A day limit later than "last" ends the walk as before, fingerprint or not.
  BoxLink daily;
  Fill(daily, 30, t);
  SetLast(FormatLastTime(t - 28 * 3600));
  CIniFile(ini).WriteString("head_1234", "last_crc", "0BADF00D");
  config.retrieveLimited = 1;
  config.retrieveMaxDays = 1;
  ASSERT_EQ(Run(daily), RetrievalStatus::kFinished);
  EXPECT_EQ(store.Count(), 25);  // down to the record of the limit itself
}

bool g_synchronised = false;
bool FakeClockSync() { return g_synchronised; }

TEST_F(RetrievalTest, ClockIsSetOnlyBeyondTheBoundAndWithTheGuardOnlyWhenSynchronised) {
  SetClockSyncFunctionForTesting(&FakeClockSync);
  config.retrieveMissing = 0;
  config.autoSetTime = 1;
  config.autoSetTimeMax = 10;
  const std::string why = "Computer clock not synchronised: the photometer's clock was left unchanged.";
  struct Case {
    int64_t offset;
    int guard;
    bool synchronised, set;
  };
  // -7200: a computer booted with the time of its last shutdown.
  for (const Case& c :
       {Case{10, 0, false, false}, Case{-10, 0, false, false}, Case{11, 0, false, true}, Case{-11, 0, false, true},
        Case{-7200, 1, false, false}, Case{-7200, 1, true, true}, Case{-7200, 0, false, true}}) {
    SCOPED_TRACE(Sprintf("%d %d %d", int(c.offset), c.guard, c.synchronised));
    config.autoSetTimeNeedsSync = c.guard;
    g_synchronised = c.synchronised;
    sim::BoxOptions options;
    options.clockOffsetSeconds = c.offset;
    BoxLink link(options, [] { return kNow; });
    Fill(link, 3, kNow - 60);
    const size_t logBefore = LogText().size();
    ASSERT_EQ(Run(link), RetrievalStatus::kFinished);
    EXPECT_EQ(store.Count(), 3);
    EXPECT_EQ(link.box.clockOffsetSeconds(), c.set ? 0 : c.offset);
    EXPECT_EQ(link.Frames(0x42).size(), c.set ? 1u : 0u);
    const std::string logged = LogText().substr(logBefore);
    EXPECT_EQ(logged.find(why) != std::string::npos, c.guard && !c.set) << logged;
    EXPECT_EQ(
        logged.find(Sprintf("Difference bewteen Photometer and PC is %d seconds.", int(c.offset))) != std::string::npos,
        c.set);
  }
  SetClockSyncFunctionForTesting(nullptr);
}

TEST_F(RetrievalTest, AShortOrImpossibleBoxDateSetsNothing) {
  config.autoSetTime = 1;
  for (const std::vector<uint8_t>& date : {std::vector<uint8_t>{25, 3, 7}, std::vector<uint8_t>{25, 2, 30, 10, 0, 0}}) {
    test::MemoryLink link;
    link.SetResponder([&](const test::WireFrame& f) {
      if (f.command == 0x41) return test::BuildFrame(f.sequence, 0x41, date);
      return test::BuildFrame(f.sequence, f.command, {});
    });
    ASSERT_EQ(Run(link), RetrievalStatus::kError);
    EXPECT_TRUE(rec.Saw("Get Photometer date error: 1\n"));
    for (const auto& f : link.Frames()) EXPECT_NE(f.command, 0x42) << "no clock set from a damaged date";
  }
}

TEST_F(RetrievalTest, DamagedRepliesAreRepairedWithoutLosingOrDoublingRecords) {
  config.retrieveMissing = 0;
  for (uint64_t seed : {3u, 11u, 29u}) {
    sim::BoxOptions options;
    options.faults.seed = seed;
    options.faults.corruptProbability = 0.05;
    options.faults.dropProbability = 0.05;
    BoxLink link(options);
    Fill(link, 200, kNow - 60);
    ASSERT_EQ(Run(link), RetrievalStatus::kFinished) << seed << ": " << (rec.texts.empty() ? "" : rec.texts.back());
    EXPECT_TRUE(Stored() == NewestFirst(link)) << seed;
    EXPECT_GT(link.box.counters().corrupted + link.box.counters().dropped, 5);
  }
}

TEST_F(RetrievalTest, SilentBoxAfterRetriesEndsInErrorAndKeepsTheRecords) {
  config.retryCount = 2;
  sim::BoxOptions options;
  options.faults.silentAfterReplies = 6;  // settings, last, then four steps
  BoxLink link(options);
  link.box.memory().SetSettings(sim::MakeDemoSettingsRecord(1234, kNow));
  for (int i = 20; i >= 0; --i) link.box.memory().Append(Record(kNow - 60 * i, uint8_t(i)));
  // Reopening does not wake this box.
  link.filter = [&](std::vector<uint8_t>& bytes) {
    if (link.opens > 1) bytes.clear();
  };
  SetLast("20/01/01 00:00:00");
  ASSERT_EQ(Run(link), RetrievalStatus::kError);
  EXPECT_TRUE(rec.Saw("Connexion lost ( retry: 1 / 2 )\nReconnect"));
  EXPECT_TRUE(rec.Saw("Connexion lost ( retry: 2 / 2 )\nReconnect"));
  EXPECT_FALSE(rec.Saw("Connexion lost ( retry: 3 / 2 )\nReconnect"));
  EXPECT_TRUE(rec.Saw("Receiving records error: 2\n"));
  EXPECT_EQ(store.Count(), 5);
  EXPECT_EQ(Last(), "20/01/01 00:00:00");
}

TEST_F(RetrievalTest, AbortKeepsRecordsAndLeavesLast) {
  BoxLink link;
  Fill(link, 50, kNow - 60);
  rec.onText = [&](const std::string&) { rec.abort = rec.Counters(kRecords).size() >= 10; };
  ASSERT_EQ(Run(link), RetrievalStatus::kAborted);
  EXPECT_TRUE(rec.Saw("Received blocks: Aborted"));
  ASSERT_FALSE(rec.statuses.empty());
  EXPECT_EQ(rec.statuses.back(), "Received blocks: Aborted");
  EXPECT_EQ(store.Count(), 11);
  EXPECT_EQ(Last(), "");
}

TEST_F(RetrievalTest, FutureStampsNeverBecomeLast) {
  BoxLink link;
  Fill(link, 5, kNow - 3600);
  link.box.memory().Append(Record(kNow + 30 * 86400, 9));  // a clock set a month ahead
  ASSERT_EQ(Run(link), RetrievalStatus::kFinished);
  EXPECT_EQ(store.Count(), 6);
  EXPECT_EQ(Last(), FormatLastTime(kNow - 3600));

  // A stored "last" in the future is ignored: all records come again.
  SetLast(FormatLastTime(kNow + 5 * 86400));
  ASSERT_EQ(Run(link), RetrievalStatus::kFinished);
  EXPECT_EQ(store.Count(), 6);
  EXPECT_NE(LogText().find("lies in the future, ignored"), std::string::npos);
}

TEST_F(RetrievalTest, ARepeatAnsweredWithTheRecordHeldIsNotStoredTwice) {
  BoxLink link;
  Fill(link, 10, kNow - 60);
  // The fourth record step's reply is garbled on the way (a good frame, bad record).
  int steps = 0;
  link.filter = [&](std::vector<uint8_t>& bytes) {
    if (bytes.size() > 3 && bytes[0] == 0x01 && bytes[3] == 0x44 && ++steps == 4) {
      // Turn this request into a RepeatRecord of the previous one: the box
      // answers the record already held, which must not be stored twice.
      bytes[3] = 0x46;
    }
  };
  ASSERT_EQ(Run(link), RetrievalStatus::kFinished);
  EXPECT_EQ(Stored(), NewestFirst(link));
}

TEST_F(RetrievalTest, AReplyThatIsNoRecordIsAskedForOnceMoreThenSkipped) {
  BoxLink link;
  Fill(link, 3, kNow - 7200);
  std::vector<uint8_t> bad = Record(kNow - 3600, 0x55);
  bad[bad.size() - 3] = 0x00;  // no end marker
  link.box.memory().Append(bad);
  link.box.memory().Append(Record(kNow - 60, 0x66));
  ASSERT_EQ(Run(link), RetrievalStatus::kFinished);
  EXPECT_EQ(store.Count(), 4);
  EXPECT_EQ(link.Frames(0x46).size(), 1u);
  EXPECT_NE(LogText().find("Wrong record (" + std::to_string(bad.size()) + " bytes) skipped"), std::string::npos);
}

struct WorkerFixture : RetrievalTest {
  WorkerResult RunAuto(BoxLink& link) {
    LinkSession session(link);
    RetrievalWorkerEnv env{session, config, ini, rec, rec, 0, SetHeadNumberFromSettings};
    WorkerResult result = RunAutomaticRetrieval(env);
    TakeRetrievedStore(result.outcome, store);
    return result;
  }
};

TEST_F(WorkerFixture, AutomaticExportsOnlyNewRecordsTakesThoseOfTheSecondOfLastAndMovesLastOnlyWhenWritten) {
  config.filesPeriod = kPeriodNone;
  config.baseName = "X";
  BoxLink link;
  Fill(link, 5, kNow - 4 * 3600);
  WorkerResult r = RunAuto(link);
  ASSERT_EQ(r.status, RetrievalStatus::kFinished);
  EXPECT_EQ(r.text, "Retrieve data OK.");
  RecordStore k8;
  ASSERT_TRUE(k8.LoadFromFile(dir / "out/X.k8"));
  EXPECT_EQ(k8.Count(), 5);
  EXPECT_EQ(link.Frames(0x4B).size(), 1u);  // EndSession
  EXPECT_EQ(Last(), FormatLastTime(kNow - 4 * 3600));

  // New records, one of them written later in the second of "last": only they
  // are appended, not the stop-point record again.
  link.box.memory().Append(Record(kNow - 4 * 3600, 0x71));
  link.box.memory().Append(Record(kNow - 2 * 3600, 40));
  link.box.memory().Append(Record(kNow - 3600, 41));
  ASSERT_EQ(RunAuto(link).status, RetrievalStatus::kFinished);
  RecordStore again;
  ASSERT_TRUE(again.LoadFromFile(dir / "out/X.k8"));
  EXPECT_EQ(again.Count(), 8);
  EXPECT_EQ(again.RemoveDuplicates(), 0);
  const std::string ascii = test::ReadFile(dir / "out/X.---");
  EXPECT_EQ(std::count(ascii.begin(), ascii.end(), '\n'), 8);
  EXPECT_EQ(Last(), FormatLastTime(kNow - 3600));

  // The output folder is a file: nothing written, "last" stays for next time.
  link.box.memory().Append(Record(kNow - 60, 42));
  config.outputDirectory = dir / "blocked";
  test::WriteFile(dir / "blocked", "not a folder");
  r = RunAuto(link);
  EXPECT_EQ(r.status, RetrievalStatus::kFinished);
  EXPECT_FALSE(r.filesWritten);
  EXPECT_EQ(Last(), FormatLastTime(kNow - 3600));
}

TEST_F(WorkerFixture, LastMovesOnlyOnceTheSnapshotIsWrittenAndAFailedWriteOfItIsAnError) {
  BoxLink link;
  Fill(link, 4, kNow - 60);
  LinkSession session(link);
  RetrievalWorkerEnv env{session, config, ini, rec, rec, 0, SetHeadNumberFromSettings};
  // The snapshot cannot be written: "last" stays, so the next run takes the records again.
  config.outputDirectory = dir / "blocked";
  test::WriteFile(dir / "blocked", "not a folder");
  env.config = config;
  WorkerResult r = RunInteractiveRetrieval(env);
  EXPECT_EQ(r.status, RetrievalStatus::kFinished);
  EXPECT_FALSE(r.filesWritten);
  EXPECT_EQ(r.text, "Retrieve data OK. Can't save to\"" + config.outputDirectory + "\" directory.");
  EXPECT_EQ(Last(), "");

  // The settings folder cannot be written: the run says so.
  config.outputDirectory = dir / "out/";
  const std::string unwritable = dir / "no-such-folder/SkyHarvester.ini";
  for (bool automatic : {false, true}) {
    RetrievalWorkerEnv bad{session, config, unwritable, rec, rec, 0, SetHeadNumberFromSettings};
    r = automatic ? RunAutomaticRetrieval(bad) : RunInteractiveRetrieval(bad);
    EXPECT_EQ(r.status, RetrievalStatus::kFinished);
    EXPECT_TRUE(r.filesWritten);
    ASSERT_EQ(r.problems.size(), 1u) << automatic;
    EXPECT_EQ(r.problems[0], "Can't write \"last\" to \"" + unwritable + "\"\n");
  }
  EXPECT_NE(LogText().find("Can't write \"last\" to"), std::string::npos);
  // The walk on its own, when it writes "last" itself: an error.
  link.Open();
  RetrievalEnv direct{link, config, unwritable, rec, rec, false, SetHeadNumberFromSettings, {}};
  EXPECT_EQ(Retrieve(direct).status, RetrievalStatus::kError);
  link.Close();
  EXPECT_TRUE(rec.Saw("Can't write \"last\" to \"" + unwritable + "\"\n"));

  env.config = config;
  r = RunInteractiveRetrieval(env);
  EXPECT_TRUE(r.filesWritten && r.problems.empty());
  EXPECT_EQ(Last(), FormatLastTime(kNow - 60));
}

TEST_F(WorkerFixture, InteractiveSnapshotAndBusyLink) {
  BoxLink link;
  Fill(link, 4, kNow - 60);
  LinkSession session(link);
  RetrievalWorkerEnv env{session, config, ini, rec, rec, 0, SetHeadNumberFromSettings};
  WorkerResult r = RunInteractiveRetrieval(env);
  ASSERT_EQ(r.status, RetrievalStatus::kFinished);
  EXPECT_EQ(r.text, "Retrieve data OK. Saved to\"" + config.outputDirectory + "\" directory.");
  EXPECT_EQ(rec.titles, std::vector<std::string>{"Get records"});
  EXPECT_EQ(rec.closedAfter.back(), 2000);
  bool snapshot = false;
  for (auto& e : std::filesystem::directory_iterator(config.outputDirectory)) snapshot |= e.path().extension() == ".k8";
  EXPECT_TRUE(snapshot);

  // Another user holds the link: the run is dropped and closes its display.
  ManualClock clock;
  session.SetClock(&clock);
  LinkLease other = session.Acquire(0, false);
  ASSERT_TRUE(other);
  Recorder r2;
  RetrievalWorkerEnv env2{session, config, ini, r2, r2, 0, SetHeadNumberFromSettings};
  WorkerResult dropped = RunInteractiveRetrieval(env2);
  EXPECT_FALSE(dropped.status.has_value());
  EXPECT_EQ(r2.closedAfter, std::vector<int>{0});
  EXPECT_TRUE(r2.texts.empty());
}

TEST_F(WorkerFixture, ASecondLinkUserWaitsForTheLockInsteadOfInterleaving) {
  BoxLink link;
  Fill(link, 300, kNow - 60);
  link.box.memory().SetSettings(sim::MakeDemoSettingsRecord(1234, kNow));
  std::atomic<bool> walking{false};
  std::atomic<int> stepsWhenTimeRead{-1};
  Recorder watch;
  watch.onText = [&](const std::string& t) {
    if (t == "Get previous record") walking = true;
  };
  LinkSession session(link);
  RetrievalWorkerEnv env{session, config, ini, watch, watch, 50, SetHeadNumberFromSettings};
  WorkerResult result;
  std::thread retrieval([&] { result = RunAutomaticRetrieval(env); });
  std::thread clock([&] {
    while (!walking) std::this_thread::yield();
    LinkLease lease = session.Acquire();
    ASSERT_TRUE(lease);
    stepsWhenTimeRead = static_cast<int>(link.Frames(0x44).size());
    int64_t boxTime = 0;
    EXPECT_EQ(lease.Link().GetDateTime(boxTime), ComResult::kOk);
  });
  retrieval.join();
  clock.join();
  TakeRetrievedStore(result.outcome, store);  // on the caller's thread, once the run ended
  // The clock was read after the whole walk, which lost nothing.
  EXPECT_EQ(stepsWhenTimeRead.load(), static_cast<int>(link.Frames(0x44).size()));
  EXPECT_EQ(Stored(), NewestFirst(link));
  EXPECT_EQ(link.box.counters().badChecksum, 0);
}

TEST_F(RetrievalTest, ASettingsReplyThatIsNoSettingsRecordIsAGetSettingsError) {
  BoxLink link;
  Fill(link, 3, kNow - 3600);
  // A well-framed reply whose bytes are a measurement, then a torn header.
  for (const std::vector<uint8_t>& reply : {Record(kNow, 1), std::vector<uint8_t>{0x7C, 0x10, 0x00, 0x00}}) {
    link.box.memory().SetSettings(reply);
    store.Clear();
    const std::vector<uint8_t> mine = Record(kNow - 60, 9);
    store.AddCopy(mine.data(), static_cast<uint16_t>(mine.size()));
    ASSERT_EQ(store.Count(), 1);
    rec.texts.clear();
    RetrievalOutcome out;
    EXPECT_EQ(Run(link, &out), RetrievalStatus::kError);
    EXPECT_TRUE(rec.Saw("Get settings error: 1\n"));
    EXPECT_EQ(out.store, nullptr) << "no walk, nothing to swap in";
    EXPECT_EQ(store.Header(), nullptr) << "no empty header to head the files";
    EXPECT_EQ(store.Count(), 1) << "the caller's store stays as it was";
  }
}

TEST_F(RetrievalTest, WithoutAnInstrumentNumberMissingRecordsModeIsSkippedAndSaysWhy) {
  const std::string par = dir / "par/";
  std::filesystem::create_directories(par);
  const std::string demo = std::string(SKYH_SOURCE_DIR) + "/demo/";
  std::filesystem::copy_file(demo + "ScnList.dat", par + "ScnList.dat");
  std::filesystem::copy_file(demo + "ParDesc.dat", par + "ParDesc.dat");
  config.configurationDirectory = par;
  config.retrieveMissing = 1;
  // What every instrument without a number would share.
  test::WriteFile(ini, "[head_0000]\nlast=" + FormatLastTime(kNow - 3600) + "\n");
  struct Case {
    std::string parameters;  // nothing: no file
    std::string why;
  };
  const Case cases[] = {
      {"P Latitude, IDLAT, 2, 32, 0, -9000000, 9000000, 0, 0, 0, 100000, 5, D\n",
       "Missing records mode skipped: no IDNUM parameter in \"" + par + "SPD7FF0201.par\"\n"},
      {"", "Missing records mode skipped: no IDNUM parameter in \"" + par + "SPD7FF0201.par\"\n"},
      {std::string("\x00\x01\xFFP\x02", 5), "Missing records mode skipped: no IDNUM parameter in \""},
      {"P InstrumentNumber, IDNUM, 0, 16, 0, 0, 9999, 1, 0, 0, 0, 0, D\n"
       "P Far, FAR, 70, 8, 0, 0, 1, 0, 0, 0, 0, 0, D\n",
       "Missing records mode skipped: parameter \"Far\" (offset 70, 8 bits) lies outside the settings area (64 bytes)\n"},
      {"-", "Missing records mode skipped: no parameter file \"" + par + "SPD7FF0201.par\"\n"},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(par + "SPD7FF0201.par");
    if (c.parameters != "-") test::WriteFile(par + "SPD7FF0201.par", c.parameters);
    BoxLink link;
    Fill(link, 4, kNow);
    RetrievalOutcome out;
    ASSERT_EQ(Run(link, &out), RetrievalStatus::kFinished) << c.why;
    EXPECT_EQ(store.headNumber, "") << c.why;
    EXPECT_EQ(store.Count(), 4) << "all records, none taken for known: " << c.why;
    EXPECT_FALSE(out.lastDue);
    EXPECT_NE(LogText().find(c.why), std::string::npos) << c.why << LogText();
  }
  EXPECT_EQ(test::ReadFile(ini), "[head_0000]\nlast=" + FormatLastTime(kNow - 3600) + "\n");

  // A parameter file with the number: the head number as before.
  test::WriteFile(par + "SPD7FF0201.par", "P InstrumentNumber, IDNUM, 0, 16, 0, 0, 9999, 1, 0, 0, 0, 0, D\n");
  BoxLink link;
  Fill(link, 2, kNow);
  ASSERT_EQ(Run(link), RetrievalStatus::kFinished);
  EXPECT_EQ(store.headNumber, "1234");
}

}  // namespace
}  // namespace skyh
