#pragma once
// A window's link to a bot that runs elsewhere: the face client and the
// mirror of the bot's state, driven by the event loop. Chat lines go into the
// window's chat display. When the bot goes away the link says so there and
// attaches again by itself, soon at first and then ever more rarely, for as
// long as the window is open; a bot that refused the face's password or
// protocol is not asked again.
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "face/face_client.h"
#include "net/retry_schedule.h"

class QSocketNotifier;
class QTimer;

namespace tolvik {
class ChatDisplay;
class FaceStream;
}  // namespace tolvik

namespace tolvik::ui {

class FaceLink : public QObject {
  Q_OBJECT

 public:
  // Opens a stream to the bot; null with `error` set when no bot answers.
  using Connector = std::function<std::unique_ptr<FaceStream>(std::string* error)>;

  // Attaching again after the bot went away: 1 s, doubling to a minute.
  static constexpr RetryTimings kRetry{std::chrono::milliseconds(1000), std::chrono::milliseconds(60000), 20};
  // How long the bot may take to answer the upgrade.
  static constexpr int kOpenTimeoutMs = 5000;

  // `host` goes in the upgrade's Host header; `password` in the hello when given.
  FaceLink(ChatDisplay& display, Connector connector, std::string host, std::optional<std::string> password,
           QObject* parent = nullptr);
  ~FaceLink() override;

  // Tries to attach now (the connection is made on a thread of its own; the
  // rest follows in the event loop); on failure says why and tries again later.
  void attach();
  // Lets the bot go (it carries on) and stops trying.
  void detach();

  bool attached() const { return up_ && client_.Open(); }
  const FaceMirror& mirror() const { return mirror_; }
  // The wait before the next try, while one is due.
  std::optional<std::chrono::milliseconds> nextTry() const;

  // What a person does; each is refused with a note in the chat display
  // while the link is not attached. `//` lines are the bot's local commands.
  void sendLine(std::string_view line);
  void whisper(std::string_view names, std::string_view text);
  void userWhisper(std::string_view name, std::string_view text);
  void userCommand(std::string_view command, std::string_view name);
  void addAlias(std::string_view name, std::string_view known);
  void highlight(std::string_view name, const TextFormat& format);
  void setToggle(std::string_view key, bool on);
  void connectBot();
  void disconnectBot();

 signals:
  // The snapshot arrived (each attach); the mirror holds everything now.
  void attachedChanged(bool attached);
  void statusChanged();
  void usersChanged();
  void togglesChanged();
  void gaugeChanged();

 private:
  void connected(std::unique_ptr<FaceStream> stream, std::string error);
  bool ready();
  void pump();
  void lost(const QString& why);
  void down();
  void watch();
  void unwatch();
  void note(const std::string& text);

  ChatDisplay& display_;
  Connector connector_;
  std::string host_;
  std::optional<std::string> password_;
  FaceMirror mirror_;
  FaceClient client_;
  RetrySchedule retry_{kRetry};
  QSocketNotifier* read_ = nullptr;
  QSocketNotifier* write_ = nullptr;
  QTimer* retry_timer_;
  std::string last_reason_;
  bool detached_ = false;
  bool up_ = false;  // a snapshot arrived since the last attach
  bool refused_ = false;  // the bot turned this face away for good
  std::thread connecting_;
};

}  // namespace tolvik::ui
