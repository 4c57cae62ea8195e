#pragma once
// The "Fonts" page of the "Bot Configurator": a text type and the "Font"
// button that opens the font-and-colour chooser on its record; a chosen
// font is stored at once.
#include "app/sheets/fonts_page.h"
#include "ui/sheets/sheet_page.h"

class QListWidget;
class QPushButton;

namespace tolvik::ui {

class FontsPageWidget : public SheetPage {
  Q_OBJECT

 public:
  FontsPageWidget(const std::string& botIni, QWidget* parent = nullptr);

  std::string_view helpText() const override { return FontsPage::kHelpText; }

  QListWidget* list() const { return list_; }
  QPushButton* fontButton() const { return font_; }

 private:
  void chooseFont();

  FontsPage page_;
  QListWidget* list_;
  QPushButton* font_;
};

}  // namespace tolvik::ui
