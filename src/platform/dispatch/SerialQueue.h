#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace backreel {

// A serial queue: one worker thread runs the submitted blocks one at a time, in submission order.
// async() may be called from any thread, including from a block running on the queue.
// Destruction runs every block already submitted, then joins the worker.
class SerialQueue {
public:
    explicit SerialQueue(std::string label);
    ~SerialQueue();

    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& label() const { return label_; }
    void async(std::function<void()> block);
    // True when called from a block running on this queue.
    bool isCurrent() const;

private:
    void run();

    std::string label_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> blocks_;
    bool stopping_ = false;
    std::thread worker_;
};

} // namespace backreel
