#include "core/log/Log.h"

#include <QByteArray>

#include <cstdio>
#include <mutex>
#include <syslog.h>
#include <systemd/sd-journal.h>

namespace backreel {

Q_LOGGING_CATEGORY(recordingLog, "com.strandloft.Backreel.Recording", QtInfoMsg)
Q_LOGGING_CATEGORY(windowPickerLog, "com.strandloft.Backreel.WindowPicker", QtInfoMsg)

const QLoggingCategory& recordingCategory() {
    return recordingLog();
}

const QLoggingCategory& windowPickerCategory() {
    return windowPickerLog();
}

void Logger::info(const QString& text) const {
    if (category_->isInfoEnabled()) {
        QMessageLogger(nullptr, 0, nullptr, category_->categoryName()).info("%s", qUtf8Printable(text));
    }
}

void Logger::debug(const QString& text) const {
    if (category_->isDebugEnabled()) {
        QMessageLogger(nullptr, 0, nullptr, category_->categoryName()).debug("%s", qUtf8Printable(text));
    }
}

void Logger::error(const QString& text) const {
    if (category_->isCriticalEnabled()) {
        QMessageLogger(nullptr, 0, nullptr, category_->categoryName()).critical("%s", qUtf8Printable(text));
    }
}

namespace {

int priorityOf(QtMsgType type) {
    switch (type) {
    case QtDebugMsg:
        return LOG_DEBUG;
    case QtInfoMsg:
        return LOG_INFO;
    case QtWarningMsg:
        return LOG_WARNING;
    case QtCriticalMsg:
        return LOG_ERR;
    case QtFatalMsg:
        return LOG_CRIT;
    }
    return LOG_INFO;
}

const char* levelName(QtMsgType type) {
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "error";
    case QtFatalMsg:
        return "fatal";
    }
    return "info";
}

void journalHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const QByteArray text = message.toUtf8();
    const QByteArray categoryName = context.category != nullptr ? QByteArray(context.category) : QByteArray("default");
    const QByteArray prefix = QByteArray(kLogSubsystem) + '.';
    const bool ours = categoryName.startsWith(prefix);
    const QByteArray subsystem = ours ? QByteArray(kLogSubsystem) : QByteArray("qt");
    const QByteArray category = ours ? categoryName.mid(prefix.size()) : categoryName;

    sd_journal_send("MESSAGE=%s", text.constData(), "PRIORITY=%d", priorityOf(type), "SUBSYSTEM=%s",
                    subsystem.constData(), "CATEGORY=%s", category.constData(), "SYSLOG_IDENTIFIER=backreel",
                    nullptr);

    static std::mutex stderrMutex;
    {
        std::lock_guard lock(stderrMutex);
        std::fprintf(stderr, "%s [%s] %s\n", category.constData(), levelName(type), text.constData());
        std::fflush(stderr);
    }
    if (type == QtFatalMsg) {
        std::abort();
    }
}

} // namespace

void installJournalMessageHandler() {
    qInstallMessageHandler(journalHandler);
}

} // namespace backreel
