// The pictures painted at run time: the sizes the windows are built around, the icon's palette,
// and that each picture actually shows something.
#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>
#include <QSet>

#include "app/artwork.h"

namespace corvane {
namespace {

QSet<QRgb> coloursOf(const QImage& image) {
  QSet<QRgb> colours;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) colours << image.pixel(x, y);
  }
  return colours;
}

TEST(Icon, ComesInBothSizesWithAtMostSixteenColours) {
  const QIcon icon = corvaneIcon();
  const QList<QSize> sizes = icon.availableSizes();
  EXPECT_TRUE(sizes.contains(QSize(32, 32)));
  EXPECT_TRUE(sizes.contains(QSize(16, 16)));
  for (int side : {32, 16}) {
    SCOPED_TRACE(side);
    const QImage image =
        icon.pixmap(QSize(side, side)).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(image.size(), QSize(side, side));
    QSet<QRgb> opaque;
    for (QRgb colour : coloursOf(image)) {
      // Every pixel is either clear or fully one colour: no smoothed edges.
      EXPECT_TRUE(qAlpha(colour) == 0 || qAlpha(colour) == 255) << std::hex << colour;
      if (qAlpha(colour) == 255) opaque << colour;
    }
    EXPECT_LE(opaque.size(), 16);
    EXPECT_GE(opaque.size(), 4);
  }
}

TEST(Pictures, HaveTheirSizesAndShowAPicture) {
  const struct {
    const char* name;
    QPixmap picture;
    QSize size;
  } pictures[] = {{"splash", splashPicture(), {320, 240}},
                  {"about logo", aboutLogo(), {247, 122}},
                  {"wide about logo", aboutWideLogo(), {331, 122}}};
  for (const auto& p : pictures) {
    SCOPED_TRACE(p.name);
    EXPECT_EQ(p.picture.size(), p.size);
    EXPECT_FALSE(p.picture.hasAlphaChannel());
    // A shaded surface has hundreds of colours; a failed painting would leave a handful.
    EXPECT_GT(coloursOf(p.picture.toImage()).size(), 500);
  }
}

}  // namespace
}  // namespace corvane
