#include "ui/font_color_dialog.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdlib>

#include "ui/text_format_qt.h"

namespace tolvik::ui {
namespace {

// The font dialog finds a style by name and falls back to the family's first
// style (often an oblique one) when the name is unknown, as "Normal" is for
// a family whose upright style is "Book". Name the style that fits best.
QFont WithStyleName(QFont font) {
  const QString family = font.family();
  const int wanted = font.weight() >= QFont::Bold ? QFont::Bold : QFont::Normal;
  QString best;
  int bestScore = 0;
  for (const QString& style : QFontDatabase::styles(family)) {
    int score = std::abs(QFontDatabase::weight(family, style) - wanted);
    // QFontDatabase::italic() is false for oblique styles.
    const bool slanted = QFontDatabase::italic(family, style) ||
                         style.contains(QLatin1String("Italic"), Qt::CaseInsensitive) ||
                         style.contains(QLatin1String("Oblique"), Qt::CaseInsensitive);
    if (slanted != font.italic()) score += 1000;
    if (style.contains(QLatin1String("Condensed"), Qt::CaseInsensitive)) score += 100;
    if (best.isEmpty() || score < bestScore) {
      best = style;
      bestScore = score;
    }
  }
  if (!best.isEmpty()) font.setStyleName(best);
  return font;
}

}  // namespace

FontColorDialog::FontColorDialog(std::optional<TextType> type, QWidget* parent)
    : QDialog(parent), type_(type), previous_(type == TextType::URLs ? DefaultUrlFormat() : DefaultTextFormat()) {
  setWindowTitle(tr("Font"));

  // The font dialog's own lists and effects box, shown inside this dialog.
  fonts_ = new QFontDialog(this);
  fonts_->setWindowFlags(Qt::Widget);
  fonts_->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog | QFontDialog::ScalableFonts |
                     QFontDialog::NonScalableFonts);
  // The embedded panel is still a dialog: Esc anywhere in it closes (hides)
  // it on its own, and Enter stops there without reaching our OK button.
  // Both answer for the whole chooser; the panel stays shown for the next
  // time this dialog opens.
  connect(fonts_, &QDialog::finished, this, [this](int result) {
    fonts_->setVisible(true);
    done(result == QDialog::Accepted ? QDialog::Accepted : QDialog::Rejected);
  });
  fonts_->installEventFilter(this);

  colorButton_ = new QPushButton(tr("&Color..."), this);
  connect(colorButton_, &QPushButton::clicked, this, &FontColorDialog::chooseColor);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(colorButton_);
  bottom->addStretch();
  bottom->addWidget(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(fonts_);
  layout->addLayout(bottom);

  setRecord(previous_);
}

bool FontColorDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == fonts_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    if (enter && mods == Qt::NoModifier) {
      accept();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void FontColorDialog::setRecord(const TextFormat& record) {
  previous_ = record;
  fonts_->setCurrentFont(WithStyleName(ChooserFont(record, font())));
  setColor((record.mask & kCfmColor) ? ColorFromRef(record.colour) : QColor(Qt::white));
}

TextFormat FontColorDialog::record() const {
  return RecordFromChoice(fonts_->currentFont(), color_, previous_, type_);
}

void FontColorDialog::setColor(const QColor& color) {
  color_ = color;
  QPixmap swatch(16, 16);
  swatch.fill(color_);
  colorButton_->setIcon(QIcon(swatch));
}

void FontColorDialog::chooseColor() {
  const QColor chosen = QColorDialog::getColor(color_, this, tr("Color"));
  if (chosen.isValid()) setColor(chosen);
}

bool FontColorDialog::ChooseFontAndColor(QWidget* parent, TextFormat& record, std::optional<TextType> type,
                                         const QString& title) {
  FontColorDialog dialog(type, parent);
  if (!title.isEmpty()) dialog.setWindowTitle(title);
  dialog.setRecord(record);
  if (dialog.exec() != QDialog::Accepted) return false;
  record = dialog.record();
  return true;
}

}  // namespace tolvik::ui
