#pragma once
// Cuts a byte stream into LF-terminated lines, keeping a partial line until
// the rest of it arrives. Fixed 4096-byte buffer; nothing is allocated.
#include <cstddef>
#include <cstring>

namespace tolvik {

class LineReader {
 public:
  static constexpr size_t kBufferSize = 4096;
  // The longest line (its CR included, its LF not) that is ever passed on.
  static constexpr size_t kMaxLineLength = kBufferSize - 1;

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

  // A word that must be seen whole even when a prompt passed on early is cut
  // inside it: the prompt's last bytes that could begin the word are held
  // back and start the next piece instead. At most 15 bytes; nullptr: none.
  void setWatchWord(const char* word) { watch_ = word; }

  // Where the next read may put bytes, and how many fit (never 0).
  char* writePtr() { return buf_ + held_; }
  size_t writeSpace() const { return kBufferSize - held_; }

  // Takes `n` bytes just written at writePtr() and calls sink(line) for each
  // complete line, in order, with its LF replaced by NUL (a CR before it is
  // kept). An unfinished line is kept for the next call (see Remainder).
  // A line longer than kMaxLineLength is dropped whole: once the buffer is
  // full without a line end, everything up to the next LF is thrown away, so
  // no part of an over-long line ever reaches the sink.
  template <class Sink>
  void commit(size_t n, Sink&& sink) {
    if (n > writeSpace()) n = writeSpace();
    size_t start = held_;
    held_ += n;
    if (discarding_) {
      char* lf = static_cast<char*>(std::memchr(buf_ + start, '\n', held_ - start));
      if (lf == nullptr) {
        held_ = 0;
        return;
      }
      discarding_ = false;
      start = static_cast<size_t>(lf - buf_) + 1;
    } else {
      start = 0;
    }
    if (start < held_ && skip_lf_) {
      // A prompt passed on at its CR: the LF that follows is not another line.
      if (buf_[start] == '\n') ++start;
    }
    if (n > 0) skip_lf_ = false;
    while (start < held_) {
      char* lf = static_cast<char*>(std::memchr(buf_ + start, '\n', held_ - start));
      if (lf == nullptr) break;
      *lf = '\0';
      sink(buf_ + start);
      start = static_cast<size_t>(lf - buf_) + 1;
    }
    size_t rest = held_ - start;
    if (rest == kBufferSize) {
      // Full and still no line end: the line can never be passed on whole.
      discarding_ = true;
      rest = 0;
    } else if (rest != 0 && remainder_ == Remainder::KeepEventLines && !IsDigit(buf_[start])) {
      size_t keep = HeldBackTail(buf_ + start, rest);
      size_t pass = rest - keep;
      if (pass > 0) {
        char saved = buf_[start + pass];
        skip_lf_ = keep == 0 && buf_[start + pass - 1] == '\r';
        buf_[start + pass] = '\0';
        sink(buf_ + start);
        buf_[start + pass] = saved;
      }
      start += pass;
      rest = keep;
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
  // Inside an over-long line, waiting for its end.
  bool discarding() const { return discarding_; }
  void reset() {
    held_ = 0;
    skip_lf_ = false;
    discarding_ = false;
  }

 private:
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  // How many of the last bytes of `s` (length `len`) are a proper beginning
  // of the watch word (the longest such ending; 0 without a word).
  size_t HeldBackTail(const char* s, size_t len) const {
    if (watch_ == nullptr) return 0;
    size_t word = strnlen(watch_, 16);
    size_t most = word - 1 < len ? word - 1 : len;
    for (size_t k = most; k > 0; --k)
      if (std::memcmp(s + len - k, watch_, k) == 0) return k;
    return 0;
  }

  Remainder remainder_;
  const char* watch_ = nullptr;
  char buf_[kBufferSize + 1];  // one spare byte so a full buffer can still be terminated
  size_t held_ = 0;
  bool skip_lf_ = false;
  bool discarding_ = false;
};

}  // namespace tolvik
