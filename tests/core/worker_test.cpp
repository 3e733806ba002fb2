#include "core/worker.h"

#include <gtest/gtest.h>

#include <future>

#include "core/progress.h"

namespace skyh {
namespace {

// A question answered from another thread, as the window's dialog does.
struct HandedPrompt : IPrompt {
  std::promise<void> asked;
  std::promise<bool> answer;
  bool AskYesNo(const std::string&, const std::string&) override {
    asked.set_value();
    return answer.get_future().get();
  }
};

TEST(WorkerTest, AJobRunsUntilAskedToStopAQuestionHoldsItAndJoinWaits) {
  Worker worker;
  std::atomic<int> rounds{0};
  ASSERT_TRUE(worker.Start([&] {
    while (!worker.StopRequested()) ++rounds;
  }));
  EXPECT_TRUE(worker.Running());
  EXPECT_FALSE(worker.Start([] {})) << "one job at a time";
  worker.RequestStop();
  worker.Join();
  EXPECT_FALSE(worker.Running());

  // The next job starts without the old stop request and waits for its answer.
  HandedPrompt prompt;
  std::atomic<int> answered{-1};
  ASSERT_TRUE(worker.Start([&] { answered = prompt.AskYesNo("Info", "Go on?") ? 1 : 0; }));
  prompt.asked.get_future().wait();
  EXPECT_FALSE(worker.StopRequested());
  EXPECT_TRUE(worker.Running());
  EXPECT_EQ(answered.load(), -1);
  prompt.answer.set_value(true);
  worker.Join();
  EXPECT_EQ(answered.load(), 1);

  // The destructor waits for a job that is still running.
  std::promise<void> go;
  bool ended = false;
  {
    Worker last;
    last.Start([&] {
      go.get_future().wait();
      ended = true;
    });
    go.set_value();
  }
  EXPECT_TRUE(ended);
}

}  // namespace
}  // namespace skyh
