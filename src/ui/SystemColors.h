#pragma once

#include <QColor>
#include <QPalette>

// The named colours of the windows, mapped onto the closest roles of the desktop's palette so
// that they follow its light or dark theme.
namespace backreel::system_colors {

// Whether the palette is a dark theme (its window colour is dark).
bool isDark(const QPalette& palette);

QColor windowBackground(const QPalette& palette);  // Window
QColor controlBackground(const QPalette& palette); // Base
QColor separator(const QPalette& palette);         // Midlight
QColor quaternaryFill(const QPalette& palette);    // AlternateBase
QColor primaryText(const QPalette& palette);       // WindowText
QColor secondaryText(const QPalette& palette);     // PlaceholderText
QColor accent(const QPalette& palette);            // Highlight
QColor link(const QPalette& palette);              // Link
// The palette has no green or red: the usual signal colours, brighter on dark themes.
QColor green(const QPalette& palette);
QColor red(const QPalette& palette);

} // namespace backreel::system_colors
