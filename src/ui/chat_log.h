#pragma once
// The chat log file: every displayed line as it was shown, with CR LF after it.
#include <cstdio>
#include <string>
#include <string_view>

namespace tolvik::ui {

class ChatLog {
 public:
  ChatLog() = default;
  ~ChatLog();
  ChatLog(const ChatLog&) = delete;
  ChatLog& operator=(const ChatLog&) = delete;

  // Creates or truncates the file at `path` (bytes, as the file system takes
  // them). On failure the log stays closed and `error` says why.
  bool open(const std::string& path, std::string& error);
  void close();
  bool isOpen() const { return file_ != nullptr; }
  const std::string& path() const { return path_; }

  // Writes `line` and CR LF, flushed at once so that a full disk or a file
  // removed under us is noticed at this line. On failure the log is closed
  // and `error` says why.
  bool write(std::string_view line, std::string& error);

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
};

}  // namespace tolvik::ui
