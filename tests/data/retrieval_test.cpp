// The retrieval walk and its workers against the in-process simulated box.
#include "core/clock_sync.h"
#include "core/ini_file.h"
#include "data/retrieval_workers.h"
#include "demo_instrument.h"
#include "settings/instrument_info.h"
#include "store_fixtures.h"
#include "support/box_link.h"
#include "support/memory_link.h"
#include "support/progress_recorder.h"
#include "support/test_common.h"

namespace skyh {
namespace {

using test::BoxLink;

constexpr int64_t kNow = 1764936000, kTen = kNow - 7200;  // 2025-12-05 12:00:00 and 10:00:00 UTC

constexpr auto kRecords = ProgressCounter::Kind::kRecords;

std::vector<uint8_t> Record(int64_t t, uint8_t fill) {
  return sim::MakeRecord(sim::kDemoUnknownType, t > 0 ? sim::PackTime(t) : 0, std::vector<uint8_t>(30, fill));
}

class RetrievalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GetScenarioList().Load(std::string(SKYH_SOURCE_DIR) + "/demo/ScnList.dat");
    config.configurationDirectory = std::string(SKYH_SOURCE_DIR) + "/demo/";
    config.outputDirectory = dir / "out/";
    config.retrieveLimited = 0;
  }
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
  // A "last" as a program that keeps no fingerprint leaves it.
  void SetLast(const std::string& value) {
    CIniFile(ini).WriteStrings({{"head_1234", "last", value}, {"head_1234", "last_crc", ""}});
  }
  // Bytes of the box's records, newest first.
  static std::vector<std::string> NewestFirst(const BoxLink& link) {
    std::vector<std::string> out;
    for (const auto& r : link.box.memory().records()) out.emplace(out.begin(), r.begin(), r.end());
    return out;
  }

  test::TestClock clock{kNow};
  test::TempDir dir;
  std::string ini = dir / "SkyHarvester.ini";
  test::ScopedLog log{dir / "SkyHarvester.log"};
  CConfiguration config;
  RecordStore store;
  test::RecordingProgress rec;
};

TEST_F(RetrievalTest, MissingRecordsStopAtLastAndDayLimitTakesTheLaterPoint) {
  // "last", the day limit (0: none), the hourly records from 10:00 down with the
  // stop point's. The first record at or before "last"; an unreadable "last"
  // leaves the day limit; with both, the later point ends the walk.
  for (auto [last, maxDays, count, reason] : {std::tuple{"25/12/05 01:30:00", 0, 10, StopReason::kKnownRecord},
                                              {"25/13/01 12:00:00", 1, 25, StopReason::kDayLimit},
                                              {"25/12/04 20:00:00", 1, 15, StopReason::kKnownRecord},
                                              {"25/12/03 20:00:00", 1, 25, StopReason::kDayLimit}}) {
    SCOPED_TRACE(last);
    BoxLink link;
    Fill(link, 48, kTen);
    SetLast(last);
    config.retrieveLimited = maxDays > 0;
    config.retrieveMaxDays = maxDays;
    RetrievalOutcome out;
    ASSERT_EQ(Run(link, &out), RetrievalStatus::kFinished);
    EXPECT_EQ(out.stopReason, reason);
    EXPECT_EQ(store.Count(), count);
    EXPECT_EQ(Last(), "25/12/05 10:00:00");
  }
  EXPECT_NE(log.Text().find("Last = \"25/12/05 01:30:00\""), std::string::npos);
  EXPECT_NE(log.Text().find("Can't convert last time \"25/13/01 12:00:00\""), std::string::npos);
}

