// Faults of the plain exchange rules that the engine avoids, and each
// command's code, payload, time-out and attempts.
#include "protocol/engine_test_util.h"
#include "support/test_common.h"

namespace skyh {
namespace {

using namespace test;

TEST(MendedFaults, LargestRecordIsRetrievedAndTheNextOneToo) {
  MemoryLink link;
  LearnNoEcho(link);
  const Bytes largest = PatternBytes(kMaxRecordBytes, 3);
  const Bytes next = PatternBytes(200, 9);
  link.SetResponder([&](const WireFrame& f) {
    if (f.command == kCmdGetLastRecord) return BuildFrame(f.sequence, 0xC3, largest);
    // One byte longer than the largest: dropped, and the good frame after it read.
    return Concat(BuildFrame(f.sequence, 0xC4, Bytes(kMaxRecordBytes + 1, 0x3C)), BuildFrame(f.sequence, 0xC4, next));
  });
  Bytes record;
  ASSERT_EQ(link.GetLastRecord(record), ComResult::kOk);
  EXPECT_EQ(record, largest);
  ASSERT_EQ(link.GetPreviousRecord(record), ComResult::kOk);
  EXPECT_EQ(record, next);
}

TEST(MendedFaults, BareEotOrChecksumWithoutCommandByteIsNoReply) {
  MemoryLink link;
  LearnNoEcho(link);
  // A reply cut short, then SOH, sequence, STX and EOT with nothing decoded:
  // the command byte of the cut reply is still in the buffer. Then STX, ETB
  // and four characters: no command byte either.
  const Bytes bareEot = {0x01, 0x21, 0x02, 0xC3, '7', 0x01, 0x21, 0x02, 0x04};
  Reply(link, Concat(bareEot, BuildFrame(0x21, 0xC3, {0x7C, 0x01})));
  Bytes record;
  ASSERT_EQ(link.GetLastRecord(record), ComResult::kOk);
  EXPECT_EQ(record, (Bytes{0x7C, 0x01}));
  for (const Bytes& reply : {bareEot, Bytes{0x01, 0x21, 0x02, 0x17, 'C', '3', '0', '0', 0x03}}) {
    Reply(link, reply);
    EXPECT_EQ(link.GetLastRecord(record), ComResult::kTimeout);
  }
}

TEST(MendedFaults, StreamOfForeignFramesCannotOutliveTheTimeOut) {
  MemoryLink link;
  LearnNoEcho(link);
  const Bytes foreign = BuildFrame(0x30, kCmdGetDateTime, {1, 2, 3, 4, 5, 6});
  for (int i = 1; i <= 150; ++i) link.ReceiveAfter(200u * i, foreign);  // 30 s of chatter
  const uint64_t start = link.Manual().NowMs();
  Bytes record;
  EXPECT_EQ(link.GetLastRecord(record), ComResult::kTimeout);
  EXPECT_LE(link.Manual().NowMs() - start, 5000u);
  EXPECT_GT(link.PendingDeliveries(), 100u);
}

TEST(MendedFaults, EchoOfTheRequestIsNotTheReply) {
  // (An echoing line is run with every command below.)
  // Without echo, an acknowledgement equal to the request is the answer once
  // a data command has shown that the line does not echo: on a fresh line
  // the version is asked first, and nothing waits for a time-out.
  MemoryLink plain;
  plain.SetResponder([](const WireFrame& f) {
    if (f.command == kCmdGetFirmwareVersion) return BuildFrame(f.sequence, f.command, {2, 1, 0});
    return BuildFrame(f.sequence, f.command, f.payload);
  });
  ASSERT_TRUE(plain.Open());
  const uint64_t start = plain.Manual().NowMs();
  EXPECT_EQ(plain.ResetBoard(), ComResult::kOk);
  EXPECT_EQ(plain.EndSession(), ComResult::kOk);
  ASSERT_EQ(plain.Frames().size(), 3u) << "learnt once per Open";
  EXPECT_EQ(plain.Frames()[0].command, kCmdGetFirmwareVersion);
  EXPECT_EQ(plain.Manual().NowMs(), start);
}

// Every command of the set; the code, payload, time-out and attempts on a
// silent link where the command has no other test of them (attempts 0).
struct Command {
  const char* name;
  std::function<ComResult(MemoryLink&)> run;
  uint8_t code = 0;
  Bytes payload = {};
  uint32_t timeoutMs = 3000;
  size_t attempts = 0;
};

std::vector<Command> EveryCommand() {
  static const uint8_t kCode[4] = {0x00, 0x01, 0x00, 0xEE};
  static const uint8_t kSettings[8] = {};
  static Bytes out;
  static int64_t time;
  static uint8_t a, b, c;
  static uint16_t block;
  static int32_t keyLength;
  return {
      {"GetDateTime", [](MemoryLink& l) { return l.GetDateTime(time); }},
      {"SetDateTime", [](MemoryLink& l) { return l.SetDateTime(1741356309); }},
      {"GetLastRecord", [](MemoryLink& l) { return l.GetLastRecord(out); }, 0x43, {}, 5000, 1},
      {"GetPreviousRecord", [](MemoryLink& l) { return l.GetPreviousRecord(out); }},
      {"RepeatRecord", [](MemoryLink& l) { return l.RepeatRecord(out); }, 0x46, {}, 3000, 2},
      {"GetSettings", [](MemoryLink& l) { return l.GetSettings(out); }},
      {"WriteSettings", [](MemoryLink& l) { return l.WriteSettings(kSettings, 2, 4); }},
      {"EndSession", [](MemoryLink& l) { return l.EndSession(); }, 0x4B, {}, 3000, 2},
      {"ResetBoard", [](MemoryLink& l) { return l.ResetBoard(); }, 0x40, {}, 3000, 2},
      {"ClearFlash", [](MemoryLink& l) { return l.ClearFlash(); }, 0x4D, {0x00}, 3000, 2},
      {"GetFirmwareVersion", [](MemoryLink& l) { return l.GetFirmwareVersion(a, b, c, 0); }},
      {"GetBootInfo", [](MemoryLink& l) { return l.GetBootInfo(a, block, b, out, keyLength); }},
      {"EraseCode", [](MemoryLink& l) { return l.EraseCode(); }, 0x22, {}, 20000, 2},
      {"WriteCode", [](MemoryLink& l) { return l.WriteCode(kCode, 4); }, 0x23, {0x00, 0x01, 0x00, 0xEE}, 3000, 6},
      {"WriteChecksum", [](MemoryLink& l) { return l.WriteChecksum(); }, 0x28, {}, 3000, 2},
      {"VerifyApplication", [](MemoryLink& l) { return l.VerifyApplication(); }, 0x26, {}, 20000, 2},
      {"VerifyBootBlock", [](MemoryLink& l) { return l.VerifyBootBlock(); }, 0x29, {}, 10000, 2},
  };
}

TEST(CommandSet, CodesTimeOutsAndAttempts) {
  for (const Command& c : EveryCommand()) {
    if (!c.attempts) continue;
    SCOPED_TRACE(c.name);
    MemoryLink link;
    LearnNoEcho(link);
    const uint64_t start = link.Manual().NowMs();
    EXPECT_EQ(c.run(link), ComResult::kTimeout);
    ASSERT_EQ(link.Frames().size(), c.attempts);
    EXPECT_EQ(link.Frames()[0].command, c.code);
    EXPECT_EQ(link.Frames()[0].payload, c.payload);
    const uint64_t perAttempt = (link.Manual().NowMs() - start) / c.attempts;
    EXPECT_TRUE(perAttempt <= c.timeoutMs && perAttempt >= c.timeoutMs - 100) << perAttempt;
  }
  // The link's default time-out when the command gives none.
  MemoryLink link;
  LearnNoEcho(link);
  link.SetDefaultTimeout(10000);
  const uint64_t start = link.Manual().NowMs();
  EXPECT_EQ(link.SendCommand(kCmdGetSettings, nullptr, 0, 0, 0), ComResult::kTimeout);
  EXPECT_GE(link.Manual().NowMs() - start, 9900u);
}

TEST(MendedFaults, DeadBoxBehindAnEchoingLineFailsEveryCommand) {
  for (const Command& c : EveryCommand()) {
    SCOPED_TRACE(c.name);
    MemoryLink link;
    link.SetEcho(true);  // the adapter answers, the box does not
    ASSERT_TRUE(link.Open());
    EXPECT_NE(c.run(link), ComResult::kOk);
    EXPECT_NE(c.run(link), ComResult::kOk) << "and again";
  }

  // What a live box on a plain line taught is forgotten when the link is
  // opened again: the line may now be an echoing one with a dead box.
  MemoryLink link;
  AnswerWith(link, {2, 1, 0});
  ASSERT_TRUE(link.Open());
  ASSERT_EQ(link.ClearFlash(), ComResult::kOk);
  link.Close();
  link.SetResponder(nullptr);
  link.SetEcho(true);
  ASSERT_TRUE(link.Open());
  EXPECT_EQ(link.EndSession(), ComResult::kTimeout);
  EXPECT_EQ(link.ClearFlash(), ComResult::kTimeout);
}

TEST(MendedFaults, LiveBoxBehindAnEchoingLineAnswersEveryCommand) {
  for (const Command& c : EveryCommand()) {
    SCOPED_TRACE(c.name);
    MemoryLink link;
    link.SetEcho(true);
    // Acknowledgements and "no record" carry the request's own bytes.
    link.SetResponder([](const WireFrame& f) {
      switch (f.command) {
        case kCmdGetDateTime: return BuildFrame(f.sequence, f.command, {25, 3, 7, 14, 5, 9});
        case kCmdGetFirmwareVersion: return BuildFrame(f.sequence, f.command, {2, 1, 0});
        case kCmdGetBootInfo: return BuildFrame(f.sequence, f.command, {0});
        case kCmdGetSettings: return BuildFrame(f.sequence, f.command, {0x7C, 1});
        case kCmdGetLastRecord:
        case kCmdRepeatRecord: return BuildFrame(f.sequence, f.command | 0x80, {0x10, 0x20});
        default: return BuildFrame(f.sequence, f.command, f.payload);
      }
    });
    ASSERT_TRUE(link.Open());
    const uint64_t start = link.Manual().NowMs();
    const bool noRecord = std::string(c.name) == "GetPreviousRecord";
    EXPECT_EQ(c.run(link), noRecord ? ComResult::kNoRecord : ComResult::kOk);
    EXPECT_TRUE(noRecord || link.Manual().NowMs() == start) << "no wait for a time-out";
  }
}

TEST(MendedFaults, ALongReplyOnASlowLineIsWaitedForWhileItsBytesCome) {
  // A 2000-byte record at 9600 baud: 4012 bytes, 4.2 s, longer than the
  // 3 s time-out, in pieces as the line delivers them.
  const Bytes record = PatternBytes(2000, 6);
  MemoryLink link;
  LearnNoEcho(link);
  link.SetWriteHook([&](MemoryPump& l, const uint8_t*, uint16_t) {
    if (l.PendingDeliveries()) return;
    const Bytes frame = BuildFrame(link.Sequence(), 0xC4, record);
    for (size_t at = 0, i = 1; at < frame.size(); at += 96, ++i)
      l.ReceiveAfter(i * 100, Bytes(frame.begin() + at, frame.begin() + std::min(frame.size(), at + 96)));
  });
  Bytes got;
  ASSERT_EQ(link.GetPreviousRecord(got), ComResult::kOk);
  EXPECT_TRUE(got == record && link.Frames().size() == 1) << "no second attempt";

  // A pause longer than the time-out inside the frame still ends the wait.
  MemoryLink paused;
  LearnNoEcho(paused);
  Bytes frame = BuildFrame(paused.Sequence(), kCmdRepeatRecord | 0x80, record);
  paused.ReceiveAfter(100, Bytes(frame.begin(), frame.begin() + 1000));
  paused.ReceiveAfter(3500, Bytes(frame.begin() + 1000, frame.end()));
  EXPECT_EQ(paused.RepeatRecord(got), ComResult::kTimeout);

  // Bytes of an endless frame for this command keep it alive only up to the cap.
  MemoryLink endless;
  LearnNoEcho(endless);
  endless.ReceiveAfter(10, {0x01, endless.Sequence(), 0x02, kCmdRepeatRecord | 0x80});
  for (int i = 1; i <= 1000; ++i) endless.ReceiveAfter(10 + 100u * i, Bytes(20, '7'));  // 100 s of digits
  const uint64_t start = endless.Manual().NowMs();
  EXPECT_EQ(endless.RepeatRecord(got), ComResult::kTimeout);
  const uint64_t took = endless.Manual().NowMs() - start;
  EXPECT_TRUE(took >= 40000u && took <= 2 * 58000u) << "two attempts, each beyond the largest record's 34 s";
}

TEST(MendedFaults, ALongRequestsLineTimeDoesNotCountAgainstItsReply) {
  // A 2048-byte code block is 4112 bytes, 4.3 s at 9600 baud; the box
  // answers 1 s after the last byte has arrived.
  Bytes payload(2048 + 3, 0x5A);
  for (uint32_t bitRate : {9600u, 0u}) {
    MemoryLink link;
    link.SetLineBitRate(bitRate);
    LearnNoEcho(link);
    link.SetResponder([&](const WireFrame& f) {
      link.ReceiveAfter(4284 + 1000, BuildFrame(f.sequence, f.command | 0x80, {}));
      return Bytes{};
    });
    // A link whose Write returns once the bytes are gone gets no extra
    // time: the first attempt is over before the answer.
    const ComResult result = link.WriteCode(payload.data(), static_cast<uint16_t>(payload.size()));
    EXPECT_TRUE(bitRate ? result == ComResult::kOk && link.Frames().size() == 1 : link.Frames().size() >= 2);
  }
}

// A reply that comes late is no answer to the next command, but still
// answers the retry of its own, which carries the same number.
TEST(MendedFaults, LateReplyAnswersOnlyItsOwnNumber) {
  MemoryLink link;
  LearnNoEcho(link);
  const Bytes r1 = PatternBytes(40, 1), r2 = PatternBytes(40, 2);
  int step = 0;
  link.SetResponder([&](const WireFrame& f) { return BuildFrame(f.sequence, 0xC4, ++step == 1 ? r1 : r2); });
  Bytes record;
  ASSERT_EQ(link.GetPreviousRecord(record), ComResult::kOk);
  EXPECT_EQ(record, r1);
  // The box's answer to an earlier retransmission arrives after all.
  link.Receive(BuildFrame(link.Frames().back().sequence, 0xC4, r1));
  ASSERT_EQ(link.GetPreviousRecord(record), ComResult::kOk);
  EXPECT_EQ(record, r2);
  EXPECT_EQ(link.QueuedReceiveBytes(), 0u);

  // The box answers the first frame just after its time-out and ignores the retry.
  MemoryLink late;
  LearnNoEcho(late);
  bool answered = false;
  late.SetSilenceHook([&](MemoryPump& l) {
    if (l.Frames().size() == 1 && !std::exchange(answered, true))
      l.Receive(BuildFrame(l.Frames()[0].sequence, 0xC6, r1));
  });
  ASSERT_EQ(late.RepeatRecord(record), ComResult::kOk);
  EXPECT_EQ(record, r1);
  EXPECT_EQ(late.Frames().size(), 2u);
}

}  // namespace
}  // namespace skyh
