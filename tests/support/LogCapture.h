#pragma once

#include <QString>
#include <QtGlobal>

#include <mutex>
#include <vector>

namespace backreel::test {

// Captures every log line written while it lives, with its level and category, so tests can
// assert on exact texts, counts and order. Debug traces are switched on for its lifetime.
class LogCapture {
public:
    struct Line {
        QtMsgType level;
        QString category; // e.g. "Recording"
        QString text;
    };

    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<Line> lines() const;
    std::vector<QString> texts() const;
    int count(const QString& text) const;
    int countStartingWith(const QString& prefix) const;
    // Index of the first line equal to text, or -1.
    int indexOf(const QString& text) const;
    // The level of the first line equal to text.
    QtMsgType levelOf(const QString& text) const;

private:
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& message);

    mutable std::mutex mutex_;
    std::vector<Line> lines_;
    QtMessageHandler previous_ = nullptr;
};

} // namespace backreel::test