TEST_F(RetrievalTest, UntimedAndEqualTimeRecordsAndAnEmptyBox) {
  config.retrieveLimited = 1;
  BoxLink link;
  sim::BoxMemory& m = link.box.memory();
  m.SetSettings(sim::MakeDemoSettingsRecord(1234, kTen));
  m.Append(Record(kTen - 3 * 86400, 1));
  m.Append(Record(-1, 2));  // no time stamp, older than the limit's neighbours
  m.Append(Record(kTen - 3600, 3));
  m.Append(Record(kTen - 3600, 4));  // same time, other bytes
  m.Append(Record(-1, 5));
  m.Append(Record(kTen, 6));
  ASSERT_EQ(Run(link), RetrievalStatus::kFinished);
  EXPECT_EQ(store.Count(), 6);  // untimed records never end the walk; the old one does and is kept

  BoxLink empty;
  empty.box.memory().SetSettings(sim::MakeDemoSettingsRecord(1234, kTen));
  RetrievalOutcome out;
  ASSERT_EQ(Run(empty, &out), RetrievalStatus::kFinished);
  EXPECT_EQ(out.stopReason, StopReason::kEmpty);
  EXPECT_NE(store.Header(), nullptr);
}

TEST_F(RetrievalTest, RecordsWrittenLaterInTheSecondOfLastAreTakenByTheirFingerprint) {
  BoxLink link;
  Fill(link, 5, kTen);
  ASSERT_EQ(Run(link), RetrievalStatus::kFinished);

  // Two more records within the same second, after that retrieval: both come,
  // and the walk ends at the record it had.
  link.box.memory().Append(Record(kTen, 0x61));
  link.box.memory().Append(Record(kTen, 0x62));
  RetrievalOutcome out;
  ASSERT_EQ(Run(link, &out), RetrievalStatus::kFinished);
  auto all = NewestFirst(link);
  EXPECT_EQ(test::RawList(store), std::vector<std::string>(all.begin(), all.begin() + 3));
  EXPECT_TRUE(out.endedAtStopRecord);
  const auto& newest = link.box.memory().records().back();  // written last
  EXPECT_EQ(CIniFile(ini).GetString("head_1234", "last_crc", ""),
            Sprintf("%08X", RecordFingerprint(newest.data(), newest.size())));
  ASSERT_EQ(Run(link), RetrievalStatus::kFinished);
  EXPECT_EQ(store.Count(), 0);

  // An older record ends the walk even when the fingerprinted one is gone.
  SetLast("25/12/05 10:00:00");
  CIniFile(ini).WriteString("head_1234", "last_crc", "0BADF00D");
  link.box.memory().Append(Record(kTen + 60, 0x63));
  ASSERT_EQ(Run(link, &out), RetrievalStatus::kFinished);
  EXPECT_EQ(store.Count(), 5);  // 10:01, the three of 10:00, then 09:00
}

bool g_synchronised = false;
bool FakeClockSync() { return g_synchronised; }

TEST_F(RetrievalTest, ClockIsSetOnlyBeyondTheBoundAndWithTheGuardOnlyWhenSynchronised) {
  SetClockSyncFunctionForTesting(&FakeClockSync);
  config.retrieveMissing = 0;
  config.autoSetTime = 1;
  config.autoSetTimeMax = 10;
  const std::string why = "Computer clock not synchronised: the photometer's clock was left unchanged.";
  // Offset, guard, synchronised, set. -7200: a computer booted with the time of its last shutdown.
  for (auto [offset, guard, synchronised, set] : {std::tuple{10, 0, false, false},
                                                  {-10, 0, false, false},
                                                  {11, 0, false, true},
                                                  {-11, 0, false, true},
                                                  {-7200, 1, false, false},
                                                  {-7200, 1, true, true},
                                                  {-7200, 0, false, true}}) {
    SCOPED_TRACE(Sprintf("%d %d %d", offset, guard, synchronised));
    config.autoSetTimeNeedsSync = guard;
    g_synchronised = synchronised;
    sim::BoxOptions options;
    options.clockOffsetSeconds = offset;
    BoxLink link(options, [] { return kNow; });
    Fill(link, 3, kNow - 60);
    const size_t logBefore = log.Text().size();
    ASSERT_EQ(Run(link), RetrievalStatus::kFinished);
    EXPECT_EQ(link.box.clockOffsetSeconds(), set ? 0 : offset);
    const std::string logged = log.Text().substr(logBefore);
    EXPECT_EQ(logged.find(why) != std::string::npos, guard && !set) << logged;
    EXPECT_EQ(logged.find(Sprintf("Difference bewteen Photometer and PC is %d seconds.", offset)) != std::string::npos,
              set);
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
    EXPECT_TRUE(test::RawList(store) == NewestFirst(link)) << seed;
    EXPECT_GT(link.box.counters().corrupted + link.box.counters().dropped, 5);
  }
}

