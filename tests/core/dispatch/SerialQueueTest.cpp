#include "core/dispatch/SerialQueue.h"

#include "core/dispatch/Completion.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <QCoroTask>
#include <thread>
#include <vector>

using namespace backreel;

TEST(SerialQueue, RunsBlocksOneAtATimeInSubmissionOrder) {
    std::vector<int> order;
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    {
        SerialQueue queue("test.serial");
        std::vector<std::thread> producers;
        // Several producers; each one's blocks must keep their relative order.
        for (int p = 0; p < 4; ++p) {
            producers.emplace_back([&, p] {
                for (int i = 0; i < 100; ++i) {
                    queue.async([&, p, i] {
                        if (running.fetch_add(1) != 0) {
                            overlapped = true;
                        }
                        order.push_back(p * 1000 + i);
                        running.fetch_sub(1);
                    });
                }
            });
        }
        for (auto& producer : producers) {
            producer.join();
        }
    } // destruction runs what was submitted
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(order.size(), 400u);
    std::vector<int> last(4, -1);
    for (int value : order) {
        EXPECT_GT(value % 1000, last[static_cast<std::size_t>(value / 1000)]);
        last[static_cast<std::size_t>(value / 1000)] = value % 1000;
    }
}

TEST(SerialQueue, DrainWaitsForEverythingSubmittedBeforeIt) {
    SerialQueue queue("com.loopvane.capture");
    std::atomic<int> done{0};
    for (int i = 0; i < 5; ++i) {
        queue.async([&done] {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            done.fetch_add(1);
        });
    }
    QCoro::waitFor(drainQueue(queue));
    EXPECT_EQ(done.load(), 5);
    EXPECT_EQ(queue.label(), "com.loopvane.capture");
}
