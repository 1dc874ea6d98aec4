#include "support/LogCapture.h"

#include <QLoggingCategory>

#include <atomic>

namespace backreel::test {

namespace {
std::atomic<LogCapture*> current{nullptr};
}

LogCapture::LogCapture() {
    QLoggingCategory::setFilterRules(QStringLiteral("com.strandloft.Backreel.*.debug=true"));
    current.store(this);
    previous_ = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture() {
    qInstallMessageHandler(previous_);
    current.store(nullptr);
    QLoggingCategory::setFilterRules(QStringLiteral("com.strandloft.Backreel.*.debug=false"));
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    LogCapture* capture = current.load();
    if (capture == nullptr) {
        return;
    }
    QString category = context.category != nullptr ? QString::fromUtf8(context.category) : QString();
    const QString prefix = QStringLiteral("com.strandloft.Backreel.");
    if (category.startsWith(prefix)) {
        category = category.mid(prefix.size());
    }
    std::lock_guard lock(capture->mutex_);
    capture->lines_.push_back(Line{type, category, message});
}

std::vector<LogCapture::Line> LogCapture::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::vector<QString> LogCapture::texts() const {
    std::vector<QString> result;
    for (const Line& line : lines()) {
        result.push_back(line.text);
    }
    return result;
}

int LogCapture::count(const QString& text) const {
    int n = 0;
    for (const Line& line : lines()) {
        n += line.text == text ? 1 : 0;
    }
    return n;
}

int LogCapture::countStartingWith(const QString& prefix) const {
    int n = 0;
    for (const Line& line : lines()) {
        n += line.text.startsWith(prefix) ? 1 : 0;
    }
    return n;
}

int LogCapture::indexOf(const QString& text) const {
    const std::vector<Line> all = lines();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i].text == text) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

QtMsgType LogCapture::levelOf(const QString& text) const {
    for (const Line& line : lines()) {
        if (line.text == text) {
            return line.level;
        }
    }
    return QtFatalMsg;
}

void LogCapture::clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

} // namespace backreel::test