TEST_F(RetrievalTest, SilentBoxAfterRetriesEndsInErrorAndKeepsTheRecords) {
  config.retryCount = 2;
  sim::BoxOptions options;
  options.faults.silentAfterReplies = 6;  // settings, last, then four steps
  BoxLink link(options);
  Fill(link, 21, kNow);
  // Reopening does not wake this box.
  link.filter = [&](std::vector<uint8_t>& bytes) {
    if (link.opens > 1) bytes.clear();
  };
  SetLast("20/01/01 00:00:00");
  ASSERT_EQ(Run(link), RetrievalStatus::kError);
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
  EXPECT_EQ(rec.statuses, std::vector<std::string>{"Received blocks: Aborted"});
  EXPECT_EQ(store.Count(), 11);
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
  EXPECT_NE(log.Text().find("lies in the future, ignored"), std::string::npos);
}

TEST_F(RetrievalTest, ARepeatAnsweredWithTheRecordHeldIsNotStoredTwice) {
  BoxLink link;
  Fill(link, 10, kNow - 60);
  int steps = 0;
  link.filter = [&](std::vector<uint8_t>& bytes) {
    if (bytes.size() > 3 && bytes[0] == 0x01 && bytes[3] == 0x44 && ++steps == 4) {
      // Turn this request into a RepeatRecord of the previous one: the box
      // answers the record already held, which must not be stored twice.
      bytes[3] = 0x46;
    }
  };
  ASSERT_EQ(Run(link), RetrievalStatus::kFinished);
  EXPECT_EQ(test::RawList(store), NewestFirst(link));
  ASSERT_FALSE(rec.Counters(kRecords).empty());
  EXPECT_LE(rec.Counters(kRecords).back().bytes, link.ReceivedBytes()) << "the walk's last reply carries no record";
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
  EXPECT_NE(log.Text().find("Wrong record (" + std::to_string(bad.size()) + " bytes) skipped"), std::string::npos);
}

using WorkerFixture = RetrievalTest;

TEST_F(WorkerFixture, AnUnwritableLastIsAProblemOfTheRunAndAnErrorOfTheWalk) {
  BoxLink link;
  Fill(link, 4, kNow - 60);
  LinkSession session(link);
  const std::string unwritable = dir / "no-such-folder/SkyHarvester.ini";
  for (bool automatic : {false, true}) {
    RetrievalWorkerEnv bad{session, config, unwritable, rec, rec, 0, SetHeadNumberFromSettings};
    WorkerResult r = automatic ? RunAutomaticRetrieval(bad) : RunInteractiveRetrieval(bad);
    EXPECT_TRUE(r.status == RetrievalStatus::kFinished && r.filesWritten);
    ASSERT_EQ(r.problems.size(), 1u) << automatic;
    EXPECT_EQ(r.problems[0], "Can't write \"last\" to \"" + unwritable + "\"\n");
  }
  // The walk on its own, when it writes "last" itself: an error.
  link.Open();
  RetrievalEnv direct{link, config, unwritable, rec, rec, false, SetHeadNumberFromSettings, {}};
  EXPECT_EQ(Retrieve(direct).status, RetrievalStatus::kError);
  link.Close();
  EXPECT_TRUE(rec.Saw("Can't write \"last\" to \"" + unwritable + "\"\n"));
}

