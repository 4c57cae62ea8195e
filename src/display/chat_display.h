#pragma once
// The one printing operation every part of the core uses; front-ends supply append().
#include <cstdarg>

#include "display/text_format.h"

namespace tolvik {

class LineLog;

// Sees every line a display shows, with its text type (main thread).
class LineTap {
 public:
  virtual ~LineTap() = default;
  virtual void lineShown(TextType type, const char* text, const TextFormat& format) = 0;
};

class ChatDisplay {
 public:
  ChatDisplay();
  virtual ~ChatDisplay() = default;

  // Formats into a 512-byte buffer; a result shorter than 2 characters is
  // dropped (returns 1), otherwise append() gets it with the type's record (returns 0).
  int print(TextType type, const char* format, ...) __attribute__((format(printf, 3, 4)));
  int vprint(TextType type, const char* format, va_list args);

  // Shows one line. Called on the main thread only.
  virtual void append(const char* text, const TextFormat& format) = 0;
  // Shows a line of `type` in `format`, which may differ from the type's
  // record (a user's highlight), and hands it to the tap.
  void showLine(TextType type, const char* text, const TextFormat& format);

  const TextFormat& format(TextType type) const { return formats_[TextTypeIndex(type)]; }
  void setFormats(const TextFormats& formats) { formats_ = formats; }

  // Every line shown is also written to this daily log (none: nullptr).
  void setDailyLog(LineLog* log) { daily_log_ = log; }
  LineLog* dailyLog() const { return daily_log_; }

  // Every line shown also goes to this tap (none: nullptr).
  void setLineTap(LineTap* tap) { tap_ = tap; }
  LineTap* lineTap() const { return tap_; }

 private:
  TextFormats formats_;
  LineLog* daily_log_ = nullptr;
  LineTap* tap_ = nullptr;
};

}  // namespace tolvik
