#include "support/api_test_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <nlohmann/json.hpp>

#include "net/tls_stream.h"
#include "net/api/websocket_channel.h"
#include "net/websocket_handshake.h"
#include "support/test_ca.h"

namespace tolvik::testing {

using nlohmann::json;

namespace {

// Reads the client's upgrade request and sends `make_answer`'s answer to it.
bool AnswerUpgrade(api::TlsStream& tls, const std::function<std::string(const std::string&)>& make_answer) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  std::string request;
  char buf[2048];
  while (request.find("\r\n\r\n") == std::string::npos) {
    long n = tls.Read(buf, sizeof buf);
    if (n > 0) {
      request.append(buf, static_cast<size_t>(n));
      continue;
    }
    if (n != api::kTlsWouldBlock || std::chrono::steady_clock::now() >= deadline) return false;
    pollfd p{tls.Fd(), POLLIN, 0};
    ::poll(&p, 1, 100);
  }
  const std::string field = "Sec-WebSocket-Key: ";
  size_t at = request.find(field);
  if (at == std::string::npos) return false;
  at += field.size();
  const std::string answer = make_answer(api::WebSocketAcceptFor(request.substr(at, request.find("\r\n", at) - at)));
  return tls.WriteAll(answer.data(), answer.size(), 5000);
}

// One unmasked text frame, as a server writes it.
std::string TextFrame(const std::string& payload) {
  std::string frame(1, static_cast<char>(0x81));
  const uint64_t len = payload.size();
  if (len < 126) {
    frame += static_cast<char>(len);
  } else if (len <= 0xFFFF) {
    frame += static_cast<char>(126);
    for (int shift : {8, 0}) frame += static_cast<char>((len >> shift) & 0xFF);
  } else {
    frame += static_cast<char>(127);
    for (int shift = 56; shift >= 0; shift -= 8) frame += static_cast<char>((len >> shift) & 0xFF);
  }
  return frame + payload;
}

// Frames are written in pieces of about this size.
constexpr size_t kWritePiece = 64 * 1024;

}  // namespace

ApiTestServer::ApiTestServer(std::string api_key) : api_key_(std::move(api_key)) {
  std::signal(SIGPIPE, SIG_IGN);  // a client that goes away must not end the test run
  GetTestCa();                    // made before the first client can come
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::listen(listen_fd_, 8);
  socklen_t len = sizeof addr;
  ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  if (::pipe2(wake_pipe_, O_CLOEXEC | O_NONBLOCK) != 0) wake_pipe_[0] = wake_pipe_[1] = -1;
  thread_ = std::thread([this] { Loop(); });
}

ApiTestServer::~ApiTestServer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  Wake();
  thread_.join();
  ::close(listen_fd_);
  ::close(wake_pipe_[0]);
  ::close(wake_pipe_[1]);
}

std::string ApiTestServer::url() const { return "wss://127.0.0.1:" + std::to_string(port_) + "/v1/rpc/chat"; }

void ApiTestServer::Wake() {
  char c = 1;
  [[maybe_unused]] ssize_t n = ::write(wake_pipe_[1], &c, 1);
}

void ApiTestServer::setApiKey(std::string api_key) {
  std::lock_guard<std::mutex> lock(mutex_);
  api_key_ = std::move(api_key);
}

void ApiTestServer::setAnswersLogin(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  answers_login_ = on;
}

void ApiTestServer::setChannelScript(std::vector<std::string> messages) {
  std::lock_guard<std::mutex> lock(mutex_);
  script_ = std::move(messages);
}

void ApiTestServer::setUpgradeAnswer(std::function<std::string(const std::string&)> answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  upgrade_answer_ = std::move(answer);
}

void ApiTestServer::setStallsUpgrade(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  stalls_upgrade_ = on;
}

bool ApiTestServer::waitForStalledUpgrade(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return cv_.wait_for(lock, timeout, [&] { return upgrade_stalled_; });
}

void ApiTestServer::sendBurst(const std::vector<std::string>& messages) {
  std::deque<Out> pieces;
  std::string piece;
  for (const std::string& m : messages) {
    piece += TextFrame(m);
    if (piece.size() >= kWritePiece) {
      pieces.push_back({Out::kFrames, std::move(piece)});
      piece.clear();
    }
  }
  if (!piece.empty()) pieces.push_back({Out::kFrames, std::move(piece)});
  {
    std::lock_guard<std::mutex> lock(mutex_);
    out_.insert(out_.end(), std::make_move_iterator(pieces.begin()), std::make_move_iterator(pieces.end()));
  }
  Wake();
}

