#include "support/LogCapture.h"

#include <algorithm>
#include <atomic>
#include <QLoggingCategory>

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
    const std::vector<QString> all = texts();
    return static_cast<int>(std::count(all.begin(), all.end(), text));
}

int LogCapture::countStartingWith(const QString& prefix) const {
    const std::vector<QString> all = texts();
    return static_cast<int>(
        std::count_if(all.begin(), all.end(), [&](const QString& text) { return text.startsWith(prefix); }));
}

int LogCapture::indexOf(const QString& text) const {
    const std::vector<QString> all = texts();
    const auto found = std::find(all.begin(), all.end(), text);
    return found == all.end() ? -1 : static_cast<int>(found - all.begin());
}

QtMsgType LogCapture::levelOf(const QString& text) const {
    const int index = indexOf(text);
    return index < 0 ? QtFatalMsg : lines()[static_cast<std::size_t>(index)].level;
}

void LogCapture::clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

} // namespace backreel::test
