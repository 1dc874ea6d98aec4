#pragma once

#include <QString>

namespace backreel {

// Tells the user that a save has ended, through the desktop's notifications, without taking the
// focus: a saved movie with its file name and length and the actions "Open" and "Show in Folder",
// a failed save with its reason. Fire and forget. Main thread.
class SaveNotifier {
public:
    virtual ~SaveNotifier() = default;
    virtual void notifySaved(const QString& path, double seconds) = 0;
    virtual void notifyFailed(const QString& message) = 0;
};

} // namespace backreel
