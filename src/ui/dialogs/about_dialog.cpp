#include "ui/dialogs/about_dialog.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

namespace tolvik::ui {
namespace {

constexpr char kTitleFormat[] = "Tolvik Version %1";
constexpr const char* kThanks[] = {
    "Ada Lindqvist", "Bram Okonkwo", "Clea Marchetti", "Dario Vennholm", "Esme Tarrant", "the channel regulars",
};

// A gavel over a chat bubble, with three dots that take turns to rise as if
// someone were typing.
class AboutPicture : public QWidget {
 public:
  static constexpr int kFrameMs = 90;
  static constexpr int kFrames = 24;

  explicit AboutPicture(QWidget* parent) : QWidget(parent) {
    setFixedSize(128, 112);
    timer_.setInterval(kFrameMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
      frame_ = (frame_ + 1) % kFrames;
      update();
    });
  }

 protected:
  void showEvent(QShowEvent*) override { timer_.start(); }
  void hideEvent(QHideEvent*) override { timer_.stop(); }

  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), QColor(16, 20, 32));

    // The bubble.
    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(14, 34, 100, 56), 14, 14);
    QPolygonF tail;
    tail << QPointF(34, 88) << QPointF(26, 104) << QPointF(50, 88);
    bubble.addPolygon(tail);
    bubble.setFillRule(Qt::WindingFill);
    p.setPen(QPen(QColor(120, 200, 255), 2));
    p.setBrush(QColor(36, 72, 120));
    p.drawPath(bubble.simplified());

    // The typing dots.
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 3; ++i) {
      const double phase = 2.0 * M_PI * (frame_ - i * 3) / kFrames;
      const double lift = std::max(0.0, std::sin(phase)) * 7.0;
      p.setBrush(QColor(230, 240, 255, 150 + static_cast<int>(lift * 15)));
      p.drawEllipse(QPointF(42 + i * 22, 64 - lift), 6, 6);
    }

    // The gavel, tilted, resting on the bubble's corner.
    p.save();
    p.translate(92, 26);
    p.rotate(-35);
    p.setBrush(QColor(170, 110, 50));
    p.setPen(QPen(QColor(90, 50, 20), 1.5));
    p.drawRoundedRect(QRectF(-3, 0, 6, 30), 2, 2);
    p.setBrush(QColor(200, 140, 70));
    p.drawRoundedRect(QRectF(-14, -10, 28, 12), 3, 3);
    p.restore();
  }

 private:
  QTimer timer_;
  int frame_ = 0;
};

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("About Tolvik"));
  auto* title = new QLabel(QString::fromLatin1(kTitleFormat).arg(QStringLiteral(TOLVIK_VERSION)), this);
  QFont big = title->font();
  big.setBold(true);
  big.setPointSizeF(big.pointSizeF() * 1.3);
  title->setFont(big);
  // The licence, and where the project lives (opened in the browser).
  auto* licence = new QLabel(
      tr("Licensed under the GNU GPL version 3 or later<br>(GPL-3.0-or-later).<br><a href=\"%1\">%1</a>")
          .arg(QStringLiteral(TOLVIK_HOMEPAGE)),
      this);
  licence->setObjectName(QStringLiteral("licence"));
  licence->setTextFormat(Qt::RichText);
  licence->setOpenExternalLinks(true);
  licence->setWordWrap(true);
  // The licence's name starts a line of its own and is never broken at its hyphens.
  licence->setMinimumWidth(licence->fontMetrics().horizontalAdvance(QStringLiteral("(GPL-3.0-or-later).")) + 2);

  auto* thanks = new QGroupBox(tr("Special Thanks:"), this);
  auto* names = new QListWidget(thanks);
  for (const char* name : kThanks) names->addItem(QString::fromUtf8(name));
  names->setSelectionMode(QAbstractItemView::NoSelection);
  names->setFocusPolicy(Qt::NoFocus);
  auto* thanks_layout = new QVBoxLayout(thanks);
  thanks_layout->addWidget(names);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* text = new QVBoxLayout;
  text->addWidget(title);
  text->addWidget(licence);
  text->addStretch();
  auto* top = new QHBoxLayout;
  top->addWidget(new AboutPicture(this));
  top->addLayout(text, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(thanks);
  layout->addWidget(buttons);
  setFixedSize(sizeHint().expandedTo(QSize(360, 0)));
}

}  // namespace tolvik::ui
