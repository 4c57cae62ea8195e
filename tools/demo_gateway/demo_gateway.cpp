#include "demo_gateway.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <ctime>
#include <stdexcept>

namespace tolvik::demo {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kSelector("\x03\x04\r\n", 4);
constexpr size_t kMaxLine = 4096;  // longer lines without a line end are dropped

enum class Kind { Join, Leave, Talk, Emote, Whisper };

struct Step {
  std::chrono::milliseconds at;
  Kind kind;
  const char* name;
  const char* text;  // the product tag for a join
};

// The first minute in the channel, counted from the bot's entry.
const Step kTimeline[] = {
    {1000ms, Kind::Join, "Kestrel", "[SEXP]"},
    {2500ms, Kind::Join, "Moss", "[STAR]"},
    {4000ms, Kind::Talk, "Moss", "hi bot"},
    {5500ms, Kind::Join, "Pebble", "[W2BN]"},
    {7000ms, Kind::Emote, "Pebble", "waves"},
    {8500ms, Kind::Join, "Spamalot", "[DRTL]"},
    {9000ms, Kind::Talk, "Spamalot", "CHEAP MINERALS!!! whisper me"},
    {9300ms, Kind::Talk, "Spamalot", "CHEAP MINERALS!!! whisper me"},
    {9600ms, Kind::Talk, "Spamalot", "CHEAP MINERALS!!! whisper me"},
    {9900ms, Kind::Talk, "Spamalot", "CHEAP MINERALS!!! whisper me"},
    {10200ms, Kind::Talk, "Spamalot", "CHEAP VESPENE TOO!!!"},
    {10500ms, Kind::Talk, "Spamalot", "CHEAP VESPENE TOO!!!"},
    {11000ms, Kind::Talk, "Kestrel", "Spamalot, that is enough."},
    {11500ms, Kind::Talk, "Kestrel", "Thanks, TolvikBot."},
    {12000ms, Kind::Talk, "Spamalot", "CHEAP MINERALS!!! whisper me"},
    {14000ms, Kind::Join, "Grief", "[SSHR]"},
    {15000ms, Kind::Talk, "Grief", "this channel is lame"},
    {17000ms, Kind::Talk, "Moss", "!roll"},
    {20000ms, Kind::Whisper, "Pebble", "/level"},
    {23000ms, Kind::Whisper, "Moss", "/add Drifter"},
    {26000ms, Kind::Join, "Drifter", "[JSTR]"},
    {28000ms, Kind::Talk, "Drifter", "!rules"},
    {31000ms, Kind::Whisper, "Drifter", "/say I am in charge now"},
    {34000ms, Kind::Whisper, "Kestrel", "/say Welcome to the Tolvik demo channel!"},
    {37000ms, Kind::Talk, "Pebble", "!roll"},
    {40000ms, Kind::Leave, "Moss", ""},
    {44000ms, Kind::Whisper, "Kestrel", "/who"},
    {48000ms, Kind::Join, "Moss", "[STAR]"},
    {51000ms, Kind::Talk, "Moss", "back again"},
    {54000ms, Kind::Emote, "Kestrel", "sips tea"},
};

// After the first minute: one of these every ten seconds, round and round.
const Step kAmbient[] = {
    {0ms, Kind::Talk, "Pebble", "anyone up for a game?"},
    {0ms, Kind::Talk, "Drifter", "!rules"},
    {0ms, Kind::Emote, "Moss", "waves"},
    {0ms, Kind::Talk, "Kestrel", "!roll"},
    {0ms, Kind::Leave, "Drifter", ""},
    {0ms, Kind::Talk, "Pebble", "hi bot"},
    {0ms, Kind::Join, "Drifter", "[JSTR]"},
    {0ms, Kind::Whisper, "Pebble", "/level"},
};
constexpr auto kAmbientEvery = 10s;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool SameName(const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }

// The first word of `text` (up to a blank) and what follows the blanks after it.
std::pair<std::string, std::string> SplitWord(const std::string& text) {
  size_t start = text.find_first_not_of(' ');
  if (start == std::string::npos) return {};
  size_t end = text.find(' ', start);
  if (end == std::string::npos) return {text.substr(start), {}};
  size_t rest = text.find_first_not_of(' ', end);
  return {text.substr(start, end - start), rest == std::string::npos ? std::string() : text.substr(rest)};
}

std::string Flags(unsigned flags) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04X", flags & 0xFFFFu);
  return buf;
}

