#include "CpuLoad.h"

#include <chrono>
#include <thread>
#include <vector>

namespace backreel::bench {

CpuLoad::CpuLoad(const QString& program, int percent) {
    process_.start(program, {QStringLiteral("--burn"), QString::number(percent)});
    process_.waitForStarted();
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // every thread is busy by now
}

CpuLoad::~CpuLoad() {
    process_.kill();
    process_.waitForFinished();
}

void burnCpu(int percent) {
    using Clock = std::chrono::steady_clock;
    constexpr auto kPeriod = std::chrono::milliseconds(10);
    const auto busy = kPeriod * percent / 100;
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < std::max(1u, std::thread::hardware_concurrency()); ++i) {
        threads.emplace_back([busy, kPeriod] {
            volatile std::uint64_t sink = 0;
            for (auto start = Clock::now();; start += kPeriod) {
                while (Clock::now() - start < busy) {
                    sink = sink + 1;
                }
                std::this_thread::sleep_until(start + kPeriod);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::abort(); // the threads never end
}

} // namespace backreel::bench
