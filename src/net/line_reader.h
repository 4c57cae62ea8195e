#pragma once
// Cuts a byte stream into LF-terminated lines, keeping a partial line until
// the rest of it arrives. Fixed 4096-byte buffer; nothing is allocated.
#include <cstddef>
#include <cstring>

namespace tolvik {

class LineReader {
 public:
  static constexpr size_t kBufferSize = 4096;

  // What becomes of an unfinished line at the end of a read.
  enum class Remainder {
    // Kept until its line end arrives (typed input).
    Keep,
    // Kept only when it begins with a digit (an event line cut by the
    // network). Anything else is a prompt that waits for an answer without
    // a line end, and is passed on at once as a line of its own.
    KeepEventLines,
  };

  explicit LineReader(Remainder remainder = Remainder::Keep) : remainder_(remainder) {}

  // Where the next read may put bytes, and how many fit.
  char* writePtr() { return buf_ + held_; }
  size_t writeSpace() const { return kBufferSize - held_; }

  // Takes `n` bytes just written at writePtr() and calls sink(line) for each
  // complete line, in order, with its LF replaced by NUL (a CR before it is
  // kept). An unfinished line is kept for the next call (see Remainder),
  // unless it fills the whole buffer, in which case it can never complete
  // and is dropped.
  template <class Sink>
  void commit(size_t n, Sink&& sink) {
    if (n > writeSpace()) n = writeSpace();
    size_t start = 0;
    if (n > 0 && skip_lf_) {
      // A prompt passed on at its CR: the LF that follows is not another line.
      skip_lf_ = false;
      if (held_ == 0 && buf_[0] == '\n') start = 1;
    }
    held_ += n;
    while (start < held_) {
      char* lf = static_cast<char*>(std::memchr(buf_ + start, '\n', held_ - start));
      if (lf == nullptr) break;
      *lf = '\0';
      sink(buf_ + start);
      start = static_cast<size_t>(lf - buf_) + 1;
    }
    size_t rest = held_ - start;
    if (rest == kBufferSize) {
      rest = 0;
    } else if (rest != 0 && remainder_ == Remainder::KeepEventLines && !IsDigit(buf_[start])) {
      skip_lf_ = buf_[held_ - 1] == '\r';
      buf_[held_] = '\0';
      sink(buf_ + start);
      rest = 0;
    }
    if (rest != 0 && start != 0) std::memmove(buf_, buf_ + start, rest);
    held_ = rest;
  }

  // Copies `data` in and cuts it, in buffer-sized pieces (handy off the socket).
  template <class Sink>
  void feed(const char* data, size_t len, Sink&& sink) {
    while (len > 0) {
      size_t n = len < writeSpace() ? len : writeSpace();
      std::memcpy(writePtr(), data, n);
      commit(n, sink);
      data += n;
      len -= n;
    }
  }

  size_t held() const { return held_; }
  void reset() {
    held_ = 0;
    skip_lf_ = false;
  }

 private:
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  Remainder remainder_;
  char buf_[kBufferSize + 1];  // one spare byte so a full buffer can still be terminated
  size_t held_ = 0;
  bool skip_lf_ = false;
};

}  // namespace tolvik
