#pragma once
// The font chooser for text-type and highlight records: the font dialog's
// face, style, size and effects, plus the text colour.
#include <QColor>
#include <QDialog>
#include <optional>

#include "display/text_format.h"

class QFontDialog;
class QPushButton;

namespace tolvik::ui {

class FontColorDialog : public QDialog {
  Q_OBJECT

 public:
  // `type` is the text type whose record is edited; nullopt for a user's
  // highlight record. It decides the size and extra bits of record().
  explicit FontColorDialog(std::optional<TextType> type, QWidget* parent = nullptr);

  // Shows `record`: face, height, bold, italic, underline, strike-out, colour.
  void setRecord(const TextFormat& record);
  // The chosen font and colour as a record (see RecordFromChoice).
  TextFormat record() const;

  QColor color() const { return color_; }
  void setColor(const QColor& color);

  // Runs the dialog on `record`; on OK stores the choice in it and returns true.
  static bool ChooseFontAndColor(QWidget* parent, TextFormat& record, std::optional<TextType> type,
                                 const QString& title = {});

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void chooseColor();

  std::optional<TextType> type_;
  TextFormat previous_;
  QColor color_ = Qt::white;
  QFontDialog* fonts_;
  QPushButton* colorButton_;
};

}  // namespace tolvik::ui
