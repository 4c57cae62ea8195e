#pragma once
// Where the terminal program's lines go. While an input line is being
// edited, each printed line goes above it and the input line is drawn again
// below, so chat output and typing share the terminal, and goes out at once.
// Otherwise lines gather in the stream's buffer and the poll loop flushes
// them once per pass, so a flood of lines costs one write per pass, not one
// per line.
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
  // Sends what the lines since the last flush left in the buffer.
  void Flush();
  // Every line from now on goes out at once (the program is closing).
  void FlushEachLine() {
    each_line_ = true;
    Flush();
  }
  // printf into a line of its own (no '\n' in the format).
  void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // The terminal bell; nothing when the output is a file or a pipe. Any thread.
  void Bell();

 private:
  FILE* out_;
  bool terminal_;
  LineEditor* editor_ = nullptr;
  bool each_line_ = false;
};

}  // namespace tolvik
