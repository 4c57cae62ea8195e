#pragma once
// The application's style with the toolbar's overflow button picture fetched
// only when that button is first drawn. The style keeps that picture in an
// image file, and reading one loads every image format plugin; the button
// shows only when a toolbar is too narrow for its buttons.
#include <QProxyStyle>

namespace tolvik::ui {

class QuietStyle : public QProxyStyle {
 public:
  // Takes ownership of `base`.
  explicit QuietStyle(QStyle* base);

  QIcon standardIcon(StandardPixmap which, const QStyleOption* option = nullptr,
                     const QWidget* widget = nullptr) const override;
};

// Puts the application's own style (the one chosen by the platform, -style or
// QT_STYLE_OVERRIDE) inside a QuietStyle, once. Call before any widget is made.
void InstallQuietStyle();

}  // namespace tolvik::ui
