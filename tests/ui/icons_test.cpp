// The program's drawn pictures on dense screens and dark toolbars.
#include "ui/icons.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "ui/user_icons.h"

namespace tolvik::ui {
namespace {

TEST(UserIconsRatio, PicturesAreDrawnForTheDevicePixelRatio) {
  const UserIcons dense(2.0);
  const UserIcons plain(1.0);
  for (int slot : {3, 6, UserIcons::levelSlot(7), UserIcons::levelSlot(17), 42}) {
    const QPixmap picture = dense.pixmap(slot);
    EXPECT_EQ(picture.size(), QSize(2 * UserIcons::kWidth, 2 * UserIcons::kHeight)) << slot;
    EXPECT_EQ(picture.devicePixelRatio(), 2.0) << slot;
    EXPECT_EQ(picture.deviceIndependentSize(), QSizeF(UserIcons::kWidth, UserIcons::kHeight)) << slot;
    // Drawn afresh at that size, not the small picture blown up: a blown-up
    // picture has every 2 x 2 block of one colour.
    const QImage big = picture.toImage();
    bool finer = false;
    for (int y = 0; y + 1 < big.height() && !finer; y += 2)
      for (int x = 0; x + 1 < big.width() && !finer; x += 2)
        finer = big.pixel(x, y) != big.pixel(x + 1, y) || big.pixel(x, y) != big.pixel(x, y + 1);
    EXPECT_TRUE(finer) << slot;
  }
  EXPECT_EQ(plain.pixmap(3).size(), QSize(UserIcons::kWidth, UserIcons::kHeight));
  EXPECT_EQ(dense.strip().deviceIndependentSize(), QSizeF(UserIcons::kCount * UserIcons::kWidth, UserIcons::kHeight));
}

TEST(ToolIcons, SharpAtTwiceTheSizeAndRimmedForDarkToolbars) {
  const QIcon icon = DrawToolIcon(ToolIcon::Connect);
  EXPECT_EQ(icon.pixmap(QSize(16, 15), 2.0).size(), QSize(32, 30));
  EXPECT_EQ(icon.pixmap(QSize(16, 15), 1.0).size(), QSize(16, 15));

  // On a dark toolbar, the plug's dark outline has a light rim around it.
  QImage onDark(32, 30, QImage::Format_ARGB32_Premultiplied);
  onDark.fill(QColor(30, 30, 30));
  QPainter p(&onDark);
  p.drawPixmap(0, 0, icon.pixmap(QSize(16, 15), 2.0));
  p.end();
  int rim = 0;
  for (int y = 0; y < onDark.height(); ++y)
    for (int x = 0; x < onDark.width(); ++x)
      if (qGray(onDark.pixel(x, y)) > 110 && QColor(onDark.pixel(x, y)).saturation() < 40) ++rim;
  EXPECT_GT(rim, 20);
}

}  // namespace
}  // namespace tolvik::ui
