#pragma once

#include <QLoggingCategory>
#include <QString>

namespace backreel {

inline constexpr const char* kLogSubsystem = "com.strandloft.Backreel";

// The two categories of the diagnostic log. Info and error lines are on; debug traces are compiled
// in and off by default (enable with QT_LOGGING_RULES="com.strandloft.Backreel.*.debug=true").
const QLoggingCategory& recordingCategory();
const QLoggingCategory& windowPickerCategory();

// A log handle: a category and the three levels the system writes. Cheap to copy; any thread.
class Logger {
public:
    explicit Logger(const QLoggingCategory& category) : category_(&category) {}

    static Logger recording() { return Logger(recordingCategory()); }
    static Logger windowPicker() { return Logger(windowPickerCategory()); }

    void info(const QString& text) const;
    void debug(const QString& text) const;
    void error(const QString& text) const;

    bool isDebugEnabled() const { return category_->isDebugEnabled(); }
    const QLoggingCategory& category() const { return *category_; }

private:
    const QLoggingCategory* category_;
};

// Number formatting of the log texts: a fixed number of decimals, as "%.*f" does.
inline QString fixed(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}
inline QString boolText(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

// Sends every Qt message to the systemd journal (fields SUBSYSTEM, CATEGORY, PRIORITY) and to
// standard error. Called once by the application at start.
void installJournalMessageHandler();

} // namespace backreel