const char* ProductName(const std::string& tag) {
  if (tag == "[STAR]" || tag == "[JSTR]") return "StarCraft";
  if (tag == "[SEXP]") return "Brood War";
  if (tag == "[SSHR]") return "StarCraft Shareware";
  if (tag == "[DRTL]") return "Diablo";
  if (tag == "[DSHR]") return "Diablo Shareware";
  if (tag == "[W2BN]") return "WarCraft II";
  return "a chat client";
}

}  // namespace

DemoGateway::DemoGateway(Options options) : options_(std::move(options)) {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) throw std::runtime_error("socket failed");
  int one = 1;
  setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // never reachable from outside
  addr.sin_port = htons(options_.port);
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listen_fd_, 4) != 0) {
    ::close(listen_fd_);
    throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(options_.port));
  }
  socklen_t len = sizeof addr;
  getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  if (::pipe2(wake_pipe_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe failed");
}

DemoGateway::~DemoGateway() {
  if (client_fd_ >= 0) ::close(client_fd_);
  ::close(listen_fd_);
  ::close(wake_pipe_[0]);
  ::close(wake_pipe_[1]);
}

void DemoGateway::stop() {
  char c = 1;
  (void)!::write(wake_pipe_[1], &c, 1);
}

int DemoGateway::run() {
  while (true) {
    const short clientEvents = static_cast<short>(POLLIN | (outbox_.empty() ? 0 : POLLOUT));
    pollfd fds[3] = {{wake_pipe_[0], POLLIN, 0}, {client_fd_ < 0 ? listen_fd_ : -1, POLLIN, 0}, {client_fd_, clientEvents, 0}};
    int timeout = static_cast<int>(untilNextStep().count());
    if (client_fd_ >= 0 && phase_ != Phase::Chatting) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(connected_at_ + options_.loginTime - Clock::now());
      timeout = std::min(timeout, static_cast<int>(std::max(left, 0ms).count()));
    }
    if (::poll(fds, 3, timeout) < 0) {
      if (errno == EINTR) continue;
      return 1;
    }
    if (fds[0].revents & POLLIN) return 0;
    if (fds[1].revents & POLLIN) {
      // Non-blocking: a client that stops reading must not stall the loop.
      client_fd_ = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (client_fd_ >= 0) {
        connected_at_ = Clock::now();
        log("--", "a client connected");
      }
    }
    if (client_fd_ >= 0 && (fds[2].revents & POLLOUT)) flush();
    if (client_fd_ >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) {
      char buf[4096];
      ssize_t n = ::recv(client_fd_, buf, sizeof buf, 0);
      if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
      if (n <= 0) {
        if (dropClient("the client disconnected")) return 0;
        continue;
      }
      onBytes(buf, static_cast<size_t>(n));
    }
    if (client_fd_ >= 0 && phase_ != Phase::Chatting && Clock::now() - connected_at_ >= options_.loginTime) {
      if (dropClient("the client did not log in in time")) return 0;
    }
    if (client_fd_ >= 0) playDue();
    if (client_fd_ >= 0 && outbox_.size() > options_.maxBacklog) {
      if (dropClient("the client stopped reading")) return 0;
    }
    if (options_.log) std::fflush(options_.log);
  }
}

bool DemoGateway::dropClient(const char* why) {
  log("--", why);
  ::close(client_fd_);
  client_fd_ = -1;
  outbox_.clear();
  pending_.clear();
  if (phase_ == Phase::Chatting) return true;
  // Nobody logged in: the gateway waits for the next client.
  phase_ = Phase::Selector;
  account_.clear();
  return false;
}

