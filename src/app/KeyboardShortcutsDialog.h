#pragma once

#include "app/HotkeyKeys.h"

#include <map>
#include <QDialog>

class QKeySequenceEdit;
class QLabel;

namespace backreel {

class GlobalHotkeys;

// "Keyboard Shortcuts": the keys of Save Clip and Start/Stop, each with what became of binding it
// (a key another program holds is named there), "Restore Defaults" and "Close". A change is stored
// and bound when its field is done. While the dialog is open the shortcuts are let go, so their keys
// reach the fields. Where the desktop lets Backreel bind no shortcut, it says to bind
// `backreel --save-clip` in the desktop's own keyboard settings.
//
// Thread contract: main thread only.
class KeyboardShortcutsDialog final : public QDialog {
    Q_OBJECT

public:
    explicit KeyboardShortcutsDialog(GlobalHotkeys& hotkeys, QWidget* parent = nullptr);
    ~KeyboardShortcutsDialog() override;

    QKeySequenceEdit* keysField(HotkeyAction action) const { return fields_.at(action).keys; }
    QLabel* noteLabel(HotkeyAction action) const { return fields_.at(action).note; }
    QLabel* unavailableLabel() const { return unavailable_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Field {
        QKeySequenceEdit* keys = nullptr;
        QLabel* note = nullptr;
    };
    void keysEdited(HotkeyAction action);
    void showBindings();

    GlobalHotkeys& hotkeys_;
    std::map<HotkeyAction, Field> fields_;
    QLabel* unavailable_ = nullptr;
};

} // namespace backreel
