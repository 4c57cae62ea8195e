#include "ui/user_icons.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>
#include <array>

namespace tolvik::ui {
namespace {

// Device pixels per logical pixel of the pictures being drawn; painters on
// these images work in logical pixels.
qreal g_ratio = 1.0;

QImage Blank() {
  QImage image(qRound(UserIcons::kWidth * g_ratio), qRound(UserIcons::kHeight * g_ratio),
               QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(g_ratio);
  image.fill(Qt::transparent);
  return image;
}

QFont SmallFont(int pixels) {
  QFont font;
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixels);
  font.setBold(true);
  return font;
}

// Draws `text` centred in `rect`, squeezed horizontally when it is too wide.
void DrawFitted(QPainter& p, const QRectF& rect, const QString& text, const QColor& color, int pixels) {
  QFont font = SmallFont(pixels);
  const int width = QFontMetrics(font).horizontalAdvance(text);
  if (width > rect.width()) font.setStretch(std::max(50, static_cast<int>(100 * rect.width() / width)));
  p.setFont(font);
  p.setPen(color);
  p.drawText(rect, Qt::AlignCenter, text);
}

// A rounded badge with a short abbreviation: the product and status pictures.
QImage Badge(const QString& text, const QColor& fill, const QColor& ink = Qt::white) {
  QImage image = Blank();
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(fill.lighter(150));
  p.setBrush(fill);
  p.drawRoundedRect(QRectF(0.5, 0.5, UserIcons::kWidth - 1, UserIcons::kHeight - 1), 3, 3);
  DrawFitted(p, QRectF(1, 0, UserIcons::kWidth - 2, UserIcons::kHeight), text, ink, 10);
  return image;
}

QImage Megaphone() {
  QImage image = Blank();
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor body(240, 200, 40);
  p.setPen(body.darker(160));
  p.setBrush(body);
  p.drawRect(QRectF(3.5, 5.5, 3, 3));                                          // mouthpiece
  p.drawPolygon(QPolygonF({{6.5, 5.5}, {16.5, 1.5}, {16.5, 12.5}, {6.5, 8.5}}));  // horn
  p.setPen(QPen(body.darker(160), 1.5));
  p.drawLine(QPointF(9, 9), QPointF(10, 12.5));  // handle
  p.setPen(QPen(QColor(250, 250, 250), 1));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(14, 3, 6, 8), -60 * 16, 120 * 16);  // sound
  p.drawArc(QRectF(15, 1, 9, 12), -60 * 16, 120 * 16);
  return image;
}

QImage Gavel() {
  QImage image = Blank();
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor wood(170, 110, 50);
  p.translate(11, 6);
  p.rotate(35);
  p.setPen(wood.darker(170));
  p.setBrush(wood);
  p.drawRect(QRectF(-1.5, 0, 3, 9));  // handle
  p.setBrush(wood.lighter(125));
  p.drawRoundedRect(QRectF(-6, -4, 12, 5), 1.5, 1.5);  // head
  p.setBrush(wood.darker(130));
  p.drawRect(QRectF(-7, -4.5, 2, 6));  // bands
  p.drawRect(QRectF(5, -4.5, 2, 6));
  p.resetTransform();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(210, 210, 210));
  p.drawRect(QRectF(17, 11, 9, 2.5));  // block
  return image;
}

QImage RedCross() {
  QImage image = Blank();
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(230, 30, 30), 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(9, 2.5), QPointF(19, 11.5));
  p.drawLine(QPointF(19, 2.5), QPointF(9, 11.5));
  return image;
}

// Levels 0..9: a coloured digit; 10..19: a green light with the digit of level - 10.
QImage LevelPicture(int level) {
  static constexpr std::array<QRgb, 10> kDigitColors = {
      0xff8c8c8c, 0xff6fa8ff, 0xff4fd0d0, 0xff5fd35f, 0xffc8e040,
      0xffffd040, 0xffffa030, 0xffff7050, 0xffff50b0, 0xffc070ff};
  QImage image = Blank();
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF cell(0, 0, UserIcons::kLevelPictureWidth, UserIcons::kHeight);
  const int digit = level % 10;
  if (level < 10) {
    DrawFitted(p, cell, QString::number(digit), QColor::fromRgb(kDigitColors[static_cast<size_t>(digit)]), 12);
  } else {
    QRadialGradient light(QPointF(4, 5), 6);
    light.setColorAt(0, QColor(170, 255, 170));
    light.setColorAt(1, QColor(20, 150, 40));
    p.setPen(QColor(10, 90, 20));
    p.setBrush(light);
    p.drawEllipse(QRectF(0.5, 2.5, 9, 9));
    DrawFitted(p, QRectF(0, 2, 10, 10), QString::number(digit), Qt::black, 8);
  }
  return image;
}

