#pragma once

#include <QString>

namespace backreel {

// Tells the user that a save has ended, through the desktop's notifications, without taking the
// focus: a saved movie with its file name and length and the actions "Open" and "Show in Folder",
// a failed save with its reason; and, where the user asked for it, a marker set. Fire and forget.
// Main thread.
class SaveNotifier {
public:
    virtual ~SaveNotifier() = default;
    virtual void notifySaved(const QString& path, double seconds) = 0;
    virtual void notifyFailed(const QString& message) = 0;
    // A marker was set, with this label (or none).
    virtual void notifyMarked(const QString& label) = 0;
};

} // namespace backreel
