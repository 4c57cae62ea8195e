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

TEST(ToolIcons, DrawnOnDemandTheyAnswerLikeAPlainIconOfAllTheirPictures) {
  const QIcon icon = DrawToolIcon(ToolIcon::Connect);
  EXPECT_EQ(icon.availableSizes(), (QList<QSize>{{16, 15}, {32, 30}, {48, 45}}));
  const QImage plain = icon.pixmap(QSize(16, 15), 1.0).toImage();
  const QPixmap large = icon.pixmap(QSize(16, 15), 3.0);
  ASSERT_EQ(large.size(), QSize(48, 45));
  EXPECT_EQ(large.devicePixelRatio(), 3.0);
  // Drawn at its size, not the small one blown up.
  EXPECT_NE(large.toImage().scaled(16, 15, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                .convertToFormat(plain.format()),
            plain);

  QIcon reference;
  for (qreal scale : {1.0, 2.0, 3.0}) reference.addPixmap(icon.pixmap(QSize(16, 15), scale));
  // Scaled down, the disabled look, in between sizes: as the plain icon does
  // it, also when the request is the first the icon gets.
  for (QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled, QIcon::Active, QIcon::Selected})
    for (const QSize& size : {QSize(16, 15), QSize(12, 12), QSize(24, 24), QSize(64, 60)})
      for (qreal scale : {1.0, 1.5, 2.0, 4.0}) {
        const QPixmap drawn = DrawToolIcon(ToolIcon::Connect).pixmap(size, scale, mode);
        const QPixmap expected = reference.pixmap(size, scale, mode);
        EXPECT_EQ(drawn.size(), expected.size()) << mode << " " << size.width() << " " << scale;
        EXPECT_EQ(drawn.devicePixelRatio(), expected.devicePixelRatio());
        EXPECT_EQ(drawn.toImage(), expected.toImage()) << mode << " " << size.width() << " " << scale;
        EXPECT_EQ(icon.actualSize(size, mode), reference.actualSize(size, mode));
      }
  EXPECT_NE(icon.pixmap(QSize(16, 15), 1.0, QIcon::Disabled).toImage(), plain);
}

TEST(AppIcon, EverySizeTheWindowSystemIsOfferedIsDrawnAtThatSize) {
  const QIcon icon = DrawAppIcon();
  const QList<QSize> sizes = icon.availableSizes();
  ASSERT_EQ(sizes, (QList<QSize>{{16, 16}, {32, 32}, {48, 48}, {64, 64}, {128, 128}}));
  for (const QSize& size : sizes) {
    const QImage image = icon.pixmap(size, 1.0).toImage();
    ASSERT_EQ(image.size(), size);
    // The shield's blue fills the middle at every size.
    EXPECT_EQ(QColor(image.pixel(size.width() / 2, size.height() * 3 / 4)).blue(), 180) << size.width();
    EXPECT_EQ(icon.pixmap(size, 1.0).toImage(), image) << "drawn the same each time";
  }
  QIcon reference;
  for (const QSize& size : sizes) reference.addPixmap(icon.pixmap(size, 1.0));
  for (const QSize& size : {QSize(16, 16), QSize(20, 20), QSize(40, 40), QSize(200, 200)})
    for (qreal scale : {1.0, 2.0}) {
      const QPixmap drawn = icon.pixmap(size, scale);
      EXPECT_EQ(drawn.size(), reference.pixmap(size, scale).size()) << size.width() << " " << scale;
      EXPECT_EQ(drawn.toImage(), reference.pixmap(size, scale).toImage()) << size.width() << " " << scale;
    }
}

}  // namespace
}  // namespace tolvik::ui
