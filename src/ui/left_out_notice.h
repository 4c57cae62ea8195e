#pragma once
// Shows what an input field could not take (the text after its first line
// break or beyond its limit) in the chat display, so nothing typed or pasted
// goes unnoticed: one notice per paste, and one per burst of typing past the
// limit, rather than one per line or keystroke.
#include <QObject>
#include <QString>
#include <string>
#include <string_view>

class QTimer;

namespace tolvik {
class ChatDisplay;
}

namespace tolvik::ui {

class LeftOutNotice : public QObject {
  Q_OBJECT

 public:
  // Typing stops for this long: the burst's notice is shown.
  static constexpr int kBurstMs = 1000;
  // The left-out text a notice shows, in bytes; more is counted, not shown.
  static constexpr size_t kShownBytes = 360;

  // `field` names the field ("chat bar"); `maxBytes` is its limit.
  LeftOutNotice(ChatDisplay* display, const QString& field, size_t maxBytes, QObject* parent = nullptr);

  // Text the field just could not take. A paste (more than one character)
  // is shown at once, with any typing before it; a single typed character
  // waits for the end of its burst.
  void add(std::string_view leftOut);
  // Shows what is waiting now.
  void flush();
  bool pending() const { return !pending_.empty(); }

 private:
  ChatDisplay* display_;
  std::string field_;
  size_t max_bytes_;
  std::string pending_;
  QTimer* burst_;
};

// The notice's text for `leftOut`: its lines (empty ones dropped) joined by a
// return symbol, cut between characters at kShownBytes with the rest counted.
std::string LeftOutText(std::string_view leftOut);

}  // namespace tolvik::ui
