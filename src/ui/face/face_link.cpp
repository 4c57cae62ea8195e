#include "ui/face/face_link.h"

#include <QSocketNotifier>
#include <QTimer>
#include <memory>

#include "display/chat_display.h"
#include "face/face_stream.h"

namespace tolvik::ui {

FaceLink::FaceLink(ChatDisplay& display, Connector connector, std::string host, std::optional<std::string> password,
                   QObject* parent)
    : QObject(parent),
      display_(display),
      connector_(std::move(connector)),
      host_(std::move(host)),
      password_(std::move(password)),
      mirror_(display),
      client_(mirror_),
      retry_timer_(new QTimer(this)) {
  retry_timer_->setSingleShot(true);
  connect(retry_timer_, &QTimer::timeout, this, &FaceLink::attach);
  mirror_.on_snapshot = [this] {
    up_ = true;
    note("Attached to the bot in " + mirror_.Directory() + " (" + mirror_.BotName() + ")");
    emit attachedChanged(true);
  };
  mirror_.on_status = [this] { emit statusChanged(); };
  mirror_.on_users = [this] { emit usersChanged(); };
  mirror_.on_toggles = [this] { emit togglesChanged(); };
  mirror_.on_gauge = [this] { emit gaugeChanged(); };
  mirror_.on_reply = [this](const std::vector<std::string>& lines) {
    for (const std::string& line : lines) note(line);
  };
  mirror_.on_error = [this](const std::string& code, const std::string& message) {
    // Asking again would be refused again: a wrong password or protocol.
    if (code == "password" || code == "version") refused_ = true;
    note(message);
  };
}

FaceLink::~FaceLink() {
  // The mirror's callbacks would signal a half-destroyed object.
  mirror_.on_snapshot = nullptr;
  mirror_.on_status = mirror_.on_users = mirror_.on_toggles = mirror_.on_gauge = nullptr;
  // A connection under way ends first; what it posted here is dropped with this object.
  if (connecting_.joinable()) connecting_.join();
  client_.Close();
}

void FaceLink::note(const std::string& text) { display_.print(TextType::BotInfo, "%s", text.c_str()); }

void FaceLink::attach() {
  detached_ = false;
  retry_timer_->stop();
  unwatch();
  client_.Close();
  down();
  refused_ = false;
  if (connecting_.joinable()) return;  // one connection at a time; it is under way
  // Off the main thread: a bot over the network may take seconds to answer, or
  // never answer, and the window must not stop meanwhile.
  connecting_ = std::thread([this, connector = connector_] {
    auto stream = std::make_shared<std::unique_ptr<FaceStream>>();
    auto error = std::make_shared<std::string>();
    *stream = connector(error.get());
    QMetaObject::invokeMethod(this, [this, stream, error] { connected(std::move(*stream), *error); },
                              Qt::QueuedConnection);
  });
}

void FaceLink::connected(std::unique_ptr<FaceStream> stream, std::string error) {
  connecting_.join();
  if (detached_) return;
  if (!stream || !client_.Open(std::move(stream), host_, password_, kOpenTimeoutMs, &error)) {
    lost(QStringLiteral("Cannot attach: %1").arg(QString::fromStdString(error)));
    return;
  }
  retry_.reset();
  last_reason_.clear();
  watch();
  pump();  // the snapshot may have come with the upgrade's answer
}

void FaceLink::detach() {
  detached_ = true;
  retry_timer_->stop();
  unwatch();
  client_.Close();
  down();
}

void FaceLink::down() {
  if (!up_) return;
  up_ = false;
  emit attachedChanged(false);
}

std::optional<std::chrono::milliseconds> FaceLink::nextTry() const {
  if (!retry_timer_->isActive()) return std::nullopt;
  return std::chrono::milliseconds(retry_timer_->remainingTime());
}

void FaceLink::watch() {
  const int fd = client_.Fd();
  read_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  connect(read_, &QSocketNotifier::activated, this, &FaceLink::pump);
  write_ = new QSocketNotifier(fd, QSocketNotifier::Write, this);
  write_->setEnabled(false);
  connect(write_, &QSocketNotifier::activated, this, &FaceLink::pump);
}

void FaceLink::unwatch() {
  // Possibly from the notifier's own signal: it goes once that has returned.
  for (QSocketNotifier* notifier : {read_, write_}) {
    if (!notifier) continue;
    notifier->setEnabled(false);
    notifier->deleteLater();
  }
  read_ = write_ = nullptr;
}

void FaceLink::pump() {
  if (!client_.Pump()) {
    lost(QStringLiteral("The bot closed: %1").arg(QString::fromStdString(client_.CloseReason())));
    return;
  }
  if (write_) write_->setEnabled(client_.WantsWrite());
}

void FaceLink::lost(const QString& why) {
  unwatch();
  client_.Close();
  down();
  if (detached_) return;
  if (refused_) {
    note(why.toStdString() + "; not trying again");
    return;
  }
  const auto wait = retry_.next();
  retry_timer_->start(wait);
  // One note per reason: a bot that stays away is not announced at every try.
  const std::string reason = why.toStdString();
  if (reason == last_reason_) return;
  last_reason_ = reason;
  const long seconds = static_cast<long>((wait.count() + 999) / 1000);
  note(reason + "; trying to attach again in " + std::to_string(seconds) + " s");
}

bool FaceLink::ready() {
  if (attached()) return true;
  note("Not attached to the bot: nothing was sent.");
  return false;
}

void FaceLink::sendLine(std::string_view line) {
  if (line.empty() || !ready()) return;
  if (line.substr(0, 2) == "//")
    client_.Command(line);
  else
    client_.Say(line);
  pump();
}

void FaceLink::whisper(std::string_view names, std::string_view text) {
  if (!ready()) return;
  client_.Whisper(names, text);
  pump();
}

void FaceLink::userWhisper(std::string_view name, std::string_view text) {
  if (!ready()) return;
  client_.UserWhisper(name, text);
  pump();
}

void FaceLink::userCommand(std::string_view command, std::string_view name) {
  if (!ready()) return;
  client_.UserCommand(command, name);
  pump();
}

void FaceLink::addAlias(std::string_view name, std::string_view known) {
  if (!ready()) return;
  client_.AddAlias(name, known);
  pump();
}

void FaceLink::highlight(std::string_view name, const TextFormat& format) {
  if (!ready()) return;
  client_.Highlight(name, format);
  pump();
}

void FaceLink::setToggle(std::string_view key, bool on) {
  if (!ready()) return;
  client_.SetToggle(key, on);
  pump();
}

void FaceLink::connectBot() {
  if (!ready()) return;
  client_.Connect();
  pump();
}

void FaceLink::disconnectBot() {
  if (!ready()) return;
  client_.Disconnect();
  pump();
}

}  // namespace tolvik::ui