void DemoGateway::onBytes(const char* data, size_t size) {
  pending_.append(data, size);
  if (phase_ == Phase::Selector) {
    if (pending_.size() < kSelector.size() && kSelector.compare(0, pending_.size(), pending_) == 0) return;
    if (pending_.compare(0, kSelector.size(), kSelector) != 0) {
      // Not a chat client: say so and hang up, as a gateway would, and wait
      // for the next one.
      send("This server speaks only the text chat protocol.");
      dropClient("not a chat client");
      return;
    }
    pending_.erase(0, kSelector.size());
    phase_ = Phase::Account;
    send("Connected to the Tolvik demo gateway on 127.0.0.1.");
    send("Enter your account name and password.");
  }
  size_t start = 0;
  for (size_t lf; (lf = pending_.find('\n', start)) != std::string::npos; start = lf + 1) {
    std::string line = pending_.substr(start, lf - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    onLine(std::move(line));
  }
  pending_.erase(0, start);
  if (pending_.size() > kMaxLine) pending_.clear();
}

void DemoGateway::onLine(std::string line) {
  log("<<", phase_ == Phase::Password ? std::string("(the password)") : line);
  switch (phase_) {
    case Phase::Selector:
      return;
    case Phase::Account:
      account_ = SplitWord(line).first;
      phase_ = Phase::Password;
      return;
    case Phase::Password:
      if (account_.empty() || line.empty()) {
        send("Login Incorrect");
        phase_ = Phase::Account;
        send("Enter your account name and password.");
        return;
      }
      phase_ = Phase::Chatting;
      bot_name_ = account_.substr(0, 15);
      send("2010 NAME " + bot_name_);
      info("Welcome to Battle.net!");
      info("This is a demonstration channel server; everyone here is made up.");
      enterChannel("Lobby");
      return;
    case Phase::Chatting:
      if (!line.empty() && line[0] == '/')
        onCommand(line.substr(1));
      else
        onTalk(line);  // not echoed back to the speaker
      return;
  }
}

void DemoGateway::onCommand(const std::string& line) {
  auto [word, rest] = SplitWord(line);
  word = Lower(word);
  const bool op = (bot_flags_ & 0x02) != 0;
  if (word == "join" || word == "j" || word == "channel") {
    if (rest.empty())
      error("What channel do you want to join?");
    else
      enterChannel(rest.substr(0, 31));
  } else if (word == "rejoin") {
    enterChannel(channel_);
  } else if (word == "kick" || word == "ban") {
    auto [target, reason] = SplitWord(rest);
    const bool ban = word == "ban";
    User* user = inCastChannel() ? findUser(target) : nullptr;
    if (!op) {
      error("You are not a channel operator.");
    } else if (target.empty() || (!user && !ban)) {
      error("That user is not logged on.");
    } else if (user && (user->flags & 0x02)) {
      error(ban ? "You can't ban a channel operator." : "You can't kick a channel operator.");
    } else {
      const std::string name = user ? user->name : target;
      if (ban && std::none_of(banned_.begin(), banned_.end(), [&](const std::string& b) { return SameName(b, name); }))
        banned_.push_back(name);
      info(name + (ban ? " was banned by " : " was kicked out of the channel by ") + bot_name_ +
           (reason.empty() ? "." : " (" + reason + ")."));
      if (user) userLeaves(name, true);
    }
  } else if (word == "unban") {
    auto target = SplitWord(rest).first;
    auto it = std::find_if(banned_.begin(), banned_.end(), [&](const std::string& b) { return SameName(b, target); });
    if (!op)
      error("You are not a channel operator.");
    else if (it == banned_.end())
      error("That user is not banned.");
    else {
      info(*it + " was unbanned by " + bot_name_ + ".");
      banned_.erase(it);
    }
  } else if (word == "designate") {
    auto target = SplitWord(rest).first;
    User* user = inCastChannel() ? findUser(target) : nullptr;
    if (!op)
      error("You are not a channel operator.");
    else if (!user)
      error("Invalid user.");
    else
      info(user->name + " is your new designated heir.");
  } else if (word == "resign") {
    if (op) {
      bot_flags_ &= ~0x02u;
      send("1009 USER " + bot_name_ + " " + Flags(bot_flags_));
    }
  } else if (word == "msg" || word == "m" || word == "w" || word == "whisper") {
    auto [target, text] = SplitWord(rest);
    User* user = findUser(target);
    if (!user || text.empty())
      error("That user is not logged on.");
    else
      send("1010 WHISPER " + user->name + " " + Flags(user->flags) + " \"" + text + "\"");
  } else if (word == "me" || word == "emote") {
    if (!rest.empty()) toChannel("1023 EMOTE " + bot_name_ + " " + Flags(bot_flags_) + " \"" + rest + "\"");
  } else if (word == "time") {
    char buf[64];
    std::time_t now = std::time(nullptr);
    std::strftime(buf, sizeof buf, "%a %b %d %H:%M:%S", std::localtime(&now));
    info(std::string("Server time: ") + buf);
  } else if (word == "whois" || word == "where" || word == "whereis") {
    auto target = SplitWord(rest).first;
    User* user = inCastChannel() ? findUser(target) : nullptr;
    if (SameName(target, bot_name_))
      info("You are " + bot_name_ + ", using a chat client in the channel " + channel_ + ".");
    else if (!user)
      error("That user is not logged on.");
    else
      info(user->name + " is using " + ProductName(user->product) + " in the channel " + options_.channel + ".");
  } else if (word == "who") {
    std::string names;
    if (inCastChannel() || SameName(rest, options_.channel))
      for (const User& u : users_) names += (names.empty() ? "" : ", ") + u.name;
    info("Users in channel " + (rest.empty() ? channel_ : rest) + ":");
    if (!names.empty()) info(names);
  } else if (word == "whoami") {
    info("You are " + bot_name_ + ", using a chat client in the channel " + channel_ + ".");
  } else if (word == "away" || word == "dnd") {
    info(rest.empty() ? "You are no longer marked as away." : "You are now marked as being away.");
  } else if (word == "help" || word == "?") {
    info("Commands here: /join /rejoin /kick /ban /unban /designate /resign /msg /me /time /whois /who /whoami /away");
  } else {
    error("That is not a valid command. Type /help or /? for more info.");
  }
}

void DemoGateway::onTalk(const std::string& text) {
  if (!inCastChannel() || users_.empty()) return;
  // A greeting is answered by the one it names, or by the first one here; a
  // welcome that names someone is thanked for.
  const std::string lower = Lower(text);
  const User* named = nullptr;
  for (const User& u : users_)
    if (lower.find(Lower(u.name)) != std::string::npos) named = &u;
  std::string answer;
  if (lower.rfind("hi", 0) == 0 || lower.rfind("hello", 0) == 0 || lower.rfind("hey", 0) == 0) {
    if (!named) named = &users_.front();
    answer = "hi " + bot_name_ + "!";
  } else if (named && lower.find("welcome") != std::string::npos) {
    answer = "thanks, " + bot_name_ + "!";
  } else {
    return;
  }
  replies_.push_back({Clock::now() + 1500ms, "1005 TALK " + named->name + " " + Flags(named->flags) + " \"" + answer + "\""});
}

void DemoGateway::send(const std::string& line) {
  if (client_fd_ < 0) return;
  log(">>", line);
  outbox_ += line;
  outbox_ += "\r\n";
  flush();
}

void DemoGateway::flush() {
  size_t off = 0;
  while (off < outbox_.size()) {
    ssize_t n = ::send(client_fd_, outbox_.data() + off, outbox_.size() - off, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // full for now (the loop waits for room), or lost (the read side notices)
    off += static_cast<size_t>(n);
  }
  outbox_.erase(0, off);
}

void DemoGateway::log(const char* direction, const std::string& line) {
  if (!options_.log) return;
  const double seconds = std::chrono::duration<double>(Clock::now() - connected_at_).count();
  std::fprintf(options_.log, "[%6.1f] %s %s\n", seconds, direction, line.c_str());
}

void DemoGateway::info(const std::string& text) { send("1018 INFO \"" + text + "\""); }
void DemoGateway::error(const std::string& text) { send("1019 ERROR \"" + text + "\""); }

void DemoGateway::toChannel(const std::string& line) {
  if (inCastChannel()) send(line);
}

void DemoGateway::enterChannel(const std::string& channel) {
  channel_ = SameName(channel, options_.channel) ? options_.channel : channel;
  // The demo gives the bot operator status in every channel it enters.
  bot_flags_ = 0x12;
  send("1007 CHANNEL \"" + channel_ + "\"");
  send("1001 USER " + bot_name_ + " " + Flags(bot_flags_) + " [CHAT]");
  if (inCastChannel()) {
    for (const User& u : users_) send("1001 USER " + u.name + " " + Flags(u.flags) + " " + u.product);
    if (!started_) {
      started_ = true;
      start_ = Clock::now();
      next_ambient_at_ = start_ + kTimeline[std::size(kTimeline) - 1].at + kAmbientEvery;
    }
  } else if (SameName(channel_, "Lobby")) {
    send("1001 USER Wanderer 0000 [STAR]");
    send("1001 USER Quill 0000 [W2BN]");
  }
}

DemoGateway::User* DemoGateway::findUser(const std::string& name) {
  for (User& u : users_)
    if (SameName(u.name, name)) return &u;
  return nullptr;
}

void DemoGateway::userJoins(const std::string& name, unsigned flags, const std::string& product) {
  if (findUser(name)) return;
  if (std::any_of(banned_.begin(), banned_.end(), [&](const std::string& b) { return SameName(b, name); })) return;
  users_.push_back(User{name, flags, product});
  toChannel("1002 JOIN " + name + " " + Flags(flags) + " " + product);
}

void DemoGateway::userLeaves(const std::string& name, bool tell) {
  auto it = std::find_if(users_.begin(), users_.end(), [&](const User& u) { return SameName(u.name, name); });
  if (it == users_.end()) return;
  const std::string line = "1003 LEAVE " + it->name + " " + Flags(it->flags);
  users_.erase(it);
  if (tell) toChannel(line);
}

void DemoGateway::playDue() {
  if (!started_ || phase_ != Phase::Chatting) return;
  auto play = [&](const Step& s) {
    if (s.kind == Kind::Join) return userJoins(s.name, 0, s.text);
    if (s.kind == Kind::Leave) return userLeaves(s.name, true);
    User* user = findUser(s.name);
    if (!user) return;  // kicked, banned or away: the line never comes
    const std::string who = user->name + " " + Flags(user->flags) + " \"" + s.text + "\"";
    if (s.kind == Kind::Talk) toChannel("1005 TALK " + who);
    if (s.kind == Kind::Emote) toChannel("1023 EMOTE " + who);
    if (s.kind == Kind::Whisper) send("1004 WHISPER " + who);
  };
  const auto now = Clock::now();
  while (!replies_.empty() && replies_.front().first <= now) {
    toChannel(replies_.front().second);
    replies_.erase(replies_.begin());
  }
  while (next_step_ < std::size(kTimeline) && start_ + kTimeline[next_step_].at <= now) play(kTimeline[next_step_++]);
  while (next_step_ == std::size(kTimeline) && next_ambient_at_ <= now) {
    play(kAmbient[next_ambient_++ % std::size(kAmbient)]);
    next_ambient_at_ += kAmbientEvery;
  }
}

std::chrono::milliseconds DemoGateway::untilNextStep() const {
  if (!started_ || client_fd_ < 0) return 1000ms;
  auto next = next_step_ < std::size(kTimeline) ? start_ + kTimeline[next_step_].at : next_ambient_at_;
  if (!replies_.empty()) next = std::min(next, replies_.front().first);
  const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
  return std::clamp(wait, 0ms, 1000ms);
}

}  // namespace tolvik::demo
