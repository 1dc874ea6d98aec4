#pragma once

#include "overlay/OverlayGeometry.h"

#include <functional>
#include <memory>
#include <QPointer>
#include <QScreen>
#include <QWidget>

namespace backreel {

// A borderless window that covers one screen exactly, above every other window, panels and docks
// included, and takes the keyboard when brought to the front. Its one child, the content view,
// fills it and gets the keyboard.
//
// On X11 the window is override-redirect (Qt::X11BypassWindowManagerHint): the window manager
// neither frames, moves nor restacks it, so it lies exactly over its screen and, being mapped last,
// above every managed window and dock. Such a window never gets the focus from the manager, so
// bringToFrontAndMakeKey() raises it, gives it the input focus itself and grabs the keyboard.
//
// Main thread.
class OverlayPanel : public QWidget {
    Q_OBJECT

public:
    // The panel for a screen, with its content view (which it takes).
    OverlayPanel(QScreen* screen, QWidget* contentView);
    ~OverlayPanel() override;

    QScreen* targetScreen() const { return targetScreen_; }
    QWidget* contentView() const { return contentView_; }

    // Shows the panel in front of everything and makes it the one that receives the keyboard.
    void bringToFrontAndMakeKey();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    QPointer<QScreen> targetScreen_;
    QWidget* contentView_;
};

// The screens an overlay covers, read once as it opens; by default the application's, in their order.
using ScreenList = std::function<QList<QScreen*>()>;

// Deletes a panel once the event that closed it has been handled (a view may close its own panel
// from one of its event handlers).
struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};
template <typename Panel> using PanelPtr = std::unique_ptr<Panel, DeleteLater>;

namespace overlay {

// Where a screen lies, as the overlay geometry takes it.
ScreenPlacement placementOf(const QScreen& screen);

} // namespace overlay

} // namespace backreel
