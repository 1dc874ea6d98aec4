#include "support/LogCapture.h"

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
    if (LogCapture* capture = current.load()) {
        const QLatin1String prefix("com.strandloft.Backreel.");
        QString category = QString::fromUtf8(context.category != nullptr ? context.category : "");
        category.remove(0, category.startsWith(prefix) ? prefix.size() : 0);
        std::lock_guard lock(capture->mutex_);
        capture->lines_.push_back(Line{type, category, message});
    }
}

std::vector<LogCapture::Line> LogCapture::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

int LogCapture::indexOf(const QString& text) const {
    const std::vector<Line> all = lines();
    const auto found = std::ranges::find(all, text, &Line::text);
    return found == all.end() ? -1 : static_cast<int>(found - all.begin());
}

} // namespace backreel::test
