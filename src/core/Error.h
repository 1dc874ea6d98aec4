#pragma once

#include <optional>
#include <QString>
#include <utility>
#include <variant>

namespace backreel {

// An error with a domain, a numeric code and the text shown to the user. Errors that Backreel
// raises itself use the domain "Backreel"; platform errors keep the text their service gave.
struct Error {
    QString domain;
    int code = 0;
    QString description;

    static Error backreel(int code, QString description) {
        return Error{QStringLiteral("Backreel"), code, std::move(description)};
    }

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
