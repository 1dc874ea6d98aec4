#pragma once

#include "platform/CaptureStream.h"

#include <mutex>
#include <vector>

namespace backreel::test {

// A stream delegate that keeps the errors its streams stopped with, told on any thread.
class StreamStops : public StreamDelegate {
public:
    void streamDidStopWithError(CaptureStream&, const Error& error) override {
        std::lock_guard lock(mutex_);
        errors_.push_back(error);
    }
    std::vector<Error> errors() const {
        std::lock_guard lock(mutex_);
        return errors_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Error> errors_;
};

} // namespace backreel::test
