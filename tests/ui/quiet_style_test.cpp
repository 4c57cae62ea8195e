// The application style that fetches the toolbar overflow picture late.
#include "ui/quiet_style.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <memory>

namespace tolvik::ui {
namespace {

QImage ImageOf(const QIcon& icon, qreal scale = 1.0, QIcon::Mode mode = QIcon::Normal) {
  return icon.pixmap(QSize(16, 16), scale, mode).toImage();
}

TEST(QuietStyle, OverflowPicturesAreTheBaseStylesInBothDirectionsAndOtherPicturesPassThrough) {
  const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
  ASSERT_NE(fusion, nullptr);
  const QuietStyle quiet(QStyleFactory::create(QStringLiteral("Fusion")));
  QStyleOption rtl;
  rtl.direction = Qt::RightToLeft;
  QStyleOption ltr;
  ltr.direction = Qt::LeftToRight;
  for (QStyle::StandardPixmap which : {QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_ToolBarVerticalExtensionButton}) {
    const QIcon late = quiet.standardIcon(which, &ltr);
    const QIcon base = fusion->standardIcon(which, &ltr);
    ASSERT_FALSE(base.isNull());
    EXPECT_FALSE(late.isNull());
    for (qreal scale : {1.0, 2.0})
      for (QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled})
        EXPECT_EQ(ImageOf(late, scale, mode), ImageOf(base, scale, mode)) << which << " " << scale << " " << mode;
    EXPECT_EQ(late.availableSizes(), base.availableSizes());
    EXPECT_EQ(late.actualSize(QSize(16, 16)), base.actualSize(QSize(16, 16)));
    EXPECT_EQ(ImageOf(quiet.standardIcon(which, &rtl)), ImageOf(fusion->standardIcon(which, &rtl))) << which;
  }
  // The horizontal one points the other way right to left.
  EXPECT_NE(ImageOf(quiet.standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton, &rtl)),
            ImageOf(quiet.standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton, &ltr)));
  // Without an option, the application's direction decides.
  QGuiApplication::setLayoutDirection(Qt::RightToLeft);
  const QIcon appRtl = quiet.standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton);
  QGuiApplication::setLayoutDirection(Qt::LeftToRight);
  EXPECT_EQ(ImageOf(appRtl), ImageOf(fusion->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton, &rtl)));

  EXPECT_EQ(ImageOf(quiet.standardIcon(QStyle::SP_TitleBarCloseButton)),
            ImageOf(fusion->standardIcon(QStyle::SP_TitleBarCloseButton)));
  EXPECT_EQ(quiet.pixelMetric(QStyle::PM_ToolBarExtensionExtent), fusion->pixelMetric(QStyle::PM_ToolBarExtensionExtent));
}

TEST(QuietStyle, WrapsTheApplicationsOwnStyleOnceAndTheOverflowButtonShowsItsPicture) {
  QStyle* own = QApplication::style();
  const QString ownName = own->name();
  const QImage expected = ImageOf(own->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton));
  InstallQuietStyle();
  auto* quiet = dynamic_cast<QuietStyle*>(QApplication::style());
  ASSERT_NE(quiet, nullptr);
  EXPECT_EQ(quiet->baseStyle(), own) << "the same style object, kept";
  InstallQuietStyle();
  EXPECT_EQ(QApplication::style(), quiet);
  {
    QMainWindow window;
    QToolBar* bar = window.addToolBar(QStringLiteral("tools"));
    for (int i = 0; i < 30; ++i) bar->addAction(QStringLiteral("Action %1").arg(i));
    window.resize(200, 120);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto* overflow = bar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"));
    ASSERT_NE(overflow, nullptr);
    EXPECT_TRUE(overflow->isVisible());
    EXPECT_EQ(ImageOf(overflow->icon()), expected);
  }
  // Later tests get a plain style again.
  QApplication::setStyle(QStyleFactory::create(ownName));
}

}  // namespace
}  // namespace tolvik::ui