// Another link user (the time dialog, a settings send) is kept out from the
// first step of the walk to its last, and gets the link once the run ends.
TEST_F(WorkerFixture, ARunHoldsTheLinkForItsWholeWalk) {
  BoxLink link;
  Fill(link, 30, kNow - 60);
  LinkSession session(link);
  int steps = 0, lent = 0;
  rec.onText = [&](const std::string& text) {
    if (text.rfind("Received blocks: ", 0) != 0) return;  // a step of the walk
    ++steps;
    lent += static_cast<bool>(session.Acquire(0));
  };
  RetrievalWorkerEnv env{session, config, ini, rec, rec, 0, SetHeadNumberFromSettings};
  EXPECT_EQ(RunAutomaticRetrieval(env).status, RetrievalStatus::kFinished);
  EXPECT_GE(steps, 29);
  EXPECT_EQ(lent, 0) << "the link was lent out in the middle of the walk";
  EXPECT_TRUE(session.Acquire(0)) << "given back";

  // Held by another user: the run is dropped and closes its display at once.
  ManualClock clock;
  session.SetClock(&clock);
  LinkLease other = session.Acquire(0, false);
  test::RecordingProgress dropped;
  RetrievalWorkerEnv busy{session, config, ini, dropped, dropped, 0, SetHeadNumberFromSettings};
  EXPECT_FALSE(RunInteractiveRetrieval(busy).status.has_value());
  EXPECT_EQ(dropped.closedAfter, std::vector<int>{0});
  EXPECT_TRUE(dropped.texts.empty());
}

TEST_F(RetrievalTest, ASettingsReplyThatIsNoSettingsRecordIsAGetSettingsError) {
  BoxLink link;
  Fill(link, 3, kNow - 3600);
  // A well-framed reply whose bytes are a measurement, then a torn header.
  for (const std::vector<uint8_t>& reply : {Record(kNow, 1), std::vector<uint8_t>{0x7C, 0x10, 0x00, 0x00}}) {
    link.box.memory().SetSettings(reply);
    store.Clear();
    test::AddBytes(store, Record(kNow - 60, 9));
    EXPECT_EQ(Run(link), RetrievalStatus::kError);
    EXPECT_TRUE(rec.Saw("Get settings error: 1\n"));
    EXPECT_EQ(store.Header(), nullptr) << "no empty header to head the files";
    EXPECT_EQ(store.Count(), 1) << "the caller's store stays as it was";
  }
}

TEST_F(RetrievalTest, WithoutAnInstrumentNumberMissingRecordsModeIsSkippedAndSaysWhy) {
  const std::string par = dir / "par/";
  std::filesystem::create_directories(par);
  for (const char* f : {"ScnList.dat", "ParDesc.dat"})
    std::filesystem::copy_file(config.configurationDirectory + f, par + f);
  config.configurationDirectory = par;
  config.retrieveMissing = 1;
  // What every instrument without a number would share.
  test::WriteFile(ini, "[head_0000]\nlast=" + FormatLastTime(kNow - 3600) + "\n");
  // The parameter file ("-": none), and why.
  const std::pair<std::string, std::string> cases[] = {
      {"P Latitude, IDLAT, 2, 32, 0, -9000000, 9000000, 0, 0, 0, 100000, 5, D\n",
       "Missing records mode skipped: no IDNUM parameter in \"" + par + "SPD7FF0201.par\"\n"},
      {"P InstrumentNumber, IDNUM, 0, 16, 0, 0, 9999, 1, 0, 0, 0, 0, D\n"
       "P Far, FAR, 70, 8, 0, 0, 1, 0, 0, 0, 0, 0, D\n",
       "Missing records mode skipped: parameter \"Far\" (offset 70, 8 bits) lies outside the settings area (64 "
       "bytes)\n"},
      {"-", "Missing records mode skipped: no parameter file \"" + par + "SPD7FF0201.par\"\n"},
  };
  for (const auto& [parameters, why] : cases) {
    SCOPED_TRACE(why);
    std::filesystem::remove(par + "SPD7FF0201.par");
    if (parameters != "-") test::WriteFile(par + "SPD7FF0201.par", parameters);
    BoxLink link;
    Fill(link, 4, kNow);
    ASSERT_EQ(Run(link), RetrievalStatus::kFinished);
    EXPECT_EQ(store.headNumber, "");
    EXPECT_EQ(store.Count(), 4) << "all records, none taken for known";
    EXPECT_NE(log.Text().find(why), std::string::npos) << log.Text();
  }
  EXPECT_EQ(test::ReadFile(ini), "[head_0000]\nlast=" + FormatLastTime(kNow - 3600) + "\n");
}

}  // namespace
}  // namespace skyh
