#include "app/KeyboardShortcutsDialog.h"

#include "app/GlobalHotkeys.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace backreel {

namespace {
const QString kCommandLineHint =
    QStringLiteral("Bind <code>backreel --save-clip</code> (and <code>backreel --start</code>, "
                   "<code>backreel --stop-and-save</code>) in the desktop's own keyboard settings instead.");
} // namespace

KeyboardShortcutsDialog::KeyboardShortcutsDialog(GlobalHotkeys& hotkeys, QWidget* parent)
    : QDialog(parent)
    , hotkeys_(hotkeys) {
    setObjectName(QStringLiteral("keyboardShortcutsDialog"));
    setWindowTitle(QStringLiteral("Keyboard Shortcuts"));
    auto* layout = new QVBoxLayout(this);

    unavailable_ = new QLabel(this);
    unavailable_->setObjectName(QStringLiteral("shortcutsUnavailable"));
    unavailable_->setWordWrap(true);
    unavailable_->setTextFormat(Qt::RichText);
    layout->addWidget(unavailable_);

    auto* form = new QFormLayout;
    for (HotkeyAction action : kHotkeyActions) {
        Field field;
        auto* row = new QHBoxLayout;
        field.keys = new QKeySequenceEdit(this);
        field.keys->setObjectName(hotkeyId(action));
        auto* clear = new QToolButton(this);
        clear->setText(QStringLiteral("Clear"));
        clear->setToolTip(QStringLiteral("No shortcut for %1").arg(hotkeyTitle(action)));
        row->addWidget(field.keys, 1);
        row->addWidget(clear);
        form->addRow(hotkeyTitle(action), row);
        field.note = new QLabel(this);
        field.note->setWordWrap(true);
        field.note->setTextFormat(Qt::RichText);
        form->addRow(QString(), field.note);
        connect(field.keys, &QKeySequenceEdit::editingFinished, this, [this, action] { keysEdited(action); });
        connect(clear, &QToolButton::clicked, this, [this, action] {
            fields_.at(action).keys->clear();
            keysEdited(action);
        });
        fields_[action] = field;
    }
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::RestoreDefaults | QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    connect(buttons->button(QDialogButtonBox::RestoreDefaults), &QPushButton::clicked, this, [this] {
        for (auto& [action, field] : fields_) {
            field.keys->setKeySequence(defaultHotkey(action));
            keysEdited(action);
        }
    });
    layout->addWidget(buttons);

    connect(&hotkeys_, &GlobalHotkeys::bindingsChanged, this, &KeyboardShortcutsDialog::showBindings);
    showBindings();
}

KeyboardShortcutsDialog::~KeyboardShortcutsDialog() = default;

void KeyboardShortcutsDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    hotkeys_.setSuspended(true);
}

void KeyboardShortcutsDialog::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    hotkeys_.setSuspended(false);
}

void KeyboardShortcutsDialog::keysEdited(HotkeyAction action) {
    Field& field = fields_.at(action);
    QKeySequence keys = field.keys->keySequence();
    if (!keys.isEmpty()) {
        // One combination, not a sequence of them.
        keys = QKeySequence(keys[0]);
        field.keys->setKeySequence(keys);
    }
    if (const std::optional<QString> problem = hotkeyProblem(keys)) {
        field.note->setText(problem->toHtmlEscaped());
        return;
    }
    hotkeys_.setKeys(action, keys);
}

void KeyboardShortcutsDialog::showBindings() {
    const std::optional<QString> unavailable = hotkeys_.unavailableReason();
    unavailable_->setVisible(unavailable.has_value());
    if (unavailable) {
        unavailable_->setText(unavailable->toHtmlEscaped() + QLatin1Char(' ') + kCommandLineHint);
    }
    for (auto& [action, field] : fields_) {
        field.keys->setEnabled(!unavailable);
        if (!field.keys->hasFocus()) {
            field.keys->setKeySequence(hotkeys_.keys(action));
        }
        const std::optional<QString> failure = hotkeys_.failure(action);
        field.note->setText(failure ? failure->toHtmlEscaped() + QLatin1Char(' ') + kCommandLineHint : QString());
    }
}

} // namespace backreel
