#include "ui/icons.h"

#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <algorithm>
#include <functional>
#include <utility>

namespace tolvik::ui {
namespace {

// A soft light rim around everything drawn in `icon`, `radius` device pixels
// wide: the dark outlines stay readable on a dark toolbar, and on a light one
// the rim melts into the background.
QImage WithHalo(const QImage& icon, int radius) {
  QImage halo(icon.size(), QImage::Format_ARGB32_Premultiplied);
  halo.fill(Qt::transparent);
  for (int y = 0; y < icon.height(); ++y) {
    auto* out = reinterpret_cast<QRgb*>(halo.scanLine(y));
    for (int x = 0; x < icon.width(); ++x) {
      int alpha = 0;
      for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) {
          const int sx = x + dx;
          const int sy = y + dy;
          if (sx < 0 || sy < 0 || sx >= icon.width() || sy >= icon.height()) continue;
          alpha = std::max(alpha, qAlpha(icon.pixel(sx, sy)));
        }
      const int a = alpha * 150 / 255;
      out[x] = qRgba(a, a, a, a);  // premultiplied white
    }
  }
  QPainter p(&halo);
  p.drawImage(0, 0, icon);
  p.end();
  return halo;
}

// Paints in a 16 x 15 grid whatever the pixmap's size; `scale` device pixels
// per grid unit, marked on the pixmap so it shows at 16 x 15 logical pixels.
QPixmap Paint(int scale, const std::function<void(QPainter&)>& draw) {
  QImage image(16 * scale, 15 * scale, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(scale, scale);
  draw(p);
  p.end();
  QPixmap pixmap = QPixmap::fromImage(WithHalo(image, scale));
  pixmap.setDevicePixelRatio(scale);
  return pixmap;
}

QPen Pen(const QColor& color, qreal width = 1.2) {
  return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void Plug(QPainter& p, const QColor& body) {
  p.setPen(Pen(QColor(40, 40, 40)));
  p.setBrush(body);
  p.drawRoundedRect(QRectF(3, 5, 7, 6), 1.5, 1.5);
  p.drawLine(QPointF(10, 7), QPointF(13.5, 7));
  p.drawLine(QPointF(10, 9.5), QPointF(13.5, 9.5));
  p.drawLine(QPointF(3, 8), QPointF(0.5, 8));
}

void Bubble(QPainter& p, const QColor& fill) {
  QPainterPath path;
  path.addRoundedRect(QRectF(1, 1.5, 14, 9), 3, 3);
  path.moveTo(4, 10);
  path.lineTo(3, 13.5);
  path.lineTo(7.5, 10);
  p.setPen(Pen(QColor(40, 40, 40)));
  p.setBrush(fill);
  p.drawPath(path.simplified());
}

void Head(QPainter& p, QPointF at, const QColor& fill) {
  p.setBrush(fill);
  p.drawEllipse(QRectF(at.x() - 2.2, at.y() - 5, 4.4, 4.4));
  p.drawChord(QRectF(at.x() - 4, at.y(), 8, 8), 0, 180 * 16);
}

void DrawTool(QPainter& p, ToolIcon which) {
  const QColor ink(40, 40, 40);
  switch (which) {
    case ToolIcon::Connect:
      Plug(p, QColor(60, 170, 70));
      break;
    case ToolIcon::Disconnect:
      Plug(p, QColor(150, 150, 150));
      p.setPen(Pen(QColor(200, 30, 30), 2));
      p.drawLine(QPointF(9, 1.5), QPointF(15, 6.5));
      p.drawLine(QPointF(15, 1.5), QPointF(9, 6.5));
      break;
    case ToolIcon::ConfigBot: {
      p.setPen(Pen(ink));
      p.setBrush(QColor(120, 140, 170));
      for (int i = 0; i < 8; ++i) {
        p.save();
        p.translate(8, 7.5);
        p.rotate(45.0 * i);
        p.drawRect(QRectF(-1.2, -7, 2.4, 3));
        p.restore();
      }
      p.drawEllipse(QPointF(8, 7.5), 5, 5);
      p.setBrush(Qt::white);
      p.drawEllipse(QPointF(8, 7.5), 1.8, 1.8);
      break;
    }
    case ToolIcon::Responses:
      p.setPen(Pen(ink));
      p.setBrush(QColor(70, 110, 200));
      p.drawRect(QRectF(2, 8, 3, 6));
      p.setBrush(QColor(220, 160, 40));
      p.drawRect(QRectF(6.5, 3, 3, 11));
      p.setBrush(QColor(60, 170, 70));
      p.drawRect(QRectF(11, 6, 3, 8));
      break;
    case ToolIcon::OperatorPage: {
      p.setPen(Pen(ink));
      p.setBrush(QColor(240, 200, 50));
      QPainterPath bell;
      bell.moveTo(3, 11.5);
      bell.cubicTo(5, 10, 4, 2, 8, 2);
      bell.cubicTo(12, 2, 11, 10, 13, 11.5);
      bell.closeSubpath();
      p.drawPath(bell);
      p.drawEllipse(QPointF(8, 12.8), 1.5, 1.5);
      break;
    }
    case ToolIcon::ChatUpdates:
      p.setPen(Pen(ink));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(1.5, 1, 9, 13));
      p.setPen(Pen(QColor(110, 110, 110), 1));
      for (qreal y : {4.0, 6.5, 9.0}) p.drawLine(QPointF(3, y), QPointF(9, y));
      p.setPen(Pen(QColor(30, 120, 210), 1.8));
      p.drawLine(QPointF(13.5, 2), QPointF(13.5, 13));
      p.drawLine(QPointF(11.5, 10.5), QPointF(13.5, 13));
      p.drawLine(QPointF(15.5, 10.5), QPointF(13.5, 13));
      break;
    case ToolIcon::EnterLeave:
      p.setPen(Pen(ink));
      p.setBrush(QColor(150, 100, 50));
      p.drawRect(QRectF(5, 1, 7, 13));
      p.setBrush(QColor(240, 200, 50));
      p.drawEllipse(QPointF(10, 8), 0.9, 0.9);
      p.setPen(Pen(QColor(30, 150, 60), 1.6));
      p.drawLine(QPointF(0.5, 5), QPointF(4, 5));
      p.drawLine(QPointF(2.5, 3.5), QPointF(4, 5));
      p.drawLine(QPointF(2.5, 6.5), QPointF(4, 5));
      p.setPen(Pen(QColor(200, 40, 40), 1.6));
      p.drawLine(QPointF(12.5, 10.5), QPointF(15.5, 10.5));
      p.drawLine(QPointF(14, 9), QPointF(15.5, 10.5));
      p.drawLine(QPointF(14, 12), QPointF(15.5, 10.5));
      break;
    case ToolIcon::AutoRespond:
      Bubble(p, QColor(250, 250, 250));
      p.setPen(Pen(QColor(30, 120, 210), 1.4));
      p.drawLine(QPointF(5, 6), QPointF(7, 8));
      p.drawLine(QPointF(7, 8), QPointF(11.5, 3.5));
      break;
    case ToolIcon::LastSeen:
      p.setPen(Pen(ink));
      p.setBrush(QColor(250, 250, 235));
      p.drawEllipse(QPointF(8, 7.5), 6.5, 6.5);
      p.setPen(Pen(ink, 1.4));
      p.drawLine(QPointF(8, 7.5), QPointF(8, 3.5));
      p.drawLine(QPointF(8, 7.5), QPointF(11, 9));
      break;
    case ToolIcon::ShowAliases:
      p.setPen(Pen(ink));
      Head(p, QPointF(5, 8), QColor(120, 160, 220));
      Head(p, QPointF(11, 7), QColor(230, 150, 80));
      break;
    case ToolIcon::LogAliases:
      p.setPen(Pen(ink));
      p.setBrush(QColor(160, 60, 60));
      p.drawRect(QRectF(3, 1, 10, 13));
      p.setBrush(QColor(245, 240, 220));
      p.drawRect(QRectF(5, 3, 6, 3.5));
      p.setPen(Pen(QColor(245, 240, 220), 1));
      p.drawLine(QPointF(5, 10), QPointF(11, 10));
      p.drawLine(QPointF(5, 12), QPointF(11, 12));
      break;
    case ToolIcon::Highlight:
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(255, 240, 60));
      p.drawRect(QRectF(1, 9.5, 14, 4));
      p.setPen(Pen(ink));
      p.setBrush(QColor(250, 220, 40));
      p.save();
      p.translate(9, 6);
      p.rotate(40);
      p.drawRect(QRectF(-1.8, -6, 3.6, 9));
      p.restore();
      break;
    case ToolIcon::Pings:
      p.setPen(Pen(QColor(30, 150, 60), 1.5));
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(-2, 1, 12, 12), -60 * 16, 120 * 16);
      p.drawArc(QRectF(-6, -3, 20, 20), -50 * 16, 100 * 16);
      p.setBrush(QColor(30, 150, 60));
      p.drawEllipse(QPointF(4, 7), 1.6, 1.6);
      break;
    case ToolIcon::ClearChat:
      p.setPen(Pen(ink));
      p.save();
      p.translate(8, 7.5);
      p.rotate(-35);
      p.setBrush(QColor(230, 110, 140));
      p.drawRect(QRectF(-6, -2.5, 6, 5));
      p.setBrush(QColor(90, 120, 200));
      p.drawRect(QRectF(0, -2.5, 6, 5));
      p.restore();
      p.drawLine(QPointF(1, 14), QPointF(15, 14));
      break;
    case ToolIcon::SelectServer:
      p.setPen(Pen(QColor(20, 70, 140)));
      p.setBrush(QColor(120, 180, 240));
      p.drawEllipse(QPointF(8, 7.5), 6.5, 6.5);
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QRectF(5, 1, 6, 13));
      p.drawLine(QPointF(1.5, 7.5), QPointF(14.5, 7.5));
      break;
  }
}

