#pragma once

#include <QFont>

namespace backreel {

// The text styles the windows use, mapped onto the desktop's own font: its general font is the
// body style, and the others keep their usual proportions to it (headline: body size, semibold;
// callout: 12/13 of it; caption: 10/13 of it), never below 7 points (9 pixels) so they stay
// readable on desktops with small fonts.
enum class TextStyle { body, headline, callout, caption };

inline constexpr double kMinimumPointSize = 7.0;
inline constexpr int kMinimumPixelSize = 9;

// `base` is the desktop's general font.
QFont textStyleFont(TextStyle style, QFont::Weight weight, const QFont& base);

// The same from the running application's font, in the style's usual weight (semibold for the
// headline, regular otherwise) or in `weight`. Main thread.
QFont textStyleFont(TextStyle style);
QFont textStyleFont(TextStyle style, QFont::Weight weight);

} // namespace backreel
