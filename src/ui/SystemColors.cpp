#include "ui/SystemColors.h"

namespace backreel::system_colors {

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor windowBackground(const QPalette& palette) {
    return palette.color(QPalette::Window);
}

QColor controlBackground(const QPalette& palette) {
    return palette.color(QPalette::Base);
}

QColor separator(const QPalette& palette) {
    return palette.color(QPalette::Midlight);
}

QColor quaternaryFill(const QPalette& palette) {
    return palette.color(QPalette::AlternateBase);
}

QColor primaryText(const QPalette& palette) {
    return palette.color(QPalette::WindowText);
}

QColor secondaryText(const QPalette& palette) {
    return palette.color(QPalette::PlaceholderText);
}

QColor accent(const QPalette& palette) {
    return palette.color(QPalette::Highlight);
}

QColor link(const QPalette& palette) {
    return palette.color(QPalette::Link);
}

QColor green(const QPalette& palette) {
    return isDark(palette) ? QColor(0x30, 0xd1, 0x58) : QColor(0x28, 0xa7, 0x45);
}

QColor red(const QPalette& palette) {
    return isDark(palette) ? QColor(0xff, 0x45, 0x3a) : QColor(0xff, 0x3b, 0x30);
}

} // namespace backreel::system_colors
