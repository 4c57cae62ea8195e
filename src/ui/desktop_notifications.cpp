#include "ui/desktop_notifications.h"

#include <QAction>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

#include "ui/program_settings.h"

namespace tolvik::ui {
namespace {

struct KindInfo {
  const char* key;
  const char* label;
};

constexpr KindInfo kKinds[] = {
    {"Notifications/Whispers", QT_TRANSLATE_NOOP("DesktopNotifications", "Notify of &Whispers")},
    {"Notifications/Pages", QT_TRANSLATE_NOOP("DesktopNotifications", "Notify of &Pages")},
    {"Notifications/Mentions", QT_TRANSLATE_NOOP("DesktopNotifications", "Notify When &Named")},
};

// Shows balloons from the tray icon; shows the icon for them when it is hidden.
class TraySink : public NotificationSink {
 public:
  explicit TraySink(QSystemTrayIcon* tray) : tray_(tray) {}
  void show(const QString& title, const QString& text) override {
    if (tray_ == nullptr || !QSystemTrayIcon::isSystemTrayAvailable()) return;
    tray_->show();
    tray_->showMessage(title, text, QSystemTrayIcon::Information);
  }

 private:
  QSystemTrayIcon* tray_;
};

}  // namespace

DesktopNotifications::DesktopNotifications(std::function<bool()> windowActive, QObject* parent)
    : QObject(parent), window_active_(std::move(windowActive)) {
  const std::unique_ptr<QSettings> settings = OpenProgramSettings();
  for (int i = 0; i < 3; ++i) {
    auto* action = new QAction(tr(kKinds[i].label), this);
    action->setCheckable(true);
    action->setChecked(settings->value(QLatin1String(kKinds[i].key), true).toBool());
    connect(action, &QAction::toggled, this,
            [key = kKinds[i].key](bool on) { OpenProgramSettings()->setValue(QLatin1String(key), on); });
    switches_[i] = action;
  }
}

DesktopNotifications::~DesktopNotifications() = default;

void DesktopNotifications::setSink(std::unique_ptr<NotificationSink> sink) { sink_ = std::move(sink); }

void DesktopNotifications::setTrayIcon(QSystemTrayIcon* tray, const QIcon& plain) {
  tray_ = tray;
  plain_icon_ = plain;
  if (!sink_) sink_ = std::make_unique<TraySink>(tray);
}

QAction* DesktopNotifications::switchFor(AttentionKind kind) const { return switches_[static_cast<int>(kind)]; }

void DesktopNotifications::lineShown(const QString& line, const QString& ownName) {
  // A page is a whispered command: its line names who sent it.
  static const QString kCommand = QStringLiteral("Command from ");
  if (line.startsWith(kCommand)) {
    const qsizetype colon = line.indexOf(QStringLiteral(": "), kCommand.size());
    if (colon > 0) last_commander_ = line.mid(kCommand.size(), colon - kCommand.size());
  }
  if (std::optional<Attention> attention = AttentionIn(line, ownName)) notify(*attention);
}

void DesktopNotifications::paged() {
  notify({AttentionKind::Page, last_commander_, tr("The operator is paged.")});
}

void DesktopNotifications::notify(const Attention& attention) {
  if (window_active_ && window_active_()) return;
  if (!switchFor(attention.kind)->isChecked()) return;
  QString title;
  switch (attention.kind) {
    case AttentionKind::Whisper: title = tr("Whisper from %1").arg(attention.from); break;
    case AttentionKind::Page:
      title = attention.from.isEmpty() ? tr("Page") : tr("Page from %1").arg(attention.from);
      break;
    case AttentionKind::Mention: title = tr("%1 named the bot").arg(attention.from); break;
  }
  if (sink_) sink_->show(title, attention.text);
  setUnread(true);
}

void DesktopNotifications::markRead() { setUnread(false); }

void DesktopNotifications::setUnread(bool unread) {
  if (unread_ == unread) return;
  unread_ = unread;
  if (tray_ != nullptr) tray_->setIcon(unread ? WithUnreadMark(plain_icon_) : plain_icon_);
  emit unreadChanged(unread);
}

QIcon WithUnreadMark(const QIcon& icon) {
  QIcon marked;
  QList<QSize> sizes = icon.availableSizes();
  if (sizes.isEmpty()) sizes = {QSize(16, 16), QSize(32, 32), QSize(64, 64)};
  for (const QSize& size : sizes) {
    QPixmap pixmap = icon.pixmap(size);
    if (pixmap.isNull()) pixmap = QPixmap(size), pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    // A red dot with a white ring, readable on light and dark panels alike.
    const qreal d = size.width() * 0.45;
    const QRectF dot(size.width() - d - 0.5, 0.5, d, d);
    painter.setPen(QPen(Qt::white, std::max(1.0, size.width() / 16.0)));
    painter.setBrush(QColor(0xE0, 0x20, 0x20));
    painter.drawEllipse(dot);
    painter.end();
    marked.addPixmap(pixmap);
  }
  return marked;
}

}  // namespace tolvik::ui
