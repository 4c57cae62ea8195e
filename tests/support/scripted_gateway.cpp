#include "support/scripted_gateway.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace tolvik::testing {
namespace {
const std::string kSelector("\x03\x04\r\n", 4);
}

ScriptedGateway::ScriptedGateway(uint16_t port) {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) throw std::runtime_error("socket failed");
  int one = 1;
  setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listen_fd_, 8) != 0)
    throw std::runtime_error("bind/listen failed");
  socklen_t len = sizeof addr;
  getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  if (pipe2(wake_pipe_, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  thread_ = std::thread([this] { Loop(); });
}

ScriptedGateway::~ScriptedGateway() {
  if (player_.joinable()) player_.join();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  char c = 0;
  (void)!::write(wake_pipe_[1], &c, 1);
  thread_.join();
  for (Conn& c2 : conns_)
    if (c2.fd >= 0) ::close(c2.fd);
  ::close(listen_fd_);
  ::close(wake_pipe_[0]);
  ::close(wake_pipe_[1]);
}

std::string ScriptedGateway::address() const { return "127.0.0.1:" + std::to_string(port_); }

void ScriptedGateway::Loop() {
  while (true) {
    std::vector<pollfd> fds;
    std::vector<int> which;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) return;
      fds.push_back({wake_pipe_[0], POLLIN, 0});
      fds.push_back({listen_fd_, POLLIN, 0});
      for (size_t i = 0; i < conns_.size(); ++i)
        if (conns_[i].fd >= 0 && !conns_[i].closed_by_peer && conns_[i].reading) {
          fds.push_back({conns_[i].fd, POLLIN, 0});
          which.push_back(static_cast<int>(i));
        }
    }
    if (::poll(fds.data(), fds.size(), 200) < 0 && errno != EINTR) return;
    if (fds[0].revents & POLLIN) return;
    if (fds[1].revents & POLLIN) {
      int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        conns_.push_back(Conn{fd, {}, false, true});
        cv_.notify_all();
      }
    }
    for (size_t k = 2; k < fds.size(); ++k) {
      if (!(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buf[4096];
      ssize_t n = ::recv(fds[k].fd, buf, sizeof buf, 0);
      std::lock_guard<std::mutex> lock(mutex_);
      Conn& c = conns_[which[k - 2]];
      if (n > 0)
        c.bytes.append(buf, static_cast<size_t>(n));
      else
        c.closed_by_peer = true;
      cv_.notify_all();
    }
  }
}

bool ScriptedGateway::waitForClients(int count, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return cv_.wait_for(lock, timeout, [&] { return static_cast<int>(conns_.size()) >= count; });
}

int ScriptedGateway::clientCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(conns_.size());
}

int ScriptedGateway::Resolve(int index) const { return index < 0 ? static_cast<int>(conns_.size()) - 1 : index; }

bool ScriptedGateway::selectorOk(int index) const {
  std::unique_lock<std::mutex> lock(mutex_);
  cv_.wait_for(lock, 5s, [&] {
    int i = Resolve(index);
    return i >= 0 && i < static_cast<int>(conns_.size()) &&
           (conns_[i].bytes.size() >= 4 || conns_[i].closed_by_peer);
  });
  int i = Resolve(index);
  if (i < 0 || i >= static_cast<int>(conns_.size())) return false;
  return conns_[i].bytes.compare(0, 4, kSelector) == 0;
}

bool ScriptedGateway::send(const std::string& bytes) {
  int fd;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (conns_.empty()) return false;
    fd = conns_.back().fd;
  }
  size_t off = 0;
  while (off < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    off += static_cast<size_t>(n);
  }
  return true;
}

bool ScriptedGateway::play(const std::vector<Chunk>& script) {
  for (const Chunk& c : script) {
    if (c.delay.count() > 0) std::this_thread::sleep_for(c.delay);
    if (!send(c.bytes)) return false;
  }
  return true;
}

void ScriptedGateway::playAsync(std::vector<Chunk> script) {
  waitPlayed();
  player_ = std::thread([this, s = std::move(script)] { play(s); });
}

void ScriptedGateway::waitPlayed() {
  if (player_.joinable()) player_.join();
}

std::string ScriptedGateway::received(int index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  int i = Resolve(index);
  if (i < 0 || i >= static_cast<int>(conns_.size())) return {};
  const std::string& b = conns_[i].bytes;
  if (b.compare(0, 4, kSelector) == 0) return b.substr(4);
  return b;
}

std::vector<std::string> ScriptedGateway::receivedLines(int index) const {
  std::vector<std::string> lines;
  std::string all = received(index);
  size_t start = 0;
  for (size_t lf; (lf = all.find('\n', start)) != std::string::npos; start = lf + 1)
    lines.push_back(all.substr(start, lf - start));
  if (start < all.size()) lines.push_back(all.substr(start));
  return lines;
}

bool ScriptedGateway::waitForReceived(const std::string& text, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return cv_.wait_for(lock, timeout, [&] {
    return !conns_.empty() && conns_.back().bytes.find(text, 4) != std::string::npos;
  });
}

bool ScriptedGateway::waitForClientClose(int index, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return cv_.wait_for(lock, timeout, [&] {
    int i = Resolve(index);
    return i >= 0 && i < static_cast<int>(conns_.size()) && conns_[i].closed_by_peer;
  });
}

void ScriptedGateway::closeClient() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (conns_.empty() || conns_.back().fd < 0) return;
  // Only shut down here: the loop thread may be polling this descriptor, so
  // it is closed with the others in the destructor.
  ::shutdown(conns_.back().fd, SHUT_RDWR);
}

void ScriptedGateway::stopReading() {
  // The loop leaves the connection out from its next poll (within 200 ms).
  std::lock_guard<std::mutex> lock(mutex_);
  if (!conns_.empty()) conns_.back().reading = false;
}

}  // namespace tolvik::testing
