#include <gtest/gtest.h>

#include "control_box.h"
#include "wire_helpers.h"

namespace skyh::sim {
namespace {

using test::Bytes;
using test::Request;

struct ScriptRun {
  Bytes wire;  // everything the host received
  BoxCounters counters;
};

// A box on the test's clock with `records` stored records of `bodySize` bytes.
ControlBox MakeBox(const FaultOptions& faults, int64_t& ms, int records = 0, size_t bodySize = 1) {
  BoxOptions o;
  o.faults = faults;
  ControlBox box(o, [&ms] { return ms; }, [] { return int64_t{1700000000}; });
  box.memory().SetSettings(test::Record(0x7C, 0, Bytes(30, 0)));
  for (int i = 0; i < records; ++i)
    box.memory().Append(test::Record(0x11, test::Packed(2025, 2, 3, 4, i, 0), Bytes(bodySize, static_cast<uint8_t>(i))));
  return box;
}

// Walks a memory of 40 records with a fixed request script under `faults`.
ScriptRun Script(const FaultOptions& faults) {
  int64_t ms = 0;
  ControlBox box = MakeBox(faults, ms, 40, 20);
  ScriptRun run;
  uint8_t seq = 0x21;
  box.Receive(Request(seq++, 0x43));
  for (int i = 0; i < 45; ++i) {
    box.Receive(Request(seq++, 0x44));
    ms += 10000;
    Bytes out = box.TakeOutput();
    run.wire.insert(run.wire.end(), out.begin(), out.end());
  }
  run.counters = box.counters();
  return run;
}

TEST(FaultInjection, SameSeedSameFaultsOtherSeedOthers) {
  FaultOptions f;
  f.seed = 42;
  f.corruptProbability = 0.2;
  f.dropProbability = 0.1;
  f.lateProbability = 0.1;
  const ScriptRun a = Script(f), b = Script(f);
  EXPECT_EQ(a.wire, b.wire);
  EXPECT_TRUE(a.counters.corrupted > 0 && a.counters.dropped > 0 && a.counters.late > 0);
  EXPECT_EQ(a.counters.corrupted, b.counters.corrupted);
  f.seed = 43;
  EXPECT_NE(Script(f).wire, a.wire);

  // Corrupted replies stay frames but fail their checksum; the rest pass.
  int bad = 0, good = 0;
  for (const test::Reply& r : test::Replies(a.wire)) {
    EXPECT_TRUE(r.complete);
    (r.checksumOk ? good : bad)++;
  }
  EXPECT_EQ(bad, a.counters.corrupted);
  EXPECT_EQ(good + bad + a.counters.dropped, a.counters.replies);

  const ScriptRun clean = Script(FaultOptions{});
  EXPECT_EQ(clean.counters.corrupted + clean.counters.dropped + clean.counters.late, 0);
  EXPECT_EQ(test::Replies(clean.wire).size(), 46u);
}

TEST(FaultInjection, EchoAndLateRepliesFollowTheClock) {
  int64_t ms = 0;
  FaultOptions f;
  f.echoRequests = true;
  f.lateProbability = 1.0;
  f.lateDelayMs = 3500;
  ControlBox box = MakeBox(f, ms);
  const Bytes req = Request(0x21, 0x3E);
  box.Receive(req);
  EXPECT_EQ(box.TakeOutput(), req);  // the adapter's echo comes at once
  ms = 3499;
  EXPECT_TRUE(box.TakeOutput().empty());
  ms = 3500;
  const test::Reply late = test::OneReply(box.TakeOutput());
  EXPECT_TRUE(late.cmd == 0x3E && late.checksumOk);
}

TEST(FaultInjection, LineDropsOnceWhenReplyNIsOutAndLineSpeedFollowsTheHost) {
  int64_t ms = 0;
  FaultOptions f;
  f.hangUpAfterReplies = 2;
  BoxOptions o;
  o.faults = f;
  o.baud = 10000;  // one byte a millisecond
  ControlBox box(o, [&ms] { return ms; }, [] { return int64_t{1700000000}; });
  box.memory().SetSettings(test::Record(0x7C, 0, Bytes(30, 0)));
  box.Receive(Request(0x21, 0x3E));
  ms = 1000;
  EXPECT_EQ(test::Replies(box.TakeOutput()).size(), 1u);
  EXPECT_FALSE(box.TakeHangUp());
  box.Receive(Request(0x22, 0x3E));
  const int64_t lastByte = box.NextOutputDueMs() + 15;  // a 16-byte frame
  ms = lastByte - 1;
  Bytes out = box.TakeOutput();
  EXPECT_FALSE(box.TakeHangUp());  // its last byte is still on the way
  ms = lastByte;
  const Bytes rest = box.TakeOutput();
  out.insert(out.end(), rest.begin(), rest.end());
  EXPECT_EQ(test::OneReply(out).seq, 0x22);
  EXPECT_TRUE(box.TakeHangUp());
  EXPECT_FALSE(box.TakeHangUp());
  box.Reopen();
  for (uint8_t seq = 0x23; seq < 0x28; ++seq) box.Receive(Request(seq, 0x3E));
  ms += 100000;
  EXPECT_EQ(test::Replies(box.TakeOutput()).size(), 5u);
  EXPECT_FALSE(box.TakeHangUp());

  // The host slows the line to 1000 baud, 8N2: 11 bits a byte.
  box.SetLine(1000, 11);
  box.Receive(Request(0x30, 0x3E));
  EXPECT_EQ(box.NextOutputDueMs(), ms + 10 * 11 + 11);  // after the 10-byte request, the first byte
  ControlBox unmodelled;  // no line speed modelled: answers at once, whatever the host sets
  unmodelled.SetLine(1000, 11);
  unmodelled.Receive(Request(0x21, 0x3E));
  EXPECT_FALSE(unmodelled.TakeOutput().empty());
}

}  // namespace
}  // namespace skyh::sim
