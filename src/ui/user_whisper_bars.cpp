#include "ui/user_whisper_bars.h"

#include <QDockWidget>
#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <algorithm>

#include "app/chat_bar.h"
#include "ui/whisper_bar.h"
#include "ui/wire_text.h"

namespace tolvik::ui {
namespace {

// "/m " + name + " " before the text.
constexpr size_t kWhisperCommandBytes = 4;

void Focus(QDockWidget& dock, QWidget& field) {
  dock.show();
  dock.raise();
  dock.activateWindow();
  field.setFocus(Qt::OtherFocusReason);
}

}  // namespace

UserWhisperBars::UserWhisperBars(QMainWindow& window, ChatBar& bar, ChatDisplay* display)
    : UserWhisperBars(window, WhisperSend::Through(bar), display) {}

UserWhisperBars::UserWhisperBars(QMainWindow& window, WhisperSend send, ChatDisplay* display)
    : QObject(&window), window_(window), send_(std::move(send)), display_(display) {}

void UserWhisperBars::prune() {
  std::erase_if(user_bars_, [](const UserBar& b) { return b.dock.isNull(); });
}

int UserWhisperBars::openCount() const {
  return static_cast<int>(
      std::count_if(user_bars_.begin(), user_bars_.end(), [](const UserBar& b) { return !b.dock.isNull(); }));
}

QDockWidget* UserWhisperBars::find(const QString& name) const {
  for (const UserBar& b : user_bars_)
    if (!b.dock.isNull() && b.name.compare(name, Qt::CaseInsensitive) == 0) return b.dock;
  return nullptr;
}

void UserWhisperBars::placeAtTopLeft(QDockWidget& dock) const {
  const QScreen* screen = window_.screen() != nullptr ? window_.screen() : QGuiApplication::primaryScreen();
  if (screen != nullptr) dock.move(screen->availableGeometry().topLeft());
}

QDockWidget* UserWhisperBars::open(const QString& name) {
  prune();
  const std::string wire_name = ToWire(name, ChatBar::kUserBarNameLength);
  const QString caption = FromWire(wire_name);
  if (caption.isEmpty()) return nullptr;
  for (UserBar& b : user_bars_)
    if (b.name.compare(caption, Qt::CaseInsensitive) == 0) {
      Focus(*b.dock, *b.field);
      return b.dock;
    }

  auto* dock = new QDockWidget(caption, &window_);
  dock->setObjectName(QStringLiteral("userWhisperBar:") + caption);
  dock->setAttribute(Qt::WA_DeleteOnClose);
  dock->setAllowedAreas(Qt::NoDockWidgetArea);
  dock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                    QDockWidget::DockWidgetFloatable);
  // The queued line with its LF fits 253 bytes; cut the text here, at a
  // character, so the line is never cut inside one.
  const size_t room = ChatBar::kUserBarLineLength - 1 - kWhisperCommandBytes - wire_name.size();
  auto* field = new WhisperField(std::min(room, ChatBar::kFieldLength), QStringLiteral("whisper to ") + caption,
                                 display_, dock);
  field->setAccessibleName(QStringLiteral("Whisper to ") + caption);
  field->setOnEnter([this, field, wire_name] {
    if (field->text().isEmpty()) return;
    send_.toUser(wire_name, ToWire(field->text()));
    field->clear();
  });
  dock->setWidget(field);
  window_.addDockWidget(Qt::TopDockWidgetArea, dock);
  dock->setFloating(true);
  // Not dockable: a double-click on the title would put it back in the layout.
  connect(dock, &QDockWidget::topLevelChanged, dock, [dock](bool floating) {
    if (!floating) dock->setFloating(true);
  });
  placeAtTopLeft(*dock);
  user_bars_.push_back({caption, dock, field});
  Focus(*dock, *field);
  return dock;
}

QDockWidget* UserWhisperBars::openWhisperBar(const QString& selectedNames) {
  if (!whisper_dock_.isNull() && whisper_dock_->isVisible()) {
    Focus(*whisper_dock_, whisper_bar_->messageField());
    return whisper_dock_;
  }
  if (whisper_dock_.isNull()) {
    auto* dock = new QDockWidget(QStringLiteral("Whisper Bar"), &window_);
    dock->setObjectName(QStringLiteral("whisperBar"));
    dock->setAllowedAreas(Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea);
    whisper_bar_ = new WhisperBar(send_, dock, display_);
    dock->setWidget(whisper_bar_);
    window_.addDockWidget(Qt::TopDockWidgetArea, dock);
    whisper_dock_ = dock;
  }
  whisper_dock_->setFloating(true);
  placeAtTopLeft(*whisper_dock_);
  whisper_dock_->show();
  whisper_dock_->raise();
  whisper_dock_->activateWindow();
  whisper_bar_->prefill(selectedNames);
  return whisper_dock_;
}

WhisperBar* UserWhisperBars::whisperBar() const { return whisper_dock_.isNull() ? nullptr : whisper_bar_; }

}  // namespace tolvik::ui
