// The About dialog names the licence and links to the project.
#include <gtest/gtest.h>

#include <QLabel>

#include "ui/dialogs/about_dialog.h"

namespace tolvik::ui {
namespace {

TEST(AboutDialogLicence, NamesTheLicenceAndLinksToTheProject) {
  AboutDialog dialog;
  auto* licence = dialog.findChild<QLabel*>(QStringLiteral("licence"));
  ASSERT_NE(licence, nullptr);
  EXPECT_TRUE(licence->text().contains(QStringLiteral("GPL-3.0-or-later")));
  EXPECT_TRUE(licence->text().contains(QStringLiteral("<a href=\"" TOLVIK_HOMEPAGE "\">")));
  EXPECT_TRUE(licence->openExternalLinks());
}

}  // namespace
}  // namespace tolvik::ui
