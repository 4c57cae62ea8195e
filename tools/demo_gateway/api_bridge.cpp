#include "api_bridge.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "net/tls_stream.h"
#include "net/api/websocket_channel.h"
#include "net/websocket_handshake.h"
#include "net/chat_event.h"
#include "net/user_flags.h"

namespace tolvik::demo {
namespace {

using nlohmann::json;

// The gateway's flag bits as the API names them.
json FlagNames(uint32_t flags) {
  json names = json::array();
  if (flags & kFlagBlizzard) names.push_back("Admin");
  if (flags & kFlagOperator) names.push_back("Moderator");
  if (flags & kFlagSpeaker) names.push_back("Speaker");
  if (flags & kFlagSquelched) names.push_back("MuteGlobal");
  return names;
}

// "[W2BN]" -> "W2BN".
std::string ProgramId(const char* text) {
  std::string s(text);
  if (s.size() >= 2 && s.front() == '[' && s.back() == ']') s = s.substr(1, s.size() - 2);
  return s;
}

std::string Event(const char* command, json payload) {
  return json{{"command", std::string("Botapichat.") + command}, {"request_id", 0}, {"payload", std::move(payload)}}
      .dump(-1, ' ', false, json::error_handler_t::replace);
}

// Information lines that answer a kick, ban, unban or designate: over the
// API the request's answer says it, so the gateway's line is not passed on.
bool AnswersARequest(const char* text) {
  for (const char* s : {"was kicked out of the channel", "was banned by", "was unbanned by", "new designated heir"})
    if (std::strstr(text, s) != nullptr) return true;
  return false;
}

int ConnectLocal(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    if (fd >= 0) ::close(fd);
    return -1;
  }
  return fd;
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

ApiBridge::ApiBridge(Options options) : options_(std::move(options)) {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(options_.port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (listen_fd_ < 0 || ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listen_fd_, 4) != 0)
    throw std::runtime_error(std::string("cannot listen: ") + std::strerror(errno));
  socklen_t len = sizeof addr;
  ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  if (::pipe2(wake_pipe_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("cannot make a pipe");
}

ApiBridge::~ApiBridge() {
  ::close(listen_fd_);
  ::close(wake_pipe_[0]);
  ::close(wake_pipe_[1]);
}

void ApiBridge::stop() {
  char c = 1;
  [[maybe_unused]] ssize_t n = ::write(wake_pipe_[1], &c, 1);
}

void ApiBridge::log(const char* direction, const std::string& text) {
  if (options_.log == nullptr) return;
  std::fprintf(options_.log, "%s %s\n", direction, text.c_str());
  std::fflush(options_.log);
}

uint64_t ApiBridge::idOf(const std::string& name) {
  auto found = ids_.find(name);
  if (found != ids_.end()) return found->second;
  const uint64_t id = next_id_++;
  ids_[name] = id;
  names_[id] = name;
  return id;
}

int ApiBridge::run() {
  while (true) {
    pollfd fds[2] = {{wake_pipe_[0], POLLIN, 0}, {listen_fd_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return 1;
    }
    if (fds[0].revents & POLLIN) return 0;
    int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) continue;
    const bool served = serve(fd);
    ::close(fd);
    if (served) return 0;  // the bot logged in and has gone: the demo is over
  }
}

bool ApiBridge::serve(int fd) {
  std::string error, path;
  auto tls = api::TlsStream::Accept(fd, options_.cert_file, options_.key_file, 5000, &error);
  if (!tls || !api::ServerUpgrade(*tls, 5000, &path, &error)) {
    log("--", "a client was turned away: " + error);
    return false;
  }
  log("--", "a client connected to " + path);
  int gateway = -1;
  bool logged_in = false, done = false;
  std::string from_gateway;
  std::vector<std::string> out;
  api::WebSocketChannel ws(api::WebSocketChannel::Role::kServer, *tls, [&](std::string_view text) {
    log("<<", std::string(text).find("api_key") != std::string::npos ? "(the authentication request)"
                                                                      : std::string(text));
    json msg = json::parse(text, nullptr, false);
    if (msg.is_discarded() || !msg.is_object()) return;
    const std::string command = msg.value("command", "");
    const json id = msg.contains("request_id") ? msg["request_id"] : json(0);
    if (command == "Botapiauth.AuthenticateRequest") {
      json answer = {{"command", "Botapiauth.AuthenticateResponse"}, {"request_id", id}, {"payload", json::object()}};
      const json* payload = msg.contains("payload") ? &msg["payload"] : nullptr;
      if (payload == nullptr || !payload->is_object() || payload->value("api_key", "").empty())
        answer["status"] = {{"area", 8}, {"code", 2}};
      else
        logged_in = true;
      out.push_back(answer.dump());
    } else if (command == "Botapichat.ConnectRequest" && logged_in && gateway < 0) {
      gateway = ConnectLocal(options_.gateway_port);
      // The API puts the bot into its channel; the text gateway is asked to.
      if (gateway < 0 || !WriteAll(gateway, std::string("\x03\x04\r\n", 4) + options_.bot_name + "\r\ndemo\r\n/join " +
                                                options_.channel + "\r\n")) {
        done = true;
        return;
      }
      out.push_back(json{{"command", "Botapichat.ConnectResponse"}, {"request_id", id}, {"payload", json::object()}}.dump());
    } else {
      std::string answer;
      bool disconnect = false;
      std::string line = toGateway(std::string(text), &answer, &disconnect);
      if (!answer.empty()) out.push_back(answer);
      if (!line.empty() && gateway >= 0 && !WriteAll(gateway, line + "\r\n")) done = true;
      if (disconnect) done = true;
    }
  });

  while (!done) {
    pollfd fds[3] = {{wake_pipe_[0], POLLIN, 0}, {fd, POLLIN, 0}, {gateway, POLLIN, 0}};
    if (::poll(fds, 3, 1000) < 0 && errno != EINTR) break;
    if (fds[0].revents & POLLIN) break;
    if (!ws.Pump()) done = true;
    if (gateway >= 0 && (fds[2].revents & (POLLIN | POLLHUP))) {
      char buf[4096];
      ssize_t n = ::recv(gateway, buf, sizeof buf, 0);
      if (n <= 0) {
        done = true;
      } else {
        from_gateway.append(buf, static_cast<size_t>(n));
        size_t lf;
        while ((lf = from_gateway.find('\n')) != std::string::npos) {
          std::string line = from_gateway.substr(0, lf);
          from_gateway.erase(0, lf + 1);
          if (!line.empty() && line.back() == '\r') line.pop_back();
          std::string event = fromGateway(line);
          if (!event.empty()) out.push_back(event);
        }
      }
    }
    for (const std::string& m : out) {
      log(">>", m);
      if (!ws.SendText(m, 2000)) done = true;
    }
    out.clear();
  }
  ws.SendClose(500);
  tls->Shutdown();
  if (gateway >= 0) ::close(gateway);
  log("--", "the client disconnected");
  return logged_in;
}

std::string ApiBridge::fromGateway(const std::string& line) {
  ChatEvent e;
  ParseEvent(line.c_str(), &e);
  switch (e.id) {
    case kEvName:
      return Event("UserUpdateEventRequest", {{"user_id", idOf(e.name)}, {"toon_name", e.name}, {"flag", json::array()},
                                              {"attribute", json::array()}});
    case kEvChannel:
      return Event("ConnectEventRequest", {{"channel", e.text}});
    case kEvShowUser:
    case kEvJoin:
    case kEvUserFlags:
      return Event("UserUpdateEventRequest",
                   {{"user_id", idOf(e.name)}, {"toon_name", e.name}, {"flag", FlagNames(e.flags)},
                    {"attribute", json::array({{{"key", "ProgramId"}, {"value", ProgramId(e.text)}}})}});
    case kEvLeave:
      return Event("UserLeaveEventRequest", {{"user_id", idOf(e.name)}});
    case kEvWhisper:
      return Event("MessageEventRequest", {{"user_id", idOf(e.name)}, {"message", e.text}, {"type", "Whisper"}});
    case kEvTalk:
      return Event("MessageEventRequest", {{"user_id", idOf(e.name)}, {"message", e.text}, {"type", "Channel"}});
    case kEvEmote:
      return Event("MessageEventRequest", {{"user_id", idOf(e.name)}, {"message", e.text}, {"type", "Emote"}});
    case kEvInfo:
      // The API has no welcome line, and answers requests by their ids.
      if (std::strcmp(e.text, "Welcome to Battle.net!") == 0 || AnswersARequest(e.text)) return {};
      return Event("MessageEventRequest", {{"user_id", 0}, {"message", e.text}, {"type", "ServerInfo"}});
    case kEvError:
      return Event("MessageEventRequest", {{"user_id", 0}, {"message", e.text}, {"type", "ServerError"}});
    default:
      return {};  // echoes of sent whispers, pings and prompts have no API event
  }
}

std::string ApiBridge::toGateway(const std::string& request, std::string* answer, bool* disconnect) {
  json msg = json::parse(request, nullptr, false);
  if (msg.is_discarded() || !msg.is_object()) return {};
  const std::string command = msg.value("command", "");
  const json payload = msg.contains("payload") && msg["payload"].is_object() ? msg["payload"] : json::object();
  std::string reply = command;
  if (reply.size() > 7 && reply.compare(reply.size() - 7, 7, "Request") == 0) reply.replace(reply.size() - 7, 7, "Response");
  *answer = json{{"command", reply}, {"request_id", msg.contains("request_id") ? msg["request_id"] : json(0)},
                 {"payload", json::object()}}
                .dump();
  auto name = [&]() -> std::string {
    const uint64_t id = payload.value("user_id", uint64_t{0});
    auto found = names_.find(id);
    return found == names_.end() ? std::string() : found->second;
  };
  const std::string message = payload.value("message", "");
  if (command == "Botapichat.SendMessageRequest") return message;
  if (command == "Botapichat.SendEmoteRequest") return "/me " + message;
  if (command == "Botapichat.SendWhisperRequest") return "/msg " + name() + " " + message;
  if (command == "Botapichat.KickUserRequest") return "/kick " + name();
  if (command == "Botapichat.BanUserRequest") return "/ban " + name();
  if (command == "Botapichat.UnbanUserRequest") return "/unban " + payload.value("toon_name", "");
  if (command == "Botapichat.SendSetModeratorRequest") return "/designate " + name();
  if (command == "Botapichat.DisconnectRequest") *disconnect = true;
  return {};
}

}  // namespace tolvik::demo
