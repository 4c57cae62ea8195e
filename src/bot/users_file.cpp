#include "bot/users_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "storage/atomic_file.h"
#include "bot/read_word.h"

namespace tolvik {
namespace {

// Makes a finished rename durable; a failure here does not undo the rename.
void SyncDirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::string JoinPath(const std::string& dir, const char* name) {
  if (dir.empty()) return name;
  std::string path = dir;
  if (path.back() != '/') path += '/';
  path += name;
  return path;
}

bool IsLevelHeader(std::string_view token) { return token.substr(0, 4) == "[Lev"; }

int HeaderLevel(std::string_view token) {
  int level = 0;
  token = token.substr(0, kListWordMax);
  for (size_t i = 6; i < token.size() && token[i] >= '0' && token[i] <= '9'; ++i) {
    int digit = token[i] - '0';
    if (level > (INT_MAX - digit) / 10) return INT_MAX;
    level = level * 10 + digit;
  }
  return level;
}

std::string MakeLevelHeader(int level) { return "[Level" + std::to_string(level) + "]"; }

bool IsListableName(std::string_view name) {
  if (name.empty() || IsLevelHeader(name)) return false;
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u <= ' ' || u == 0x7f || c == ',') return false;
  }
  return true;
}

UsersFileRewrite::UsersFileRewrite(std::string dir)
    : list_path_(JoinPath(dir, kUsersFileName)), temp_path_(JoinPath(dir, kUsersTempName)) {}

UsersFileRewrite::~UsersFileRewrite() { Abandon(); }

void UsersFileRewrite::Abandon() {
  if (temp_ == nullptr) return;
  std::fclose(temp_);
  temp_ = nullptr;
  ::unlink(temp_path_.c_str());
}

bool UsersFileRewrite::Open() {
  std::FILE* list = std::fopen(list_path_.c_str(), "rb");
  if (list == nullptr) return false;
  struct stat st{};
  bool have_mode = ::fstat(fileno(list), &st) == 0 && S_ISREG(st.st_mode);

  std::string bytes;
  char chunk[8192];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, list)) > 0) bytes.append(chunk, n);
  list_ok_ = !std::ferror(list);
  if (std::fclose(list) != 0) list_ok_ = false;

  temp_ = std::fopen(temp_path_.c_str(), "wb");
  if (temp_ == nullptr) return false;
  // Keep the list's permissions; only ever on a file of our own making.
  struct stat tst{};
  if (have_mode && ::fstat(fileno(temp_), &tst) == 0 && S_ISREG(tst.st_mode))
    (void)::fchmod(fileno(temp_), st.st_mode & 07777);

  tokens_.clear();
  ForEachListWord(bytes, [this](std::string_view word) { tokens_.emplace_back(word); });
  return true;
}

int UsersFileRewrite::RemoveName(std::string_view name) {
  int removed = 0;
  for (size_t i = 0; i < tokens_.size();) {
    if (!IsLevelHeader(tokens_[i]) && SameName(tokens_[i], name)) {
      tokens_.erase(tokens_.begin() + static_cast<std::ptrdiff_t>(i));
      ++removed;
    } else {
      ++i;
    }
  }
  return removed;
}

int UsersFileRewrite::RemoveNameAtLevel(std::string_view name, int level) {
  int removed = 0;
  int section = 0;
  for (size_t i = 0; i < tokens_.size();) {
    if (IsLevelHeader(tokens_[i])) {
      section = HeaderLevel(tokens_[i]);
    } else if (section == level && SameName(tokens_[i], name)) {
      tokens_.erase(tokens_.begin() + static_cast<std::ptrdiff_t>(i));
      ++removed;
      continue;
    }
    ++i;
  }
  return removed;
}

void UsersFileRewrite::PlaceName(std::string_view name, int level) {
  size_t higher = tokens_.size();
  for (size_t i = 0; i < tokens_.size(); ++i) {
    if (!IsLevelHeader(tokens_[i])) continue;
    int here = HeaderLevel(tokens_[i]);
    if (here == level) {
      tokens_.emplace(tokens_.begin() + static_cast<std::ptrdiff_t>(i + 1), name);
      return;
    }
    if (here > level && higher == tokens_.size()) higher = i;
  }
  auto at = tokens_.begin() + static_cast<std::ptrdiff_t>(higher);
  at = tokens_.emplace(at, MakeLevelHeader(level));
  tokens_.emplace(at + 1, name);
}

std::string UsersFileRewrite::Render() const {
  std::string out;
  bool header_seen = false;
  for (const std::string& token : tokens_) {
    if (IsLevelHeader(token)) {
      if (header_seen) out += "\r\n";
      header_seen = true;
    }
    out += token;
    out += "\r\n";
  }
  return out;
}

UsersFileRewrite::Outcome UsersFileRewrite::Commit() {
  Outcome outcome;
  outcome.list_ok = list_ok_;
  if (temp_ == nullptr) {
    outcome.temp_ok = false;
    return outcome;
  }
  std::string text = Render();
  bool ok = std::fwrite(text.data(), 1, text.size(), temp_) == text.size();
  ok = std::fflush(temp_) == 0 && ok;
  // A file system that cannot sync is not a failed write; lost data is.
  if (::fsync(fileno(temp_)) != 0 && (errno == EIO || errno == ENOSPC || errno == EDQUOT)) ok = false;
  ok = std::fclose(temp_) == 0 && ok;
  temp_ = nullptr;
  outcome.temp_ok = ok;

  if (outcome.list_ok && outcome.temp_ok && std::rename(temp_path_.c_str(), list_path_.c_str()) == 0) {
    outcome.replaced = true;
    ForgetReadFiles();
    SyncDirectoryOf(list_path_);
  } else {
    ::unlink(temp_path_.c_str());
  }
  return outcome;
}

}  // namespace tolvik
