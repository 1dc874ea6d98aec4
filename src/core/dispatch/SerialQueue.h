#pragma once

#include <functional>
#include <memory>
#include <string>

namespace backreel {

// A serial queue: one worker thread runs the submitted blocks one at a time, in submission order.
// async() may be called from any thread, including from a block running on the queue.
// Destruction lets every block already submitted run; it waits for them, except when the queue is
// destroyed from one of its own blocks, where the worker finishes on its own.
class SerialQueue {
public:
    explicit SerialQueue(std::string label);
    ~SerialQueue();

    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& label() const;
    void async(std::function<void()> block);
    // Runs block on the queue and waits until it has run. Never call it from this queue.
    void sync(std::function<void()> block);
    // True when called from a block running on this queue.
    bool isCurrent() const;

private:
    struct Worker;
    std::shared_ptr<Worker> worker_;
};

} // namespace backreel