void ApiTestServer::flood(const std::string& message, std::chrono::milliseconds duration) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    out_.push_back({Out::kFlood, TextFrame(message), duration});
    flooded_ = 0;
    flooding_ = true;
  }
  Wake();
}

long ApiTestServer::flooded() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return flooded_;
}

bool ApiTestServer::waitForFloodEnd(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return cv_.wait_for(lock, timeout, [&] { return !flooding_; });
}

void ApiTestServer::send(const std::string& text) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    out_.push_back({Out::kText, text});
  }
  Wake();
}

void ApiTestServer::respond(const std::string& request_command, int64_t request_id, int area, int code) {
  std::string command = request_command;
  if (command.size() > 7 && command.compare(command.size() - 7, 7, "Request") == 0)
    command.replace(command.size() - 7, 7, "Response");
  json msg = {{"command", command}, {"request_id", request_id}, {"payload", json::object()}};
  if (area != 0) msg["status"] = {{"area", area}, {"code", code}};
  send(msg.dump());
}

void ApiTestServer::ping() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    out_.push_back({Out::kPing, {}});
  }
  Wake();
}

void ApiTestServer::dropClient() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    out_.push_back({Out::kDrop, {}});
  }
  Wake();
}

int ApiTestServer::clientCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return clients_;
}

bool ApiTestServer::waitForClients(int count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return cv_.wait_for(lock, timeout, [&] { return clients_ >= count; });
}

std::vector<std::string> ApiTestServer::received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

std::string ApiTestServer::waitForReceived(const std::string& text, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  std::string found;
  cv_.wait_for(lock, timeout, [&] {
    for (const std::string& m : received_)
      if (m.find(text) != std::string::npos) {
        found = m;
        return true;
      }
    return false;
  });
  return found;
}

int ApiTestServer::pongs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pongs_;
}

bool ApiTestServer::closeFrameReceived() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return close_received_;
}

bool ApiTestServer::waitForClientGone(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return cv_.wait_for(lock, timeout, [&] { return client_gone_; });
}

void ApiTestServer::Loop() {
  while (true) {
    pollfd p[2] = {{listen_fd_, POLLIN, 0}, {wake_pipe_[0], POLLIN, 0}};
    ::poll(p, 2, 200);
    char sink[64];
    while (::read(wake_pipe_[0], sink, sizeof sink) > 0) {
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stop_) return;
    }
    if ((p[0].revents & POLLIN) == 0) continue;
    int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) continue;
    Serve(fd);
    ::close(fd);
  }
}

