#pragma once

#include <algorithm>
#include <mutex>
#include <QString>
#include <QtGlobal>
#include <vector>

namespace backreel::test {

// Every log line written while it lives, with its level and category; debug traces are on meanwhile.
class LogCapture {
public:
    struct Line {
        QtMsgType level;
        QString category;
        QString text;
    };

    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<Line> lines() const;
    int count(const QString& text) const {
        return countIf([&](const Line& line) { return line.text == text; });
    }
    int countStartingWith(const QString& prefix) const {
        return countIf([&](const Line& line) { return line.text.startsWith(prefix); });
    }
    int indexOf(const QString& text) const;

private:
    template <typename Predicate> int countIf(Predicate predicate) const {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count_if(lines_.begin(), lines_.end(), predicate));
    }
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& message);

    mutable std::mutex mutex_;
    std::vector<Line> lines_;
    QtMessageHandler previous_ = nullptr;
};

} // namespace backreel::test
