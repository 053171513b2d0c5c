// A queue's owner going away never waits without bound for a stuck task, and the
// end of the program can tell that one is still running.
#include "platform/Dispatch.h"

#include <QElapsedTimer>
#include <atomic>
#include <future>
#include <gtest/gtest.h>

using Dispatch::SerialQueue;
using namespace std::chrono_literals;

TEST(Dispatch, DestroyingAQueueWaitsOnlyWithinItsLimit)
{
    // Finished tasks are waited for: their effects are there once the queue is gone.
    std::atomic<int> ran = 0;
    {
        SerialQueue queue(QStringLiteral("quick"), SerialQueue::OnDestroy::Drain, 5s);
        for (int i = 0; i < 3; ++i)
            queue.async([&ran] { ++ran; });
    }
    EXPECT_EQ(ran, 3);

    for (const auto onDestroy : {SerialQueue::OnDestroy::Drain, SerialQueue::OnDestroy::Abandon}) {
        const bool drains = onDestroy == SerialQueue::OnDestroy::Drain;
        SCOPED_TRACE(drains ? "draining" : "abandoning");
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        auto later = std::make_shared<std::atomic<bool>>(false);
        QElapsedTimer destroying;
        {
            SerialQueue queue(QStringLiteral("stuck"), onDestroy, 200ms);
            std::promise<void> started;
            queue.async([&started, released] {
                started.set_value();
                released.wait();
            });
            queue.async([later] { *later = true; });
            started.get_future().wait();
            destroying.start();
        }
        EXPECT_GE(destroying.elapsed(), drains ? 200 : 0);
        EXPECT_LT(destroying.elapsed(), drains ? 2000 : 100);
        EXPECT_FALSE(Dispatch::waitForWorkers(50ms)) << "the stuck task is still running";

        release.set_value();
        EXPECT_TRUE(Dispatch::waitForWorkers(5s));
        EXPECT_EQ(*later, drains) << "an abandoning queue drops what has not started";
    }
}
