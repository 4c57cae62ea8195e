#include "cli/console_output.h"

#include <algorithm>
#include <cstdarg>
#include <string>

#include "cli/line_editor.h"

namespace tolvik {

void ConsoleOutput::Line(std::string_view text) {
  if (editor_ == nullptr) {
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fputc('\n', out_);
    if (each_line_) std::fflush(out_);
    return;
  }
  editor_->HideInput();
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fputc('\n', out_);
  std::fflush(out_);
  editor_->ShowInput();
}

void ConsoleOutput::Flush() { std::fflush(out_); }

void ConsoleOutput::Printf(const char* format, ...) {
  char buf[1024];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  if (n < 0) return;
  Line(std::string_view(buf, std::min<size_t>(static_cast<size_t>(n), sizeof buf - 1)));
}

void ConsoleOutput::Bell() {
  if (!terminal_) return;
  std::fputc('\a', out_);
  std::fflush(out_);
}

}  // namespace tolvik
