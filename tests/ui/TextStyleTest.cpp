#include "ui/TextStyle.h"

#include <gtest/gtest.h>

using namespace backreel;

TEST(TextStyle, SmallStylesStopAtTheReadableMinimum) {
    QFont base(QStringLiteral("DejaVu Sans"));
    base.setPointSizeF(13);
    EXPECT_DOUBLE_EQ(textStyleFont(TextStyle::caption, QFont::Normal, base).pointSizeF(), 10);
    base.setPointSizeF(8);
    EXPECT_DOUBLE_EQ(textStyleFont(TextStyle::caption, QFont::Normal, base).pointSizeF(), kMinimumPointSize);
    base.setPixelSize(10);
    EXPECT_EQ(textStyleFont(TextStyle::caption, QFont::Normal, base).pixelSize(), kMinimumPixelSize);
}
