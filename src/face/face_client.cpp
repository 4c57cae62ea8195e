#include "face/face_client.h"

#include <poll.h>

#include <chrono>

#include "display/chat_display.h"
#include "face/face_socket.h"
#include "face/face_wire.h"

namespace tolvik {

using nlohmann::json;

class FaceClient::Impl {
 public:
  explicit Impl(FaceStream& stream) : socket(FaceSocket::Role::kClient, stream, kMaxMessage) {}
  FaceSocket socket;
};

namespace {

int IntOr(const json& object, const char* key, int fallback) {
  const auto it = object.find(key);
  return it != object.end() && it->is_number_integer() ? it->get<int>() : fallback;
}

std::string StringOr(const json& object, const char* key) {
  const auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool BoolOr(const json& object, const char* key) {
  const auto it = object.find(key);
  return it != object.end() && it->is_boolean() && it->get<bool>();
}

FaceUser UserFrom(const json& in) {
  FaceUser user;
  if (!in.is_object()) return user;
  user.name = face_wire::TakeText(in, "name");
  user.product = face_wire::TakeText(in, "product");
  const auto flags = in.find("flags");
  if (flags != in.end() && flags->is_number_unsigned()) user.flags = flags->get<uint32_t>();
  user.level = IntOr(in, "level", 0);
  user.icon = IntOr(in, "icon", 0);
  return user;
}

}  // namespace

FaceClient::FaceClient(FaceMirror& mirror) : mirror_(mirror) {}
FaceClient::~FaceClient() { Close(); }

int FaceClient::Fd() const { return stream_ ? stream_->Fd() : -1; }

bool FaceClient::WantsWrite() const {
  return stream_ && impl_ && (impl_->socket.Pending() > 0 || stream_->WantsWrite());
}

void FaceClient::Fail(const std::string& reason) {
  if (!over_ && close_reason_.empty()) close_reason_ = reason;
  over_ = true;
}

bool FaceClient::Open(std::unique_ptr<FaceStream> stream, const std::string& host,
                      const std::optional<std::string>& password, int timeout_ms, std::string* error) {
  Close();
  stream_ = std::move(stream);
  impl_ = std::make_unique<Impl>(*stream_);
  attached_ = false;
  over_ = false;
  close_reason_.clear();
  FaceSocket& socket = impl_->socket;
  socket.StartClient(host);
  json hello = {{"t", "hello"}, {"version", kProtocolVersion}, {"client", "tolvik " TOLVIK_VERSION}};
  if (password) hello["password"] = *password;
  // The hello follows the upgrade at once: the bot reads it after its answer.
  socket.SendText(face_wire::Dump(hello));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!socket.Upgraded()) {
    if (!socket.Flush()) break;
    if (!socket.Pump([this](std::string_view m) { Handle(m); })) break;
    if (socket.Upgraded()) break;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      *error = "the bot did not answer";
      Close();
      return false;
    }
    pollfd p{stream_->Fd(), static_cast<short>(POLLIN | (WantsWrite() ? POLLOUT : 0)), 0};
    ::poll(&p, 1, static_cast<int>(left.count()));
  }
  if (!socket.Upgraded() || over_) {
    *error = !close_reason_.empty() ? close_reason_ : !socket.Error().empty() ? socket.Error() : "the connection to the bot ended";
    Close();
    return false;
  }
  socket.Flush();
  return true;
}

bool FaceClient::Pump() {
  if (!stream_ || !impl_ || over_) return false;
  FaceSocket& socket = impl_->socket;
  const bool open = socket.Pump([this](std::string_view m) { Handle(m); });
  socket.Flush();
  if (!open || socket.Over()) {
    if (close_reason_.empty()) close_reason_ = socket.Error().empty() ? "the connection to the bot ended" : socket.Error();
    over_ = true;
  }
  return !over_;
}

void FaceClient::Close() {
  if (stream_ && impl_ && !over_) {
    impl_->socket.SendClose();
    impl_->socket.Flush();
    stream_->Shutdown();
  }
  over_ = true;
  impl_.reset();
  stream_.reset();
}

bool FaceClient::SendRaw(std::string_view message) {
  if (!stream_ || !impl_ || over_) return false;
  impl_->socket.SendText(message);
  return impl_->socket.Flush();
}

namespace {
std::string Action(json message) { return face_wire::Dump(message); }
}  // namespace

bool FaceClient::Say(std::string_view text) { return SendRaw(Action({{"t", "say"}, {"text", text}})); }
bool FaceClient::Whisper(std::string_view names, std::string_view text) {
  return SendRaw(Action({{"t", "whisper"}, {"names", names}, {"text", text}}));
}
bool FaceClient::UserWhisper(std::string_view name, std::string_view text) {
  return SendRaw(Action({{"t", "user_whisper"}, {"name", name}, {"text", text}}));
}
bool FaceClient::UserCommand(std::string_view command, std::string_view name) {
  return SendRaw(Action({{"t", "user"}, {"command", command}, {"name", name}}));
}
bool FaceClient::AddAlias(std::string_view name, std::string_view known) {
  return SendRaw(Action({{"t", "user"}, {"command", "AddAlias"}, {"name", name}, {"known", known}}));
}
bool FaceClient::Highlight(std::string_view name, const TextFormat& format) {
  return SendRaw(
      Action({{"t", "user"}, {"command", "PermanentHighlight"}, {"name", name}, {"format", face_wire::FormatJson(format)}}));
}
bool FaceClient::SetToggle(std::string_view key, bool on) {
  return SendRaw(Action({{"t", "toggle"}, {"key", key}, {"on", on}}));
}
bool FaceClient::Connect() { return SendRaw(Action({{"t", "connect"}})); }
bool FaceClient::Disconnect() { return SendRaw(Action({{"t", "disconnect"}})); }
bool FaceClient::Command(std::string_view line) { return SendRaw(Action({{"t", "command"}, {"line", line}})); }

