#pragma once
// "Join Channel": a channel to go to, typed or picked from those entered
// since the program started.
#include <QDialog>
#include <string>

class QComboBox;

namespace tolvik {
class ChatBot;
}

namespace tolvik::ui {

class JoinChannelDialog : public QDialog {
  Q_OBJECT

 public:
  // "/join " + the name + LF fit one server line.
  static constexpr size_t kChannelLength = 248;

  explicit JoinChannelDialog(ChatBot& bot, QWidget* parent = nullptr);

  QComboBox* channelBox() const { return channels_; }
  // The combo's text as it will be sent.
  std::string channel() const;

  // "Join": queues "/join <channel>" and closes.
  void accept() override;

 private:
  ChatBot& bot_;
  QComboBox* channels_;
};

}  // namespace tolvik::ui