// An icon drawn on demand. It lists the pictures it comes in (device size
// and device pixels per logical pixel); a request is served the way the
// plain pixmap icon serves it from all of them: the picture of the nearest
// scale (the first listed of two as near); among pictures of one scale the
// smallest at least as large, by area, else the largest. That picture is
// drawn when first needed and, with `keep`, kept; without, it is drawn for
// the request and let go. What the plain icon does with a picture (scaling
// down, the disabled look) it still does: the drawn pictures sit in one.
class DrawnIconEngine : public QIconEngine {
 public:
  struct Picture {
    QSize size;  // device pixels
    qreal scale;
  };
  using Draw = std::function<QPixmap(int index)>;

  DrawnIconEngine(QList<Picture> pictures, Draw draw, bool keep)
      : pictures_(std::move(pictures)), draw_(std::move(draw)), keep_(keep), drawn_(static_cast<size_t>(pictures_.size())) {}

  QIconEngine* clone() const override { return new DrawnIconEngine(*this); }
  QString key() const override { return QStringLiteral("tolvik-drawn"); }
  bool isNull() override { return pictures_.isEmpty(); }

  QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
    QList<QSize> sizes;
    if (mode == QIcon::Normal && state == QIcon::Off)
      for (const Picture& picture : pictures_) sizes.append(picture.size);
    return sizes;
  }

  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
    if (pictures_.isEmpty()) return {};
    QSize actual = pictures_[bestIndex(size, 1.0)].size;
    if (actual.width() > size.width() || actual.height() > size.height()) actual.scale(size, Qt::KeepAspectRatio);
    return actual;
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return scaledPixmap(size, mode, state, 1.0);
  }

  // `size` is in device pixels.
  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
    if (pictures_.isEmpty()) return {};
    const QIcon icon = holding(bestIndex(size, scale));
    return scale > 1.0 ? icon.pixmap(size / scale, scale, mode, state) : icon.pixmap(size, 1.0, mode, state);
  }

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    const QPaintDevice* device = painter->device();
    const qreal ratio = device != nullptr ? device->devicePixelRatio() : 1.0;
    painter->drawPixmap(rect, scaledPixmap(rect.size() * ratio, mode, state, ratio));
  }

 private:
  // A plain icon with picture `index` among its pictures. It may hold others
  // already drawn, in the listed order: the best for a request among all the
  // pictures is then the best among those.
  QIcon holding(qsizetype index) {
    if (!keep_) {
      QIcon once;
      once.addPixmap(draw_(static_cast<int>(index)));
      return once;
    }
    QPixmap& picture = drawn_[static_cast<size_t>(index)];
    if (picture.isNull()) {
      picture = draw_(static_cast<int>(index));
      drawn_icon_ = QIcon();
      for (const QPixmap& drawn : drawn_)
        if (!drawn.isNull()) drawn_icon_.addPixmap(drawn);
    }
    return drawn_icon_;
  }

  // True when picture `a` serves a request of `size` at `scale` better than `b`.
  static bool Better(const Picture& a, const Picture& b, const QSize& size, qreal scale) {
    if (a.scale != b.scale) return qAbs(a.scale - scale) < qAbs(b.scale - scale);
    const qint64 wanted = qint64(size.width()) * size.height();
    const qint64 areaA = qint64(a.size.width()) * a.size.height();
    const qint64 areaB = qint64(b.size.width()) * b.size.height();
    if (std::max(areaA, areaB) < wanted) return areaA > areaB;
    if (std::min(areaA, areaB) >= wanted) return areaA < areaB;
    return areaA >= wanted;
  }

  qsizetype bestIndex(const QSize& size, qreal scale) const {
    qsizetype best = 0;
    for (qsizetype i = 1; i < pictures_.size(); ++i)
      if (Better(pictures_[i], pictures_[best], size, scale)) best = i;
    return best;
  }

  QList<Picture> pictures_;
  Draw draw_;
  bool keep_;
  std::vector<QPixmap> drawn_;  // null until drawn
  QIcon drawn_icon_;
};

