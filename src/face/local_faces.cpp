#include "face/local_faces.h"

#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tolvik {
namespace {

bool MakeAddress(const std::string& path, sockaddr_un& address, std::string* error) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    *error = "the path " + path + " is too long for a socket";
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

class LocalFaceListener : public FaceListener {
 public:
  LocalFaceListener(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~LocalFaceListener() override {
    ::close(fd_);
    // Only the bot that made it removes it: the lock says this is that bot.
    ::unlink(path_.c_str());
  }

  int Fd() const override { return fd_; }
  std::string Where() const override { return path_; }

  FaceArrival Accept(std::string* refusal) override {
    FaceArrival arrival;
    const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return arrival;
    ucred peer{};
    socklen_t len = sizeof peer;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &len) != 0) {
      *refusal = std::string("a local face whose user could not be read: ") + std::strerror(errno);
      ::close(fd);
      return arrival;
    }
    if (!LocalFacePeerAllowed(peer, ::getuid())) {
      *refusal = "a local face of user " + std::to_string(peer.uid) + " was refused: only the bot's own user may attach";
      ::close(fd);
      return arrival;
    }
    arrival.stream = std::make_unique<SocketFaceStream>(fd);
    arrival.peer = "local user " + std::to_string(peer.uid);
    return arrival;
  }

 private:
  int fd_;
  std::string path_;
};

}  // namespace

std::string FaceSocketPath(const std::string& dir) {
  return dir.empty() || dir.back() == '/' ? dir + kFaceSocketName : dir + "/" + kFaceSocketName;
}

bool LocalFacePeerAllowed(const ucred& peer, uid_t own) { return peer.uid == own; }

std::unique_ptr<FaceListener> ListenForLocalFaces(const std::string& dir, std::string* error) {
  const std::string path = FaceSocketPath(dir);
  sockaddr_un address;
  if (!MakeAddress(path, address, error)) return nullptr;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    *error = std::string("cannot make a socket: ") + std::strerror(errno);
    return nullptr;
  }
  // Whatever is there was left by a bot that is gone (this one holds the
  // lock). Anything but a socket is left alone and reported.
  struct stat st{};
  if (::lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) {
      *error = path + " exists and is not a socket";
      ::close(fd);
      return nullptr;
    }
    ::unlink(path.c_str());
  }
  // The socket is made private before anyone could connect to it.
  const mode_t old_mask = ::umask(0177);
  const int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  const int bind_errno = errno;
  ::umask(old_mask);
  if (bound != 0 || ::chmod(path.c_str(), 0600) != 0 || ::listen(fd, 16) != 0) {
    *error = "cannot listen on " + path + ": " + std::strerror(bound != 0 ? bind_errno : errno);
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<LocalFaceListener>(fd, path);
}

std::unique_ptr<FaceStream> ConnectToLocalBot(const std::string& dir, std::string* error) {
  const std::string path = FaceSocketPath(dir);
  sockaddr_un address;
  if (!MakeAddress(path, address, error)) return nullptr;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = std::string("cannot make a socket: ") + std::strerror(errno);
    return nullptr;
  }
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    *error = errno == ENOENT || errno == ECONNREFUSED ? "no bot is running in " + dir
                                                       : "cannot reach the bot in " + dir + ": " + std::strerror(errno);
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<SocketFaceStream>(fd);
}

}  // namespace tolvik
