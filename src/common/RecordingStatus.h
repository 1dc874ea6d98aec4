#pragma once

#include <QString>
#include <QUrl>

namespace backreel {

// What the user sees of a recording. Equality compares the case and its payload.
class RecordingStatus {
public:
    enum class Kind { idle, buffering, saving, saved, error };

    RecordingStatus() = default; // idle

    static RecordingStatus idle() { return RecordingStatus(Kind::idle); }
    // A note says what the recording lacks while it goes on ("no system audio: …").
    static RecordingStatus buffering(QString note = {}) {
        RecordingStatus status(Kind::buffering);
        status.message_ = std::move(note);
        return status;
    }
    static RecordingStatus saving() { return RecordingStatus(Kind::saving); }
    static RecordingStatus saved(QUrl location) {
        RecordingStatus status(Kind::saved);
        status.location_ = std::move(location);
        return status;
    }
    static RecordingStatus error(QString message) {
        RecordingStatus status(Kind::error);
        status.message_ = std::move(message);
        return status;
    }

    Kind kind() const { return kind_; }
    bool is(Kind kind) const { return kind_ == kind; }
    // The saved file, for saved; empty otherwise.
    const QUrl& location() const { return location_; }
    // The text shown to the user, for error; empty otherwise.
    const QString& message() const {
        static const QString none;
        return kind_ == Kind::error ? message_ : none;
    }
    // What the recording lacks, for buffering; empty otherwise.
    const QString& note() const {
        static const QString none;
        return kind_ == Kind::buffering ? message_ : none;
    }

    friend bool operator==(const RecordingStatus&, const RecordingStatus&) = default;

private:
    explicit RecordingStatus(Kind kind)
        : kind_(kind) {}

    Kind kind_ = Kind::idle;
    QUrl location_;
    QString message_;
};

} // namespace backreel
