#pragma once

#include <optional>
#include <QString>
#include <utility>
#include <variant>

namespace backreel {

// A failure as the user reads it: the platform's own words where it gave some (an X error's name,
// PulseAudio's or FFmpeg's text), ours otherwise. Where the system reported an errno behind it (a
// folder that could not be made, a file that could not be written), the number comes along, so
// that a save can say in plain words what it means. Layers whose callers tell failures apart have
// typed errors of their own (CaptureError, EncoderError).
struct Error {
    Error() = default;
    explicit Error(QString text, int errnoValue = 0)
        : description(std::move(text))
        , systemError(errnoValue) {}

    QString description;
    int systemError = 0; // the errno behind the failure; 0 when there is none

    friend bool operator==(const Error&, const Error&) = default;
};

// Either a value or an error. Minimal on purpose: the project is C++20 and std::expected is not.
template <typename T, typename E = Error> class Expected {
public:
    Expected(T value)
        : state_(std::in_place_index<0>, std::move(value)) {}
    Expected(E error)
        : state_(std::in_place_index<1>, std::move(error)) {}

    bool hasValue() const { return state_.index() == 0; }
    explicit operator bool() const { return hasValue(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    const E& error() const { return std::get<1>(state_); }

private:
    std::variant<T, E> state_;
};

// The completion result of an operation that yields nothing but may fail.
using MaybeError = std::optional<Error>;

} // namespace backreel
