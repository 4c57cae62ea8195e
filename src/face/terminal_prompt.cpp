#include "face/terminal_prompt.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "face/face_password.h"
#include "storage/atomic_file.h"

namespace tolvik {

bool ReadInputLine(int fd, std::string* line, size_t limit) {
  line->clear();
  bool any = false, too_long = false;
  for (;;) {
    char c;
    const ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    any = true;
    if (c == '\n') break;
    if (line->size() < limit)
      line->push_back(c);
    else
      too_long = true;
  }
  if (!line->empty() && line->back() == '\r') line->pop_back();
  if (too_long) WipeSecret(*line);
  return any && !too_long;
}

bool ReadSecretLine(int fd, FILE* out, const char* prompt, std::string* secret, size_t limit) {
  // Echo goes off before the prompt shows, so nothing typed after it is seen.
  termios saved{};
  const bool terminal = ::tcgetattr(fd, &saved) == 0;
  if (terminal) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    ::tcsetattr(fd, TCSANOW, &quiet);
  }
  std::fputs(prompt, out);
  std::fflush(out);
  const bool ok = ReadInputLine(fd, secret, limit);
  if (terminal) ::tcsetattr(fd, TCSANOW, &saved);
  return ok;
}

bool ReadNewFacePassword(int fd, FILE* out, std::string* password, std::string* error) {
  if (::isatty(fd) == 0) {
    if (!ReadInputLine(fd, password, kFacePasswordLimit)) {
      *error = password->empty() ? "no face password on standard input"
                                 : "the face password is longer than " + std::to_string(kFacePasswordLimit) +
                                       " bytes";
      return false;
    }
    return true;
  }
  std::string again;
  if (!ReadSecretLine(fd, out, "New face password: ", password, kFacePasswordLimit) ||
      !ReadSecretLine(fd, out, "Again: ", &again, kFacePasswordLimit)) {
    *error = "no face password given";
    return false;
  }
  const bool same = *password == again;
  WipeSecret(again);
  if (!same) {
    WipeSecret(*password);
    *error = "the two passwords differ; nothing was changed";
    return false;
  }
  return true;
}

bool AskYesNo(int fd, FILE* out, const std::string& question) {
  std::fputs(question.c_str(), out);
  std::fputs(" (yes/no) ", out);
  std::fflush(out);
  std::string answer;
  while (ReadInputLine(fd, &answer, 16)) {
    if (answer == "yes") return true;
    if (answer == "no") return false;
    std::fputs("Please type 'yes' or 'no': ", out);
    std::fflush(out);
  }
  return false;
}

bool ReadFacePasswordFile(const std::string& path, std::string* password, std::string* error) {
  std::string text;
  if (!ReadWholeFile(path, text)) {
    *error = "cannot read the face password file " + path + ": " + std::strerror(errno ? errno : ENOENT);
    return false;
  }
  const size_t end = text.find('\n');
  *password = text.substr(0, end);
  if (!password->empty() && password->back() == '\r') password->pop_back();
  WipeSecret(text);
  if (password->empty()) {
    *error = "the face password file " + path + " is empty";
    return false;
  }
  return true;
}

}  // namespace tolvik
