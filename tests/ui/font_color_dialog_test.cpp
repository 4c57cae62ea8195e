#include "ui/font_color_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstring>

namespace tolvik::ui {
namespace {

TextFormat Record(const QString& face, int twips, uint32_t effects, uint32_t colour) {
  TextFormat r = DefaultTextFormat();
  r.mask = 0xFFFFFFFFu;
  r.height = twips;
  r.effects = effects;
  r.colour = colour;
  const QByteArray name = face.toUtf8();
  std::memcpy(r.faceName, name.constData(), std::min<size_t>(name.size(), sizeof r.faceName - 1));
  return r;
}

// A face with bold and italic styles, so every effect can be shown.
QString StyledFace() {
  for (const QString& family : QFontDatabase::families()) {
    const QStringList styles = QFontDatabase::styles(family);
    if (QFontDatabase::isScalable(family) && styles.contains("Bold") &&
        (styles.contains("Italic") || styles.contains("Oblique"))) {
      return family;
    }
  }
  return QFontDatabase::families().first();
}

QCheckBox* EffectBox(QWidget& dialog, const QString& label) {
  for (QCheckBox* box : dialog.findChildren<QCheckBox*>()) {
    if (box->text().remove(u'&') == label) return box;
  }
  return nullptr;
}

TEST(FontColorDialog, RecordRoundTripsWithTheTypeNumberAndAllMaskBits) {
  const QString face = StyledFace();
  FontColorDialog dialog(TextType::Whispers);
  dialog.setRecord(Record(face, 240, kCfeBold | kCfeUnderline, 0x0000FF00));

  const TextFormat r = dialog.record();
  EXPECT_EQ(r.size, 60u);
  EXPECT_EQ(r.mask, 0xFFFFFFFFu);
  EXPECT_EQ(r.effects, kCfeBold | kCfeUnderline | (6u << 20));
  EXPECT_EQ(r.height, 240);
  EXPECT_EQ(r.offset, 0);
  EXPECT_EQ(r.colour, 0x0000FF00u);
  EXPECT_EQ(QString::fromUtf8(r.faceName), face);
}

TEST(FontColorDialog, UrlAndHighlightRecordsGetTheirOwnSizeAndBits) {
  TextFormat url = DefaultUrlFormat();
  url.extra[3] = 0x5A;  // carried along untouched
  FontColorDialog urlDialog(TextType::URLs);
  urlDialog.setRecord(url);
  const TextFormat u = urlDialog.record();
  EXPECT_EQ(u.size, 84u);
  EXPECT_EQ(u.effects, kCfeUnderline | kCfeLink);
  EXPECT_EQ(u.height, 200);
  EXPECT_EQ(u.colour, 0x00FFFFFFu);
  EXPECT_EQ(u.extra[3], 0x5A);

  FontColorDialog highlight(std::nullopt);
  highlight.setRecord(Record(StyledFace(), 200, kCfeItalic | kCfeStrikeOut, 0x000000FF));
  const TextFormat h = highlight.record();
  EXPECT_EQ(h.size, 60u);
  EXPECT_EQ(h.effects, kCfeItalic | kCfeStrikeOut);
}

TEST(FontColorDialog, EffectBoxesAndColourButtonChangeTheRecord) {
  FontColorDialog dialog(TextType::MyText);
  dialog.setRecord(Record(StyledFace(), 200, kCfeUnderline, 0x00FFFFFF));
  ASSERT_EQ(dialog.record().effects, kCfeUnderline | (1u << 20)) << "an upright record shows upright";
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));

  QCheckBox* underline = EffectBox(dialog, "Underline");
  QCheckBox* strikeOut = EffectBox(dialog, "Strikeout");
  ASSERT_NE(underline, nullptr);
  ASSERT_NE(strikeOut, nullptr);
  EXPECT_TRUE(underline->isChecked());
  const QPoint onBox(6, underline->height() / 2);
  QTest::mouseClick(underline, Qt::LeftButton, {}, onBox);
  QTest::mouseClick(strikeOut, Qt::LeftButton, {}, onBox);

  QTimer::singleShot(0, [] {
    auto* picker = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(picker, nullptr);
    picker->setCurrentColor(QColor(0x11, 0x22, 0x33));
    picker->accept();
  });
  QPushButton* colour = nullptr;
  for (QPushButton* b : dialog.findChildren<QPushButton*>()) {
    if (b->text() == "&Color...") colour = b;
  }
  ASSERT_NE(colour, nullptr);
  QTest::mouseClick(colour, Qt::LeftButton);

  const TextFormat r = dialog.record();
  EXPECT_EQ(r.effects, kCfeStrikeOut | (1u << 20));
  EXPECT_EQ(r.colour, 0x00332211u);
}


// Esc and Enter pressed inside the embedded font panel answer for the whole
// chooser instead of hiding the panel and leaving an empty dialog behind.
TEST(FontColorDialog, KeysInTheFontPanelCloseTheWholeChooser) {
  const struct {
    Qt::Key key;
    int result;
  } cases[] = {{Qt::Key_Escape, QDialog::Rejected}, {Qt::Key_Return, QDialog::Accepted}, {Qt::Key_Enter, QDialog::Accepted}};
  for (const auto& c : cases) {
    FontColorDialog dialog(TextType::MyText);
    dialog.setRecord(Record(StyledFace(), 200, 0, 0x00FFFFFF));
    auto* panel = dialog.findChild<QFontDialog*>();
    ASSERT_NE(panel, nullptr);
    QListView* styles = nullptr;
    for (QListView* list : panel->findChildren<QListView*>())
      if (list->isVisibleTo(panel)) styles = list;  // the last of face, style and size
    ASSERT_NE(styles, nullptr);
    int result = -1;
    QTimer::singleShot(0, [&] {
      QApplication::setActiveWindow(&dialog);
      styles->setFocus();
      QTest::keyClick(styles, c.key);
      if (dialog.isVisible()) dialog.reject();  // the key went nowhere: end the loop
    });
    result = dialog.exec();
    EXPECT_EQ(result, c.result) << "key " << c.key;
    EXPECT_TRUE(panel->isVisibleTo(&dialog)) << "key " << c.key;
  }
}

// After a cancelled pick, the dialog opens again with its panel in place.
TEST(FontColorDialog, PanelIsShownWhenTheChooserOpensAgain) {
  FontColorDialog dialog(TextType::MyText);
  auto* panel = dialog.findChild<QFontDialog*>();
  ASSERT_NE(panel, nullptr);
  QTimer::singleShot(0, [&] { QTest::keyClick(panel->focusWidget() ? panel->focusWidget() : panel, Qt::Key_Escape); });
  EXPECT_EQ(dialog.exec(), QDialog::Rejected);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  EXPECT_TRUE(panel->isVisible());
  dialog.hide();
}

}  // namespace
}  // namespace tolvik::ui
