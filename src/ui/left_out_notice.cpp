#include "ui/left_out_notice.h"

#include <QTimer>

#include "display/chat_display.h"
#include "display/utf8_cut.h"
#include "ui/wire_text.h"

namespace tolvik::ui {
namespace {

constexpr std::string_view kLineBreakMark = " \xE2\x8F\x8E ";  // U+23CE RETURN SYMBOL

// One character of UTF-8: one byte that is not a continuation byte.
bool IsOneCharacter(std::string_view text) {
  int starts = 0;
  for (const char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++starts;
  return starts == 1;
}

}  // namespace

std::string LeftOutText(std::string_view leftOut) {
  std::string joined;
  while (!leftOut.empty()) {
    size_t end = leftOut.find_first_of("\r\n");
    if (end == std::string_view::npos) end = leftOut.size();
    const std::string_view line = leftOut.substr(0, end);
    if (!line.empty()) {
      if (!joined.empty()) joined += kLineBreakMark;
      joined += line;
    }
    leftOut.remove_prefix(std::min(end + 1, leftOut.size()));
  }
  if (joined.size() <= LeftOutNotice::kShownBytes) return joined;
  std::string_view shown = Utf8Prefix(joined, LeftOutNotice::kShownBytes);
  if (shown.empty()) shown = std::string_view(joined).substr(0, 1);  // never stall on a broken character
  return std::string(shown) + " ... (" + std::to_string(joined.size() - shown.size()) + " more bytes)";
}

LeftOutNotice::LeftOutNotice(ChatDisplay* display, const QString& field, size_t maxBytes, QObject* parent)
    : QObject(parent), display_(display), field_(ToWire(field, 64)), max_bytes_(maxBytes), burst_(new QTimer(this)) {
  burst_->setSingleShot(true);
  burst_->setInterval(kBurstMs);
  connect(burst_, &QTimer::timeout, this, &LeftOutNotice::flush);
}

void LeftOutNotice::add(std::string_view leftOut) {
  if (leftOut.empty()) return;
  pending_ += leftOut;
  if (IsOneCharacter(leftOut) && leftOut.find_first_of("\r\n") == std::string_view::npos)
    burst_->start();
  else
    flush();
}

void LeftOutNotice::flush() {
  burst_->stop();
  const std::string text = LeftOutText(pending_);
  pending_.clear();
  if (display_ == nullptr || text.empty()) return;
  display_->print(TextType::BotInfo, "Left out of the %s (one line of at most %d bytes): %s", field_.c_str(),
                  static_cast<int>(max_bytes_), text.c_str());
}

}  // namespace tolvik::ui
