#pragma once
// Where the terminal program's lines go. While an input line is being
// edited, each printed line goes above it and the input line is drawn again
// below, so chat output and typing share the terminal.
#include <cstdio>
#include <string_view>

namespace tolvik {

class LineEditor;

class ConsoleOutput {
 public:
  // `terminal`: whether `out` is a terminal (the bell is only rung on one).
  ConsoleOutput(FILE* out, bool terminal) : out_(out), terminal_(terminal) {}

  void SetEditor(LineEditor* editor) { editor_ = editor; }
  bool Terminal() const { return terminal_; }

  // Writes `text` and a line end. Main thread only.
  void Line(std::string_view text);
  // printf into a line of its own (no '\n' in the format).
  void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // The terminal bell; nothing when the output is a file or a pipe. Any thread.
  void Bell();

 private:
  FILE* out_;
  bool terminal_;
  LineEditor* editor_ = nullptr;
};

}  // namespace tolvik