constexpr int kToolScales[] = {1, 2, 3};
constexpr int kAppSizes[] = {16, 32, 48, 64, 128};

QPixmap DrawApp(int size) {
  // A blue shield carrying a white speech bubble: the bot that keeps a channel.
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);
  QPainterPath shield;
  shield.moveTo(32, 3);
  shield.lineTo(57, 11);
  shield.cubicTo(57, 38, 47, 52, 32, 61);
  shield.cubicTo(17, 52, 7, 38, 7, 11);
  shield.closeSubpath();
  p.setPen(QPen(QColor(16, 40, 90), 3));
  p.setBrush(QColor(36, 90, 180));
  p.drawPath(shield);
  QPainterPath bubble;
  bubble.addRoundedRect(QRectF(17, 17, 30, 20), 6, 6);
  bubble.moveTo(23, 35);
  bubble.lineTo(21, 45);
  bubble.lineTo(31, 36);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawPath(bubble.simplified());
  p.setBrush(QColor(36, 90, 180));
  for (int x : {25, 32, 39}) p.drawEllipse(QPointF(x, 27), 2.6, 2.6);
  p.end();
  return pixmap;
}

}  // namespace

QIcon DrawToolIcon(ToolIcon which) {
  // Kept once drawn: a toolbar shows its pictures again and again.
  QList<DrawnIconEngine::Picture> pictures;
  for (int scale : kToolScales) pictures.append({QSize(16 * scale, 15 * scale), qreal(scale)});
  return QIcon(new DrawnIconEngine(
      pictures, [which](int index) { return Paint(kToolScales[index], [which](QPainter& p) { DrawTool(p, which); }); },
      true));
}

QIcon DrawAppIcon() {
  // Drawn for each request and not kept: the window system takes its copies
  // when the icon is set.
  QList<DrawnIconEngine::Picture> pictures;
  for (int size : kAppSizes) pictures.append({QSize(size, size), 1.0});
  return QIcon(new DrawnIconEngine(pictures, [](int index) { return DrawApp(kAppSizes[index]); }, false));
}

}  // namespace tolvik::ui
