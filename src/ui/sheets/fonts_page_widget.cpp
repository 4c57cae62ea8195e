#include "ui/sheets/fonts_page_widget.h"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "ui/font_color_dialog.h"

namespace tolvik::ui {

FontsPageWidget::FontsPageWidget(const std::string& botIni, QWidget* parent)
    : SheetPage(parent), page_(botIni), list_(new QListWidget(this)), font_(new QPushButton(tr("Font"), this)) {
  list_->setObjectName(QStringLiteral("textTypes"));
  for (const FontsPage::Row& row : FontsPage::kRows) list_->addItem(QString::fromLatin1(row.label));
  // Nothing is selected until the user picks a row, not even when the list takes focus.
  list_->setCurrentIndex(QModelIndex());
  font_->setEnabled(false);

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(tr("Text Type"), this), 0, 0);
  grid->addWidget(list_, 1, 0, 2, 1);
  grid->addWidget(font_, 1, 1);
  grid->setRowStretch(2, 1);
  setContent(grid);

  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    page_.Select(row);
    font_->setEnabled(page_.fontEnabled());
  });
  connect(list_, &QListWidget::itemDoubleClicked, this, &FontsPageWidget::chooseFont);
  connect(font_, &QPushButton::clicked, this, &FontsPageWidget::chooseFont);
}

void FontsPageWidget::chooseFont() {
  if (!page_.fontEnabled()) return;
  TextFormat record = page_.Record();
  const QString title = tr("Font: %1").arg(list_->currentItem()->text());
  if (!FontColorDialog::ChooseFontAndColor(this, record, page_.selectedType(), title)) return;
  if (report(page_.SaveRecord(record))) emit changed();
}

}  // namespace tolvik::ui
