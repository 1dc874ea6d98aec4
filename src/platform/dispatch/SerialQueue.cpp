#include "platform/dispatch/SerialQueue.h"

#include <pthread.h>

namespace backreel {

SerialQueue::SerialQueue(std::string label) : label_(std::move(label)) {
    worker_ = std::thread([this] { run(); });
}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    worker_.join();
}

void SerialQueue::async(std::function<void()> block) {
    {
        std::lock_guard lock(mutex_);
        blocks_.push_back(std::move(block));
    }
    wake_.notify_one();
}

bool SerialQueue::isCurrent() const {
    return std::this_thread::get_id() == worker_.get_id();
}

void SerialQueue::run() {
    // Thread names are limited to 15 characters; the end of the label is the telling part.
    const std::string name = label_.size() > 15 ? label_.substr(label_.size() - 15) : label_;
    pthread_setname_np(pthread_self(), name.c_str());
    for (;;) {
        std::function<void()> block;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !blocks_.empty(); });
            if (blocks_.empty()) {
                return; // stopping, and everything submitted has run
            }
            block = std::move(blocks_.front());
            blocks_.pop_front();
        }
        block();
    }
}

} // namespace backreel
