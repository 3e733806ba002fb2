#include "link/link_session.h"

#include "support/box_link.h"
#include "support/test_common.h"

namespace skyh {
namespace {

TEST(LinkSessionTest, ALeaseLocksOpensAndOnReleaseEndsTheSessionAndCloses) {
  test::BoxLink link;
  LinkSession session(link);
  ManualClock clock;
  session.SetClock(&clock);
  {
    LinkLease first = session.Acquire(LinkSession::kWorkerWaitMs);
    ASSERT_TRUE(first);
    EXPECT_TRUE(link.IsConnected());
    // A second user waits the whole time on the session's clock, then gives up.
    const uint64_t before = clock.NowMs();
    bool locked = false;
    LinkLease second = session.Acquire(LinkSession::kOperatorWaitMs, false, [&] { locked = true; });
    EXPECT_FALSE(second);
    EXPECT_EQ(second.Error(), LeaseError::kBusy);
    EXPECT_EQ(second.ErrorText(), LinkBusyText());
    EXPECT_EQ(clock.NowMs() - before, LinkSession::kOperatorWaitMs);
    EXPECT_FALSE(locked);
    EXPECT_EQ(link.opens, 1);
    // Moving the lease moves the lock: released once, by the new owner.
    LinkLease moved = std::move(first);
    first.Release();  // NOLINT(bugprone-use-after-move): a moved-from lease must be harmless
    EXPECT_TRUE(link.IsConnected());
    moved.EndSessionOnRelease(true);
  }
  EXPECT_FALSE(link.IsConnected());
  EXPECT_EQ(link.Frames(0x4B).size(), 1u) << "EndSession once, when asked";

  // Without the request no EndSession; the lock is free again either way.
  { EXPECT_TRUE(session.Acquire(0)); }
  EXPECT_EQ(link.Frames(0x4B).size(), 1u);

  // A link that does not open: the error as a value, the lock given back.
  link.openError = "Error can't open port";
  bool locked = false;
  LinkLease failed = session.Acquire(0, true, [&] { locked = true; });
  EXPECT_TRUE(locked);
  EXPECT_EQ(failed.Error(), LeaseError::kOpenFailed);
  EXPECT_EQ(failed.ErrorText(), "Error can't open port");
  link.openError.clear();
  EXPECT_TRUE(session.Acquire(0));
}

}  // namespace
}  // namespace skyh
