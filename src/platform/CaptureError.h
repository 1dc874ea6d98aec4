#pragma once

#include <QMetaType>
#include <QString>

namespace backreel {

// Why capturing could not start or went on no longer. The message is what the user reads: the
// platform's own words where it gave some.
struct CaptureError {
    enum class Kind {
        cancelled,   // the user cancelled the desktop's dialog
        unavailable, // this session offers no way to capture (no display, no portal)
        failed,      // the platform refused or failed
        ended,       // a running capture ended by itself (window closed, share or display gone)
    };
    Kind kind = Kind::failed;
    QString message;

    static CaptureError failed(QString message) { return CaptureError{Kind::failed, std::move(message)}; }
    static CaptureError ended(QString message) { return CaptureError{Kind::ended, std::move(message)}; }

    friend bool operator==(const CaptureError&, const CaptureError&) = default;
};

} // namespace backreel

Q_DECLARE_METATYPE(backreel::CaptureError)