void ApiTestServer::Serve(int fd) {
  std::function<std::string(const std::string&)> upgrade_answer;
  bool stall = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    upgrade_answer = upgrade_answer_;
    stall = stalls_upgrade_;
    upgrade_stalled_ = false;
    ++clients_;
    received_.clear();
    out_.clear();
    pongs_ = 0;
    close_received_ = false;
    client_gone_ = false;
  }
  cv_.notify_all();
  auto gone = [this] {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      client_gone_ = true;
    }
    cv_.notify_all();
  };
  const TestCa& ca = GetTestCa();
  std::string error, path;
  auto tls = api::TlsStream::Accept(fd, ca.cert_file, ca.key_file, 5000, &error);
  if (!tls) return gone();
  if (stall) {
    Stall(*tls);
    return gone();
  }
  if (upgrade_answer ? !AnswerUpgrade(*tls, upgrade_answer) : !api::ServerUpgrade(*tls, 5000, &path, &error))
    return gone();

  std::vector<std::string> replies;
  api::WebSocketChannel ws(api::WebSocketChannel::Role::kServer, *tls, [&](std::string_view text) {
    json msg = json::parse(text, nullptr, false);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      received_.emplace_back(text);
    }
    cv_.notify_all();
    if (msg.is_discarded() || !msg.contains("command")) return;
    const std::string command = msg.value("command", "");
    const int64_t id = msg.value("request_id", int64_t{0});
    if (command == "Botapiauth.AuthenticateRequest") {
      json answer = {{"command", "Botapiauth.AuthenticateResponse"}, {"request_id", id}, {"payload", json::object()}};
      std::string accepted;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!answers_login_) return;
        accepted = api_key_;
      }
      if (msg["payload"].value("api_key", "") != accepted) answer["status"] = {{"area", 8}, {"code", 2}};
      replies.push_back(answer.dump());
    } else if (command == "Botapichat.ConnectRequest") {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!answers_login_) return;
      replies.push_back(json{{"command", "Botapichat.ConnectResponse"}, {"request_id", id}, {"payload", json::object()}}.dump());
      replies.insert(replies.end(), script_.begin(), script_.end());
    }
  });

  // Frames waiting to be written (whole frames per piece), and the flood's
  // piece of copies of one frame with its end.
  std::deque<std::string> frames;
  std::string flood_piece;
  long flood_count = 0;
  auto flood_until = std::chrono::steady_clock::time_point::min();
  auto end_flood = [&] {
    flood_until = std::chrono::steady_clock::time_point::min();
    std::lock_guard<std::mutex> lock(mutex_);
    flooding_ = false;
  };
  while (true) {
    const bool busy = !frames.empty() || flood_until != std::chrono::steady_clock::time_point::min();
    pollfd p[2] = {{fd, POLLIN, 0}, {wake_pipe_[0], POLLIN, 0}};
    ::poll(p, 2, busy ? 0 : 100);
    char sink[64];
    while (::read(wake_pipe_[0], sink, sizeof sink) > 0) {
    }
    bool open = ws.Pump();
    for (const std::string& r : replies) ws.SendText(r, 2000);
    replies.clear();
    std::deque<Out> out;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      pongs_ = ws.PongsReceived();
      close_received_ = close_received_ || ws.CloseReceived();
      out.swap(out_);
      if (stop_) open = false;
    }
    cv_.notify_all();
    for (Out& o : out) {
      // A message waits its turn behind a burst still being written.
      if (o.kind == Out::kText && !frames.empty()) frames.push_back(TextFrame(o.text));
      else if (o.kind == Out::kText) ws.SendText(o.text, 2000);
      if (o.kind == Out::kPing) ws.SendPing(2000);
      if (o.kind == Out::kDrop) open = false;
      if (o.kind == Out::kFrames) frames.push_back(std::move(o.text));
      if (o.kind == Out::kFlood) {
        flood_count = static_cast<long>(kWritePiece / o.text.size()) + 1;
        flood_piece.clear();
        for (long i = 0; i < flood_count; ++i) flood_piece += o.text;
        flood_until = std::chrono::steady_clock::now() + o.duration;
      }
    }
    const bool flooding = std::chrono::steady_clock::now() < flood_until;
    if (!frames.empty()) {
      if (!tls->WriteAll(frames.front().data(), frames.front().size(), 30000)) open = false;
      frames.pop_front();
    } else if (flooding) {
      if (!tls->WriteAll(flood_piece.data(), flood_piece.size(), 30000)) open = false;
      std::lock_guard<std::mutex> lock(mutex_);
      flooded_ += flood_count;
    } else if (flood_until != std::chrono::steady_clock::time_point::min()) {
      end_flood();
      cv_.notify_all();
    }
    if (!open) break;
  }
  if (flood_until != std::chrono::steady_clock::time_point::min()) end_flood();
  return gone();
}

void ApiTestServer::Stall(api::TlsStream& tls) {
  std::string request;
  char buf[2048];
  while (true) {
    long n = tls.Read(buf, sizeof buf);
    if (n == 0 || n == api::kTlsFailed) return;  // the client gave up
    if (n > 0) {
      request.append(buf, static_cast<size_t>(n));
      if (request.find("\r\n\r\n") != std::string::npos) {
        {
          std::lock_guard<std::mutex> lock(mutex_);
          upgrade_stalled_ = true;
        }
        cv_.notify_all();
      }
      continue;
    }
    pollfd p[2] = {{tls.Fd(), POLLIN, 0}, {wake_pipe_[0], POLLIN, 0}};
    ::poll(p, 2, 100);
    char sink[64];
    while (::read(wake_pipe_[0], sink, sizeof sink) > 0) {
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (stop_) return;
  }
}

}  // namespace tolvik::testing
