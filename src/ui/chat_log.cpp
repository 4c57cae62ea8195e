#include "ui/chat_log.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace tolvik::ui {

ChatLog::~ChatLog() { close(); }

bool ChatLog::open(const std::string& path, std::string& error) {
  close();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    error = std::strerror(errno);
    return false;
  }
  file_ = f;
  path_ = path;
  return true;
}

void ChatLog::close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

bool ChatLog::write(std::string_view line, std::string& error) {
  if (!file_) return false;
  static constexpr char kLineEnd[] = "\r\n";
  errno = 0;
  bool ok = std::fwrite(line.data(), 1, line.size(), file_) == line.size() &&
            std::fwrite(kLineEnd, 1, 2, file_) == 2 && std::fflush(file_) == 0;
  if (!ok) {
    error = errno ? std::strerror(errno) : "write failed";
  } else {
    // Lines written to a file that was deleted meanwhile would be lost unseen.
    struct stat st {};
    if (fstat(fileno(file_), &st) == 0 && st.st_nlink == 0) {
      ok = false;
      error = "the file was removed";
    }
  }
  if (!ok) close();
  return ok;
}

}  // namespace tolvik::ui
