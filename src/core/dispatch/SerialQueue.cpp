#include "core/dispatch/SerialQueue.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include <pthread.h>

namespace backreel {

// Shared by the queue and its thread, so the thread may outlive a queue destroyed from within.
struct SerialQueue::Worker {
    explicit Worker(std::string name) : label(std::move(name)) {}

    void run() {
        // Thread names are limited to 15 characters; the end of the label is the telling part.
        const std::string name = label.size() > 15 ? label.substr(label.size() - 15) : label;
        pthread_setname_np(pthread_self(), name.c_str());
        for (;;) {
            std::function<void()> block;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [this] { return stopping || !blocks.empty(); });
                if (blocks.empty()) {
                    return; // stopping, and everything submitted has run
                }
                block = std::move(blocks.front());
                blocks.pop_front();
            }
            block();
        }
    }

    const std::string label;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> blocks;
    bool stopping = false;
    std::thread thread;
};

SerialQueue::SerialQueue(std::string label) : worker_(std::make_shared<Worker>(std::move(label))) {
    worker_->thread = std::thread([worker = worker_] { worker->run(); });
}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard lock(worker_->mutex);
        worker_->stopping = true;
    }
    worker_->wake.notify_one();
    if (isCurrent()) {
        worker_->thread.detach();
    } else {
        worker_->thread.join();
    }
}

const std::string& SerialQueue::label() const {
    return worker_->label;
}

void SerialQueue::async(std::function<void()> block) {
    {
        std::lock_guard lock(worker_->mutex);
        worker_->blocks.push_back(std::move(block));
    }
    worker_->wake.notify_one();
}

void SerialQueue::sync(std::function<void()> block) {
    std::mutex doneMutex;
    std::condition_variable doneSignal;
    bool done = false;
    async([&] {
        block();
        std::lock_guard lock(doneMutex);
        done = true;
        doneSignal.notify_one();
    });
    std::unique_lock lock(doneMutex);
    doneSignal.wait(lock, [&] { return done; });
}

bool SerialQueue::isCurrent() const {
    return std::this_thread::get_id() == worker_->thread.get_id();
}

} // namespace backreel
