#pragma once
// The whisper bars of a main window: the one "Whisper Bar" and a small bar per user.
#include <QObject>
#include <QPointer>
#include <QString>
#include <vector>

#include "ui/whisper_send.h"

class QDockWidget;
class QMainWindow;

namespace tolvik {
class ChatBar;
class ChatDisplay;
}  // namespace tolvik

namespace tolvik::ui {

class WhisperBar;
class WhisperField;

// Creates the bars on demand as floating dock widgets of `window`; they are
// destroyed when closed, or with the window.
class UserWhisperBars : public QObject {
  Q_OBJECT

 public:
  // Text the bars' fields cannot take is shown in `display` when given.
  UserWhisperBars(QMainWindow& window, ChatBar& bar, ChatDisplay* display = nullptr);
  UserWhisperBars(QMainWindow& window, WhisperSend send, ChatDisplay* display);

  // A user's own bar (names compared without regard to case): an open one is
  // raised and focused; otherwise a new one, captioned with the name cut to
  // 29 bytes, floats at the screen's top left.
  QDockWidget* open(const QString& name);
  // The open bar of `name`, or null.
  QDockWidget* find(const QString& name) const;
  int openCount() const;

  // The "Whisper Bar": focused when it is showing; otherwise shown floating
  // at the screen's top left with `selectedNames` in its names field.
  QDockWidget* openWhisperBar(const QString& selectedNames);
  // The whisper bar's contents (null until first opened).
  WhisperBar* whisperBar() const;

 private:
  struct UserBar {
    QString name;
    QPointer<QDockWidget> dock;
    WhisperField* field;
  };
  void placeAtTopLeft(QDockWidget& dock) const;
  void prune();

  QMainWindow& window_;
  WhisperSend send_;
  ChatDisplay* display_;
  std::vector<UserBar> user_bars_;
  QPointer<QDockWidget> whisper_dock_;
  WhisperBar* whisper_bar_ = nullptr;
};

}  // namespace tolvik::ui
