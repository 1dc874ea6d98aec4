#include "ui/PickerRow.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>

namespace backreel {

QWidget* makePickerRow(const QString& title, QComboBox* picker, QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(title, row);
    label->setForegroundRole(QPalette::WindowText);
    picker->setParent(row);
    picker->setAccessibleName(title);
    picker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    layout->addWidget(label, 0, Qt::AlignVCenter);
    layout->addStretch(1);
    layout->addWidget(picker, 0, Qt::AlignVCenter);
    return row;
}

} // namespace backreel
