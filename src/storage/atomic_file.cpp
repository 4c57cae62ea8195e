#include "storage/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace tolvik {
namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now and reports whether close succeeded.
  bool close() {
    int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Makes the rename itself durable; a failure here does not undo the rename.
void SyncDirectory(const std::string& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// What a ReadOnceScope keeps: the bytes of each file read (none for a file
// that could not be read).
struct ReadFiles {
  std::mutex mutex;
  int scopes = 0;
  std::unordered_map<std::string, std::optional<std::string>> files;
};

ReadFiles& Kept() {
  static ReadFiles kept;
  return kept;
}

bool ReadWholeFileNow(const std::string& path, std::string& out);

}  // namespace

ReadOnceScope::ReadOnceScope() {
  std::lock_guard<std::mutex> lock(Kept().mutex);
  ++Kept().scopes;
}

ReadOnceScope::~ReadOnceScope() {
  std::lock_guard<std::mutex> lock(Kept().mutex);
  if (--Kept().scopes == 0) Kept().files.clear();
}

void ForgetReadFiles() {
  std::lock_guard<std::mutex> lock(Kept().mutex);
  Kept().files.clear();
}

bool ReadWholeFile(const std::string& path, std::string& out) {
  ReadFiles& kept = Kept();
  std::unique_lock<std::mutex> lock(kept.mutex);
  if (kept.scopes == 0) {
    lock.unlock();
    return ReadWholeFileNow(path, out);
  }
  auto it = kept.files.find(path);
  if (it == kept.files.end()) {
    std::optional<std::string> bytes;
    std::string read;
    if (ReadWholeFileNow(path, read)) bytes = std::move(read);
    it = kept.files.emplace(path, std::move(bytes)).first;
  }
  if (!it->second) {
    out.clear();
    return false;
  }
  out = *it->second;
  return true;
}

namespace {

bool ReadWholeFileNow(const std::string& path, std::string& out) {
  out.clear();
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return false;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  if (S_ISREG(st.st_mode) && st.st_size > 0) out.reserve(static_cast<size_t>(st.st_size));
  char chunk[16384];
  for (;;) {
    ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      out.clear();
      return false;
    }
    if (n == 0) break;
    out.append(chunk, static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view bytes, unsigned newFileMode) {
  if (path.empty()) return false;
  ForgetReadFiles();
  std::string temp = path + ".XXXXXX";
  Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (fd.get() < 0) return false;

  struct stat old;
  mode_t mode = static_cast<mode_t>(newFileMode & 07777);
  bool existed = ::stat(path.c_str(), &old) == 0;
  if (existed) mode = old.st_mode & 07777;
  if (HoldsSecrets(path)) mode &= 07700;

  bool ok = ::fchmod(fd.get(), mode) == 0 && WriteAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
  if (ok && existed && ::fchown(fd.get(), old.st_uid, old.st_gid) != 0) {
    // Keeping the owner only works for root; the content matters more.
  }
  ok = fd.close() && ok;
  if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
  ForgetReadFiles();
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  SyncDirectory(DirectoryOf(path));
  return true;
}

bool HoldsSecrets(std::string_view path) {
  const size_t slash = path.rfind('/');
  return path.substr(slash == std::string_view::npos ? 0 : slash + 1) == "Bot.ini";
}

namespace {

// mkostemp's suffix: six ASCII letters or digits.
bool IsTemporarySuffix(std::string_view suffix) {
  if (suffix.size() != 6) return false;
  for (char c : suffix) {
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alnum) return false;
  }
  return true;
}

bool IsOurTemporary(std::string_view name) {
  for (std::string_view file : kRewrittenFiles) {
    if (name.size() == file.size() + 7 && name.starts_with(file) && name[file.size()] == '.' &&
        IsTemporarySuffix(name.substr(file.size() + 1)))
      return true;
  }
  return false;
}

}  // namespace

int RemoveStaleTemporaries(const std::string& dir) {
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return 0;
  int removed = 0;
  while (const dirent* entry = ::readdir(d)) {
    if (!IsOurTemporary(entry->d_name)) continue;
    struct stat st;
    if (::fstatat(::dirfd(d), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    if (::unlinkat(::dirfd(d), entry->d_name, 0) == 0) ++removed;
  }
  ::closedir(d);
  return removed;
}

}  // namespace tolvik
