#include "ui/StatusText.h"

#include <cmath>
#include <QFontMetrics>
#include <QTextLayout>

namespace backreel {

QString statusTitle(const RecordingStatus& status) {
    switch (status.kind()) {
    case RecordingStatus::Kind::idle:
        return QStringLiteral("Ready");
    case RecordingStatus::Kind::buffering:
        return status.note().isEmpty() ? QStringLiteral("Recording…")
                                       : QStringLiteral("Recording… (%1)").arg(status.note());
    case RecordingStatus::Kind::saving:
        return QStringLiteral("Saving…");
    case RecordingStatus::Kind::saved:
        return QStringLiteral("Saved!");
    case RecordingStatus::Kind::error:
        return status.message();
    }
    return {};
}

QString unsavedClipOfferTitle(UnsavedClipOffer offer) {
    switch (offer) {
    case UnsavedClipOffer::saveAgain:
        return QStringLiteral("Save Again…");
    case UnsavedClipOffer::saveWhatWasBuffered:
        return QStringLiteral("Save What Was Buffered…");
    case UnsavedClipOffer::none:
        break;
    }
    return {};
}

QString unsavedClipDetails(const UnsavedClipInfo& clip) {
    return QStringLiteral("(%1 s, %2)")
        .arg(std::lround(clip.seconds))
        .arg(clip.keptAt.toString(QStringLiteral("HH:mm")));
}

QString unsavedClipsLine(const std::vector<UnsavedClipInfo>& clips) {
    if (clips.empty()) {
        return {};
    }
    const QString newest = unsavedClipDetails(clips.back());
    return clips.size() == 1 ? QStringLiteral("Unsaved %1").arg(newest)
                             : QStringLiteral("%1 unsaved, newest %2").arg(clips.size()).arg(newest);
}

QString clipSavesProgressText(int pending) {
    return pending == 1 ? QStringLiteral("Saving… (1 clip)")
                        : QStringLiteral("Saving… (%1 clips)").arg(pending);
}

QString clipSavesLine(int pending, const RecordingStatus& lastOutcome, bool showOutcome) {
    if (pending > 0) {
        return clipSavesProgressText(pending);
    }
    if (!showOutcome) {
        return {};
    }
    switch (lastOutcome.kind()) {
    case RecordingStatus::Kind::saved:
        return QStringLiteral("Saved ") + savedFileName(lastOutcome.location());
    case RecordingStatus::Kind::error:
        return lastOutcome.message();
    default:
        return {};
    }
}

QString savedFileName(const QUrl& location) {
    const QString name = location.fileName();
    if (!name.isEmpty()) {
        return name;
    }
    // A location without a file part (e.g. ending in '/') still names something: its last segment.
    const QStringList parts = location.path().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return parts.isEmpty() ? location.toString() : parts.constLast();
}

QString wrappedText(const QString& text, const QFont& font, int width, int maxLines) {
    if (maxLines <= 0 || width <= 0) {
        return {};
    }
    // Line breaks in the text end a line, as they do in a label.
    QString prepared = text;
    prepared.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(prepared, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);

    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        const bool last = lines.size() + 1 == maxLines;
        if (last && line.textStart() + line.textLength() < prepared.size()) {
            // The rest of the text goes on this last line and is cut where it no longer fits.
            const QString rest = prepared.mid(line.textStart()).simplified();
            lines.push_back(QFontMetrics(font).elidedText(rest, Qt::ElideRight, width));
            break;
        }
        lines.push_back(prepared.mid(line.textStart(), line.textLength()).trimmed());
        if (last) {
            break;
        }
    }
    layout.endLayout();
    return lines.join(QLatin1Char('\n'));
}

QString middleElidedText(const QString& text, const QFont& font, int width) {
    return QFontMetrics(font).elidedText(text, Qt::ElideMiddle, width);
}

QString literalMnemonicText(QString text) {
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace backreel
