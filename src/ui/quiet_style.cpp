#include "ui/quiet_style.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QStyleOption>

namespace tolvik::ui {
namespace {

// Asks the style for its picture the first time anything wants to see it.
class FetchLaterEngine : public QIconEngine {
 public:
  FetchLaterEngine(const QStyle* style, QStyle::StandardPixmap which, Qt::LayoutDirection direction)
      : style_(style), which_(which), direction_(direction) {}

  QIconEngine* clone() const override { return new FetchLaterEngine(*this); }
  QString key() const override { return QStringLiteral("tolvik-fetch-later"); }
  bool isNull() override { return icon().isNull(); }

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    icon().paint(painter, rect, Qt::AlignCenter, mode, state);
  }

  QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return pixmap(size, mode, state).size();
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return icon().pixmap(size, 1.0, mode, state);
  }

  // `size` is in device pixels.
  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
    return scale > 1.0 ? icon().pixmap(size / scale, scale, mode, state) : icon().pixmap(size, 1.0, mode, state);
  }

  QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
    return icon().availableSizes(mode, state);
  }

 private:
  const QIcon& icon() {
    if (!fetched_) {
      fetched_ = true;
      QStyleOption option;
      option.direction = direction_;
      icon_ = style_->standardIcon(which_, &option);
    }
    return icon_;
  }

  const QStyle* style_;
  QStyle::StandardPixmap which_;
  Qt::LayoutDirection direction_;
  bool fetched_ = false;
  QIcon icon_;
};

}  // namespace

QuietStyle::QuietStyle(QStyle* base) : QProxyStyle(base) {}

QIcon QuietStyle::standardIcon(StandardPixmap which, const QStyleOption* option, const QWidget* widget) const {
  if (which != SP_ToolBarHorizontalExtensionButton && which != SP_ToolBarVerticalExtensionButton)
    return QProxyStyle::standardIcon(which, option, widget);
  // The picture depends on the direction only.
  const Qt::LayoutDirection direction = option != nullptr ? option->direction : QGuiApplication::layoutDirection();
  return QIcon(new FetchLaterEngine(baseStyle(), which, direction));
}

void InstallQuietStyle() {
  QStyle* own = QApplication::style();
  if (own == nullptr || dynamic_cast<QuietStyle*>(own) != nullptr) return;
  // The proxy takes the application's style as its base and owns it from
  // now on, so the application keeps it when it is replaced.
  QApplication::setStyle(new QuietStyle(own));
}

}  // namespace tolvik::ui