void FaceClient::Handle(std::string_view text) {
  const json message = json::parse(text.begin(), text.end(), nullptr, false);
  if (!message.is_object()) return;
  const auto kind_it = message.find("t");
  if (kind_it == message.end() || !kind_it->is_string()) return;
  const std::string& kind = kind_it->get_ref<const std::string&>();
  FaceMirror& m = mirror_;
  ChatDisplay& display = m.display_;

  const auto apply_formats = [&](const json& formats) {
    if (!formats.is_array()) return;
    TextFormats all = DefaultTextFormats();
    for (size_t i = 0; i < all.size() && i < formats.size(); ++i) face_wire::FormatFromJson(formats[i], all[i]);
    display.setFormats(all);
  };
  const auto show_line = [&](const json& line) {
    if (!line.is_object()) return;
    int type = IntOr(line, "y", static_cast<int>(TextType::BotInfo));
    if (type < 1 || type > kTextTypeCount) type = static_cast<int>(TextType::BotInfo);
    TextFormat format = display.format(static_cast<TextType>(type));
    if (const auto f = line.find("f"); f != line.end()) face_wire::FormatFromJson(*f, format);
    const std::string s = face_wire::TakeText(line, "s");
    display.append(s.c_str(), format);
  };
  const auto take_users = [&](const json& users) {
    m.users_.clear();
    if (!users.is_array()) return;
    for (const json& user : users) m.users_.push_back(UserFrom(user));
  };
  const auto take_toggles = [&](const json& toggles) {
    if (!toggles.is_object()) return;
    for (const auto& [key, value] : toggles.items())
      if (value.is_boolean()) m.toggles_[key] = value.get<bool>();
  };

  if (kind == "snapshot") {
    m.bot_ = face_wire::TakeText(message, "bot");
    m.dir_ = face_wire::TakeText(message, "dir");
    m.state_ = IntOr(message, "state", 0);
    m.status_ = face_wire::TakeText(message, "status");
    m.channel_ = face_wire::TakeText(message, "channel");
    m.gauge_ = IntOr(message, "gauge", 0);
    m.gauge_max_ = IntOr(message, "gauge_max", 199);
    if (const auto it = message.find("users"); it != message.end()) take_users(*it);
    m.toggles_.clear();
    if (const auto it = message.find("toggles"); it != message.end()) take_toggles(*it);
    if (const auto it = message.find("formats"); it != message.end()) apply_formats(*it);
    attached_ = true;
    if (m.on_snapshot) m.on_snapshot();
    if (const auto it = message.find("lines"); it != message.end() && it->is_array())
      for (const json& line : *it) show_line(line);
  } else if (kind == "line") {
    show_line(message);
  } else if (kind == "status") {
    m.state_ = IntOr(message, "state", m.state_);
    m.status_ = face_wire::TakeText(message, "text");
    if (m.on_status) m.on_status();
  } else if (kind == "users") {
    const std::string op = StringOr(message, "op");
    const int row = IntOr(message, "row", -1);
    const bool in_list = row >= 0 && static_cast<size_t>(row) < m.users_.size();
    if (op == "insert" && row >= 0 && static_cast<size_t>(row) <= m.users_.size()) {
      m.users_.insert(m.users_.begin() + row, UserFrom(message.value("user", json::object())));
    } else if (op == "remove" && in_list) {
      m.users_.erase(m.users_.begin() + row);
    } else if (op == "move" && in_list) {
      const int to = IntOr(message, "to", -1);
      if (to >= 0 && static_cast<size_t>(to) < m.users_.size()) {
        FaceUser moved = std::move(m.users_[row]);
        m.users_.erase(m.users_.begin() + row);
        m.users_.insert(m.users_.begin() + to, std::move(moved));
      }
    } else if (op == "update" && in_list) {
      m.users_[row] = UserFrom(message.value("user", json::object()));
    } else if (op == "reset") {
      take_users(message.value("users", json::array()));
    } else if (op == "label") {
      m.channel_ = face_wire::TakeText(message, "text");
    }
    if (m.on_users) m.on_users();
  } else if (kind == "toggles") {
    if (const auto it = message.find("toggles"); it != message.end()) take_toggles(*it);
    if (m.on_toggles) m.on_toggles();
  } else if (kind == "gauge") {
    m.gauge_ = IntOr(message, "value", m.gauge_);
    if (m.on_gauge) m.on_gauge();
  } else if (kind == "formats") {
    if (const auto it = message.find("formats"); it != message.end()) apply_formats(*it);
  } else if (kind == "reply") {
    std::vector<std::string> lines;
    if (const auto it = message.find("lines"); it != message.end() && it->is_array())
      for (const json& line : *it)
        if (line.is_object()) lines.push_back(face_wire::TakeText(line, "s"));
    if (m.on_reply) m.on_reply(lines);
  } else if (kind == "error") {
    const std::string code = StringOr(message, "code");
    const std::string text = face_wire::TakeText(message, "message");
    if (BoolOr(message, "fatal")) Fail("the bot refused: " + text);
    if (m.on_error) m.on_error(code, text);
  } else if (kind == "bye") {
    const std::string reason = face_wire::TakeText(message, "reason");
    Fail(reason.empty() ? "the bot closed" : reason);
  }
}

}  // namespace tolvik
