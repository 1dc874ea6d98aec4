#pragma once

#include <QString>

class QComboBox;
class QWidget;

namespace backreel {

// A row of the main window: `title` in the primary text colour, a flexible space and the pop-up
// picker, whose own label is not shown but is its accessible name. Main thread.
QWidget* makePickerRow(const QString& title, QComboBox* picker, QWidget* parent);

} // namespace backreel
