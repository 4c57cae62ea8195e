#pragma once
// A ChatDisplay that keeps every line with its type, for assertions.
#include <mutex>
#include <string>
#include <vector>

#include "display/chat_display.h"

namespace tolvik::testing {

class RecordingDisplay : public ChatDisplay {
 public:
  struct Line {
    std::string text;
    TextFormat format;
  };
  void append(const char* text, const TextFormat& format) override {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back({text, format});
  }
  std::vector<Line> lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  std::vector<std::string> texts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    for (const auto& l : lines_) out.push_back(l.text);
    return out;
  }
  size_t size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_.size();
  }
  // The texts from line `start` on.
  std::vector<std::string> textsFrom(size_t start) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    for (size_t i = start; i < lines_.size(); ++i) out.push_back(lines_[i].text);
    return out;
  }
  bool contains(const std::string& needle) const {
    for (const auto& t : texts())
      if (t.find(needle) != std::string::npos) return true;
    return false;
  }
  void clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Line> lines_;
};

}  // namespace tolvik::testing