// The idle look: grey and dimmed, same shape.
QImage Greyed(const QImage& source) {
  QImage image = source.convertToFormat(QImage::Format_ARGB32);
  image.setDevicePixelRatio(source.devicePixelRatio());
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const int grey = 70 + qGray(line[x]) / 2;
      line[x] = qRgba(grey, grey, grey, qAlpha(line[x]));
    }
  }
  QImage greyed = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  greyed.setDevicePixelRatio(source.devicePixelRatio());
  return greyed;
}

QImage ProductPicture(int slot) {
  switch (slot) {
    case 0: return Megaphone();                                      // speaker
    case 1: return Badge("CHAT", QColor(40, 120, 130));              // chat login
    case 2: return Badge("BW", QColor(110, 40, 150));                // [SEXP]
    case 3: return Badge("SC", QColor(30, 90, 190));                 // [STAR]
    case 4: return Badge("D1", QColor(150, 25, 25));                 // [DRTL]
    case 5: return Badge("PGL", QColor(30, 140, 60));                // PGL player
    case 6: return Gavel();                                          // channel operator
    case 7: return Badge("ADM", QColor(225, 235, 255), QColor(20, 50, 140));  // server staff
    case 8: return RedCross();                                       // squelched
    case 9: return Badge("SPWN", QColor(80, 100, 120));              // spawn
    case 10: return Badge("SCSW", QColor(70, 130, 220));             // [SSHR]
    case 11: return Badge("D1SW", QColor(190, 60, 60));              // [DSHR]
    case 12: return Badge("AFK", QColor(210, 120, 20));              // away
    case 13: return Badge("GST", QColor(200, 40, 160));              // special guest
    case 14: return Badge("PGLO", QColor(200, 160, 20), Qt::black);  // PGL official
    case 15: return Badge("W2", QColor(170, 90, 20));                // [W2BN]
    case 16: return Badge("WC", QColor(120, 80, 30));                // unused
    case 17: return Badge("D2", QColor(120, 10, 40));                // unused
    case 18: return Badge("SCJ", QColor(180, 30, 60));               // [JSTR]
    default: return Blank();
  }
}

}  // namespace

UserIcons::UserIcons(qreal devicePixelRatio)
    : ratio_(devicePixelRatio > 0 ? devicePixelRatio : (qApp != nullptr ? qApp->devicePixelRatio() : 1.0)),
      slots_(kCount) {}

QPixmap UserIcons::pixmap(int slot) const {
  if (slot < 0 || slot >= kCount) return {};
  QPixmap& picture = slots_[static_cast<size_t>(slot)];
  if (picture.isNull()) {
    // Drawn when first shown: a channel shows only a few of the seventy.
    g_ratio = ratio_;
    QImage image;
    if (slot < kProductIcons)
      image = ProductPicture(slot);
    else if (slot < kLevelBase + kLevels)
      image = LevelPicture(slot - kLevelBase);
    else if (slot < kIdleBase + kProductIcons)
      image = Greyed(ProductPicture(slot - kIdleBase));
    else
      image = Blank();
    picture = QPixmap::fromImage(std::move(image));
  }
  return picture;
}

QPixmap UserIcons::strip() const {
  QImage strip(qRound(kCount * kWidth * ratio_), qRound(kHeight * ratio_), QImage::Format_ARGB32_Premultiplied);
  strip.setDevicePixelRatio(ratio_);
  strip.fill(Qt::transparent);
  QPainter p(&strip);
  for (int slot = 0; slot < kCount; ++slot) p.drawPixmap(slot * kWidth, 0, pixmap(slot));
  p.end();
  return QPixmap::fromImage(std::move(strip));
}

int UserIcons::levelSlot(int level) { return level >= 0 && level < kLevels ? kLevelBase + level : -1; }

}  // namespace tolvik::ui
