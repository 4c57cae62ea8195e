#include "display/chat_display.h"

#include <cstdio>
#include <cstring>

#include "display/direction_controls.h"
#include "display/line_log.h"

namespace tolvik {

ChatDisplay::ChatDisplay() : formats_(DefaultTextFormats()) {}

int ChatDisplay::print(TextType type, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int r = vprint(type, format, args);
  va_end(args);
  return r;
}

void ChatDisplay::showLine(TextType type, const char* text, const TextFormat& format) {
  append(text, format);
  if (tap_ != nullptr) tap_->lineShown(type, text, format);
}

int ChatDisplay::vprint(TextType type, const char* format, va_list args) {
  char line[512];
  int n = std::vsnprintf(line, sizeof line, format, args);
  if (n < 0) return 1;
  // Names and messages come from other users: none of them may reorder the
  // rest of the line.
  if (RemoveDirectionControls(line) < 2) return 1;
  showLine(type, line, formats_[TextTypeIndex(type)]);
  if (daily_log_ != nullptr) {
    daily_log_->Write(line);
    // Said once, and not logged itself: the log is what failed.
    const std::string problem = daily_log_->TakeProblem();
    if (!problem.empty()) showLine(TextType::BotInfo, problem.c_str(), formats_[TextTypeIndex(TextType::BotInfo)]);
  }
  return 0;
}

}  // namespace tolvik
