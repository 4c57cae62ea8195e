#include "face/face_hub.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "app/chat_bar.h"
#include "app/document.h"
#include "app/host.h"
#include "app/toggle_switch.h"
#include "bot/chat_bot.h"
#include "bot/user_commands.h"
#include "bot/user_list.h"
#include "display/chat_display.h"
#include "face/face_authenticator.h"
#include "face/face_commands.h"
#include "face/face_socket.h"
#include "face/face_wire.h"
#include "net/connection_state.h"
#include "net/outgoing_queue.h"
#include "settings/font_records.h"

namespace tolvik {

using nlohmann::json;
using face_wire::FaceAction;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kGaugeMaximum = 199;
// How long the goodbye may wait for slow faces to take it.
constexpr int kByeFlushMs = 500;

json UserJson(const UserRow& row) {
  json user = {{"flags", row.flags}, {"level", row.level}, {"icon", row.icon}};
  face_wire::PutText(user, "name", row.name);
  face_wire::PutText(user, "product", row.product);
  return user;
}

// What a face sees of a row; the rest (selection, activity) is the list's own.
struct ShownRow {
  std::string name;
  uint32_t flags = 0;
  std::string product;
  int level = 0;
  int icon = 0;
  bool operator==(const ShownRow&) const = default;
};

ShownRow Shown(const UserRow& row) { return {row.name, row.flags, row.product, row.level, row.icon}; }

std::string ErrorMessage(const std::string& code, const std::string& message, bool fatal) {
  return face_wire::Dump({{"t", "error"}, {"code", code}, {"message", message}, {"fatal", fatal}});
}

const struct {
  const char* name;
  UserCommand command;
} kUserCommands[] = {
    {"ShowAliases", UserCommand::ShowAliases}, {"AddAlias", UserCommand::AddAlias},
    {"WhoIs", UserCommand::WhoIs},             {"Stats", UserCommand::Stats},
    {"IdleTime", UserCommand::IdleTime},       {"ShowUserLevel", UserCommand::ShowUserLevel},
    {"AddToUserList", UserCommand::AddToUserList}, {"Promote", UserCommand::Promote},
    {"Demote", UserCommand::Demote},           {"DeleteFromList", UserCommand::DeleteFromList},
    {"Squelch", UserCommand::Squelch},         {"UnSquelch", UserCommand::UnSquelch},
    {"Kick", UserCommand::Kick},               {"Ban", UserCommand::Ban},
    {"Designate", UserCommand::Designate},     {"PermanentHighlight", UserCommand::PermanentHighlight},
    {"StopHighlighting", UserCommand::StopHighlighting},
};

}  // namespace

// ---- The socket side, on the hub's thread ----------------------------------

class FaceHub::Core : public std::enable_shared_from_this<FaceHub::Core> {
 public:
  // What the main thread hands the hub's thread.
  struct Item {
    enum Kind { kBroadcast, kSnapshot, kToFace, kAuthResult, kListener, kBye } kind = kBroadcast;
    uint64_t face = 0;
    std::shared_ptr<const std::string> text;
    bool accepted = false;
    std::unique_ptr<FaceListener> listener;
  };

  explicit Core(Host& host) : host_(host) { wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); }
  ~Core() {
    if (wake_fd_ >= 0) ::close(wake_fd_);
  }

  void Start() { thread_ = std::thread([self = shared_from_this()] { self->Run(); }); }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

  void Push(Item item) {
    bool wake;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      // Items already waiting have woken the thread, which takes them all
      // at once after reading the wake-up: one write per batch is enough.
      wake = items_.empty();
      items_.push_back(std::move(item));
    }
    if (!wake) return;
    uint64_t one = 1;
    (void)!::write(wake_fd_, &one, sizeof one);
  }

  size_t Count() const { return count_.load(); }

  // Main thread only: the main side, null once the hub is gone.
  Tap* tap = nullptr;

 private:
  struct Face {
    enum State { kHello, kAuthenticating, kSnapshot, kLive };
    uint64_t id = 0;
    std::unique_ptr<FaceStream> stream;
    std::unique_ptr<FaceSocket> socket;
    std::string peer;
    FaceAuthenticator* authenticator = nullptr;
    State state = kHello;
    Clock::time_point hello_due;
    bool closing = false;  // a fatal error was sent: close once it is out
    // How far behind the face may fall: the snapshot comes on top of the
    // budget until the face has taken it.
    size_t limit = kMaxBehindBytes;
  };

  void Run();
  void TakeItems(bool& bye);
  void Accept(FaceListener& listener);
  void OnMessage(Face& face, std::string_view message);
  void Send(Face& face, const std::string& text);
  // Writes what the face's socket holds; false when the face is to go.
  bool Settle(Face& face);
  void Remove(uint64_t id);
  void PostToTap(std::function<void(Tap&)> fn);

  Host& host_;
  int wake_fd_ = -1;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<Item> items_;
  std::atomic<size_t> count_{0};
  // The hub's thread alone touches these.
  std::vector<std::unique_ptr<FaceListener>> listeners_;
  std::map<uint64_t, std::unique_ptr<Face>> faces_;
  uint64_t next_id_ = 1;
};

// ---- The bot side, on the main thread ----------------------------------------

class FaceHub::Tap : public LineTap, public UserListObserver {
 public:
  Tap(CHaldenDoc& doc, std::shared_ptr<Core> core)
      : doc_(doc), core_(std::move(core)), chat_bar_(doc), commands_(doc.Bot()) {
    ChatDisplay& display = doc_.Display();
    previous_tap_ = display.lineTap();
    display.setLineTap(this);
    UserList& users = doc_.Bot().Users();
    previous_observer_ = users.observer();
    users.setObserver(this);
  }
  ~Tap() override {
    if (doc_.Display().lineTap() == this) doc_.Display().setLineTap(previous_tap_);
    UserList& users = doc_.Bot().Users();
    if (users.observer() == this) users.setObserver(previous_observer_);
  }

  // LineTap: into the backlog, and to every face.
  // The backlog keeps lines as they came; they become JSON only for a face
  // that is there to read them, so a bot with none attached pays a copy of
  // each line, not its encoding.
  void lineShown(TextType type, const char* text, const TextFormat& format) override {
    if (previous_tap_ != nullptr) previous_tap_->lineShown(type, text, format);
    BacklogLine* line;
    if (backlog_.size() < kBacklogLines) {
      line = &backlog_.emplace_back();
    } else {
      // Full: the oldest slot takes the line, its text's room reused.
      line = &backlog_[backlog_oldest_];
      backlog_oldest_ = (backlog_oldest_ + 1) % kBacklogLines;
    }
    line->type = type;
    line->text.assign(text);
    line->format.reset();
    if (!(format == doc_.Display().format(type))) line->format = format;
    if (!watchers_.empty()) Broadcast(std::make_shared<const std::string>(LineMessage(*line)));
  }

  // UserListObserver: the rows' changes, as edits of the list a face keeps.
  void userListAboutToChange(const UserListEdit& edit) override {
    if (previous_observer_ != nullptr) previous_observer_->userListAboutToChange(edit);
    edit_ = edit;
  }
  void userListChanged() override {
    if (previous_observer_ != nullptr) previous_observer_->userListChanged();
    std::optional<UserListEdit> edit = std::exchange(edit_, std::nullopt);
    if (watchers_.empty()) return;
    const std::vector<UserRow>& rows = doc_.Bot().Users().rows();
    const auto in_range = [&](int row, size_t size) { return row >= 0 && static_cast<size_t>(row) < size; };
    if (edit) {
      switch (edit->kind) {
        case UserListEdit::kInsert:
          if (!in_range(edit->row, rows.size()) || static_cast<size_t>(edit->row) > shown_.size()) break;
          shown_.insert(shown_.begin() + edit->row, Shown(rows[edit->row]));
          SendUsers({{"op", "insert"}, {"row", edit->row}, {"user", UserJson(rows[edit->row])}});
          edit.reset();
          break;
        case UserListEdit::kRemove:
          if (!in_range(edit->row, shown_.size())) break;
          shown_.erase(shown_.begin() + edit->row);
          SendUsers({{"op", "remove"}, {"row", edit->row}});
          edit.reset();
          break;
        case UserListEdit::kMove: {
          if (!in_range(edit->row, shown_.size()) || !in_range(edit->to, shown_.size())) break;
          ShownRow moved = std::move(shown_[edit->row]);
          shown_.erase(shown_.begin() + edit->row);
          shown_.insert(shown_.begin() + edit->to, std::move(moved));
          SendUsers({{"op", "move"}, {"row", edit->row}, {"to", edit->to}});
          UpdateRow(edit->to);
          edit.reset();
          break;
        }
        case UserListEdit::kUpdate:
          if (!in_range(edit->row, rows.size()) || shown_.size() != rows.size()) break;
          UpdateRow(edit->row);
          edit.reset();
          break;
        case UserListEdit::kReset:
          break;
      }
      if (edit) ResetUsers();  // a whole-list change, or one that does not fit what faces hold
    } else if (shown_.size() != rows.size()) {
      ResetUsers();
    } else {
      for (size_t i = 0; i < rows.size(); ++i) UpdateRow(static_cast<int>(i));
    }
    const std::string& label = doc_.Bot().Users().label();
    if (label != label_) {
      label_ = label;
      json message = {{"op", "label"}};
      face_wire::PutText(message, "text", label);
      SendUsers(std::move(message));
    }
  }

  // The state without a line or row of its own to announce it.
  void Refresh() {
    if (watchers_.empty()) return;
    const int state = doc_.State();
    std::string status = doc_.StatusText();
    if (state != state_ || status != status_) {
      state_ = state;
      status_ = status;
      json message = {{"t", "status"}, {"state", state}};
      face_wire::PutText(message, "text", status);
      Broadcast(message);
    }
    json changed = json::object();
    for (size_t i = 0; i < kToggleKeys.size(); ++i) {
      const bool on = (doc_.GetToggles().*kToggleKeys[i].field).state;
      if (on != toggles_[i]) changed[kToggleKeys[i].key] = toggles_[i] = on;
    }
    if (!changed.empty()) Broadcast({{"t", "toggles"}, {"toggles", std::move(changed)}});
    const int gauge = Gauge();
    if (gauge != gauge_) {
      gauge_ = gauge;
      Broadcast({{"t", "gauge"}, {"value", gauge}});
    }
    if (!SameFormats()) {
      TakeFormats();
      Broadcast({{"t", "formats"}, {"formats", FormatsJson()}});
    }
  }

  // A face said hello: everything it needs, then it gets every change.
  void Snapshot(uint64_t face) {
    if (watchers_.empty()) {
      // Nobody was watching: what faces hold starts from now.
      shown_.clear();
      for (const UserRow& row : doc_.Bot().Users().rows()) shown_.push_back(Shown(row));
      label_ = doc_.Bot().Users().label();
      state_ = doc_.State();
      status_ = doc_.StatusText();
      for (size_t i = 0; i < kToggleKeys.size(); ++i) toggles_[i] = (doc_.GetToggles().*kToggleKeys[i].field).state;
      gauge_ = Gauge();
      TakeFormats();
    }
    watchers_.insert(face);
    ChatBot& bot = doc_.Bot();
    json snapshot = {{"t", "snapshot"}, {"version", face_wire::kVersion}};
    const std::string own = bot.OwnName();
    face_wire::PutText(snapshot, "bot", own.empty() ? doc_.Login().login : own);
    face_wire::PutText(snapshot, "dir", doc_.Paths().workingDirectory);
    snapshot["state"] = state_;
    face_wire::PutText(snapshot, "status", status_);
    face_wire::PutText(snapshot, "channel", label_);
    json users = json::array();
    for (const UserRow& row : bot.Users().rows()) users.push_back(UserJson(row));
    snapshot["users"] = std::move(users);
    json toggles = json::object();
    for (size_t i = 0; i < kToggleKeys.size(); ++i) toggles[kToggleKeys[i].key] = toggles_[i];
    snapshot["toggles"] = std::move(toggles);
    snapshot["formats"] = FormatsJson();
    snapshot["gauge"] = gauge_;
    snapshot["gauge_max"] = kGaugeMaximum;
    // The backlog's lines are encoded one by one into the message's text.
    std::string text = face_wire::Dump(snapshot);
    text.pop_back();
    text += ",\"lines\":[";
    for (size_t i = 0; i < backlog_.size(); ++i) {
      if (i > 0) text += ',';
      text += LineMessage(backlog_[(backlog_oldest_ + i) % backlog_.size()]);
    }
    text += "]}";
    Core::Item item;
    item.kind = Core::Item::kSnapshot;
    item.face = face;
    item.text = std::make_shared<const std::string>(std::move(text));
    core_->Push(std::move(item));
  }

  void Gone(uint64_t face) { watchers_.erase(face); }

  // A note of the hub's own in the chat display.
  void Say(const std::string& text) { doc_.Display().print(TextType::BotInfo, "%s", text.c_str()); }

  // What a face does, as a person at a front-end would.
  void Apply(uint64_t face, FaceAction& action) {
    switch (action.kind) {
      case FaceAction::Kind::Hello:
        break;
      case FaceAction::Kind::Say:
        if (action.text.empty()) break;
        if (doc_.State() != Connected) {
          Refuse(face, "offline", "Not connected: the line was not sent");
          break;
        }
        chat_bar_.setText(action.text);
        chat_bar_.sendChatLine(true);
        break;
      case FaceAction::Kind::Whisper:
        WithSelection("", [&] { chat_bar_.sendWhisperBar(action.names, action.text); });
        break;
      case FaceAction::Kind::UserWhisper:
        chat_bar_.sendUserWhisper(action.name, action.text);
        break;
      case FaceAction::Kind::User:
        RunUserCommand(face, action);
        break;
      case FaceAction::Kind::Toggle:
        if (const ToggleKey* key = FindToggleKey(action.key))
          SwitchToggle(doc_, *key, action.on);
        else
          Refuse(face, "toggle", "There is no toggle " + action.key);
        break;
      case FaceAction::Kind::Connect:
        doc_.Connect();
        break;
      case FaceAction::Kind::Disconnect:
        doc_.Disconnect();
        break;
      case FaceAction::Kind::Command: {
        json lines = json::array();
        for (const std::string& line : RunFaceCommand(doc_, action.line)) {
          json text = json::object();
          face_wire::PutText(text, "s", line);
          lines.push_back(std::move(text));
        }
        ToFace(face, face_wire::Dump({{"t", "reply"}, {"lines", std::move(lines)}}));
        break;
      }
    }
    Refresh();
  }

 private:
  int Gauge() const { return std::clamp(doc_.Bot().Queue().QueuedCost(), 0, kGaugeMaximum); }

  bool SameFormats() const {
    for (int i = 0; i < kTextTypeCount; ++i)
      if (!(formats_[i] == doc_.Display().format(TextTypeAt(i)))) return false;
    return true;
  }
  void TakeFormats() {
    for (int i = 0; i < kTextTypeCount; ++i) formats_[i] = doc_.Display().format(TextTypeAt(i));
  }
  json FormatsJson() const {
    json formats = json::array();
    for (const TextFormat& format : formats_) formats.push_back(face_wire::FormatJson(format));
    return formats;
  }

  void UpdateRow(int index) {
    const UserRow& row = doc_.Bot().Users().row(index);
    ShownRow now = Shown(row);
    if (now == shown_[index]) return;
    shown_[index] = std::move(now);
    SendUsers({{"op", "update"}, {"row", index}, {"user", UserJson(row)}});
  }
  void ResetUsers() {
    shown_.clear();
    json users = json::array();
    for (const UserRow& row : doc_.Bot().Users().rows()) {
      shown_.push_back(Shown(row));
      users.push_back(UserJson(row));
    }
    SendUsers({{"op", "reset"}, {"users", std::move(users)}});
  }
  void SendUsers(json message) {
    message["t"] = "users";
    Broadcast(message);
  }

  void Broadcast(const json& message) { Broadcast(std::make_shared<const std::string>(face_wire::Dump(message))); }
  void Broadcast(std::shared_ptr<const std::string> text) {
    Core::Item item;
    item.kind = Core::Item::kBroadcast;
    item.text = std::move(text);
    core_->Push(std::move(item));
  }
  void ToFace(uint64_t face, std::string text) {
    Core::Item item;
    item.kind = Core::Item::kToFace;
    item.face = face;
    item.text = std::make_shared<const std::string>(std::move(text));
    core_->Push(std::move(item));
  }
  void Refuse(uint64_t face, const std::string& code, const std::string& message) {
    ToFace(face, ErrorMessage(code, message, false));
  }

  // Runs `fn` with only `name` selected (nobody when empty): the menu's
  // commands and the whisper bar act on the selection, and a face names its
  // user. The selection the window had is put back after.
  template <typename Fn>
  void WithSelection(const std::string& name, Fn fn) {
    UserList& users = doc_.Bot().Users();
    std::vector<std::string> selected;
    for (const UserRow& row : users.rows())
      if (row.selected) selected.push_back(row.name);
    users.clearSelection();
    if (!name.empty()) users.setSelected(users.findUser(name.c_str()), true);
    fn();
    users.clearSelection();
    for (const std::string& was : selected) {
      const int row = users.findUser(was.c_str());
      if (row >= 0) users.setSelected(row, true);
    }
  }

  void RunUserCommand(uint64_t face, FaceAction& action) {
    const auto* found = std::find_if(std::begin(kUserCommands), std::end(kUserCommands),
                                     [&](const auto& c) { return action.command == c.name; });
    if (found == std::end(kUserCommands)) {
      Refuse(face, "command", "There is no user-list command " + action.command);
      return;
    }
    const UserCommand command = found->command;
    if (command == UserCommand::AddAlias) {
      commands_.AddAlias(action.name, action.known);
      return;
    }
    if (command == UserCommand::PermanentHighlight) {
      const std::string& ini = doc_.Paths().botIni;
      const TextFormat record = action.format.value_or(LoadHighlightFormat(ini, action.name).value_or(DefaultTextFormat()));
      if (!SaveHighlightFormat(ini, action.name, record))
        doc_.Display().print(TextType::BotInfo, "Could not save the highlight of %s in %s", action.name.c_str(),
                             ini.c_str());
      return;
    }
    if (doc_.Bot().Users().findUser(action.name.c_str()) < 0) {
      Refuse(face, "user", action.name + " is not in the channel");
      return;
    }
    WithSelection(action.name, [&] {
      if (!commands_.Available(command)) {
        Refuse(face, "operator", action.command + " needs the bot to be a channel operator");
        return;
      }
      commands_.Run(command);
    });
  }

  CHaldenDoc& doc_;
  std::shared_ptr<Core> core_;
  ChatBar chat_bar_;
  UserCommands commands_;
  LineTap* previous_tap_ = nullptr;
  UserListObserver* previous_observer_ = nullptr;
  struct BacklogLine {
    TextType type = TextType::BotInfo;
    std::string text;
    std::optional<TextFormat> format;  // when it is not the type's own
  };
  static std::string LineMessage(const BacklogLine& line) {
    json message = {{"t", "line"}, {"y", static_cast<int>(line.type)}};
    face_wire::PutText(message, "s", line.text);
    if (line.format) message["f"] = face_wire::FormatJson(*line.format);
    return face_wire::Dump(message);
  }
  std::vector<BacklogLine> backlog_;  // a ring of at most kBacklogLines
  size_t backlog_oldest_ = 0;         // its oldest line once it is full
  // Faces that got a snapshot and are still there: while there are none,
  // nothing is sent or compared.
  std::set<uint64_t> watchers_;
  std::optional<UserListEdit> edit_;
  // What the faces were last told.
  std::vector<ShownRow> shown_;
  std::string label_;
  int state_ = -1;
  std::string status_;
  std::array<bool, 10> toggles_{};
  int gauge_ = 0;
  TextFormats formats_{};
};

// ---- The hub's thread ------------------------------------------------------------

void FaceHub::Core::PostToTap(std::function<void(Tap&)> fn) {
  host_.PostToMain([weak = std::weak_ptr<Core>(shared_from_this()), fn = std::move(fn)] {
    if (auto core = weak.lock(); core && core->tap != nullptr) fn(*core->tap);
  });
}

void FaceHub::Core::Run() {
  bool bye = false;
  while (!bye) {
    std::vector<pollfd> fds;
    fds.push_back({wake_fd_, POLLIN, 0});
    for (const auto& listener : listeners_) fds.push_back({listener->Fd(), POLLIN, 0});
    std::vector<uint64_t> ids;
    std::optional<Clock::time_point> due;
    for (const auto& [id, face] : faces_) {
      short events = POLLIN;
      if (face->socket->Pending() > 0 || face->stream->WantsWrite()) events |= POLLOUT;
      fds.push_back({face->stream->Fd(), events, 0});
      ids.push_back(id);
      if (face->state == Face::kHello && (!due || face->hello_due < *due)) due = face->hello_due;
    }
    int timeout = -1;
    if (due) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*due - Clock::now()).count();
      timeout = static_cast<int>(std::max<long long>(0, left));
    }
    if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;

    if (fds[0].revents & POLLIN) TakeItems(bye);
    for (size_t i = 0; i < listeners_.size() && i + 1 < fds.size(); ++i)
      if (fds[i + 1].revents & POLLIN) Accept(*listeners_[i]);
    const size_t first_face = 1 + listeners_.size();
    for (size_t i = 0; i < ids.size(); ++i) {
      const auto it = faces_.find(ids[i]);
      if (it == faces_.end()) continue;
      Face& face = *it->second;
      const short revents = first_face + i < fds.size() ? fds[first_face + i].revents : 0;
      if (revents & (POLLIN | POLLHUP | POLLERR) || face.stream->HasBuffered())
        face.socket->Pump([&](std::string_view message) { OnMessage(face, message); });
      if (!Settle(face)) Remove(ids[i]);
    }
    const auto now = Clock::now();
    std::vector<uint64_t> late;
    for (const auto& [id, face] : faces_)
      if (face->state == Face::kHello && face->hello_due <= now) late.push_back(id);
    for (uint64_t id : late) Remove(id);
  }
  // Goodbye: what is queued goes out while the faces take it, for a moment.
  const auto deadline = Clock::now() + std::chrono::milliseconds(kByeFlushMs);
  for (auto& [id, face] : faces_) face->socket->SendClose();
  while (Clock::now() < deadline) {
    std::vector<pollfd> fds;
    for (auto& [id, face] : faces_) {
      face->socket->Flush();
      if (face->socket->Pending() > 0 && !face->socket->Over()) fds.push_back({face->stream->Fd(), POLLOUT, 0});
    }
    if (fds.empty()) break;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    ::poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(1, left)));
  }
  for (auto& [id, face] : faces_) face->stream->Shutdown();
  faces_.clear();
  listeners_.clear();
  count_ = 0;
}

void FaceHub::Core::TakeItems(bool& bye) {
  uint64_t count;
  (void)!::read(wake_fd_, &count, sizeof count);
  std::vector<Item> items;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    items.swap(items_);
  }
  std::set<uint64_t> touched;
  for (Item& item : items) {
    switch (item.kind) {
      case Item::kListener:
        listeners_.push_back(std::move(item.listener));
        break;
      case Item::kBroadcast:
        for (auto& [id, face] : faces_)
          if (face->state == Face::kLive) {
            face->socket->SendText(*item.text);
            touched.insert(id);
          }
        break;
      case Item::kSnapshot:
      case Item::kToFace:
        if (const auto it = faces_.find(item.face); it != faces_.end()) {
          if (item.kind == Item::kSnapshot) {
            it->second->state = Face::kLive;
            it->second->limit = kMaxBehindBytes + item.text->size();
          }
          it->second->socket->SendText(*item.text);
          touched.insert(item.face);
        }
        break;
      case Item::kAuthResult:
        if (const auto it = faces_.find(item.face); it != faces_.end() && it->second->state == Face::kAuthenticating) {
          Face& face = *it->second;
          if (item.accepted) {
            face.state = Face::kSnapshot;
            PostToTap([id = face.id](Tap& tap) { tap.Snapshot(id); });
          } else {
            face.socket->SendText(ErrorMessage("password", item.text ? *item.text : "wrong password", true));
            face.closing = true;
            touched.insert(item.face);
          }
        }
        break;
      case Item::kBye:
        for (auto& [id, face] : faces_)
          if (face->state == Face::kLive) face->socket->SendText(*item.text);
        bye = true;
        return;
    }
  }
  // Each face's output is written once for the whole batch.
  for (uint64_t id : touched)
    if (const auto it = faces_.find(id); it != faces_.end() && !Settle(*it->second)) Remove(id);
}

void FaceHub::Core::Accept(FaceListener& listener) {
  std::string refusal;
  FaceArrival arrival = listener.Accept(&refusal);
  if (!arrival.stream) {
    if (!refusal.empty()) PostToTap([refusal](Tap& tap) { tap.Say(refusal); });
    return;
  }
  auto face = std::make_unique<Face>();
  face->id = next_id_++;
  face->socket = std::make_unique<FaceSocket>(FaceSocket::Role::kServer, *arrival.stream, kMaxFaceMessage);
  face->stream = std::move(arrival.stream);
  face->peer = std::move(arrival.peer);
  face->authenticator = listener.Authenticator();
  face->hello_due = Clock::now() + std::chrono::milliseconds(kHelloTimeoutMs);
  const uint64_t id = face->id;
  faces_[id] = std::move(face);
  count_ = faces_.size();
}

void FaceHub::Core::Send(Face& face, const std::string& text) { face.socket->SendText(text); }

void FaceHub::Core::OnMessage(Face& face, std::string_view message) {
  if (face.closing) return;
  FaceAction action;
  std::string error;
  if (!face_wire::DecodeFaceAction(message, action, &error)) {
    // Before the hello nothing else is heard.
    const bool fatal = face.state == Face::kHello;
    Send(face, ErrorMessage("message", error, fatal));
    face.closing = fatal;
    return;
  }
  if (face.state == Face::kHello) {
    if (action.kind != FaceAction::Kind::Hello) {
      Send(face, ErrorMessage("hello", "say hello first", true));
      face.closing = true;
      return;
    }
    if (action.version != face_wire::kVersion) {
      Send(face, ErrorMessage("version", "this bot speaks version " + std::to_string(face_wire::kVersion) +
                                             " of the face protocol, not " + std::to_string(action.version),
                              true));
      face.closing = true;
      return;
    }
    if (face.authenticator == nullptr) {
      face.state = Face::kSnapshot;
      PostToTap([id = face.id](Tap& tap) { tap.Snapshot(id); });
    } else if (!action.password) {
      Send(face, ErrorMessage("password", "a password is needed", true));
      face.closing = true;
    } else {
      face.state = Face::kAuthenticating;
      face.authenticator->Check(face.peer, *action.password,
                                [weak = std::weak_ptr<Core>(shared_from_this()), id = face.id](
                                    bool accepted, const std::string& reason) {
                                  if (auto core = weak.lock()) {
                                    Item item;
                                    item.kind = Item::kAuthResult;
                                    item.face = id;
                                    item.accepted = accepted;
                                    item.text = std::make_shared<const std::string>(reason);
                                    core->Push(std::move(item));
                                  }
                                });
      explicit_bzero(action.password->data(), action.password->size());
    }
    return;
  }
  if (action.kind == FaceAction::Kind::Hello) {
    Send(face, ErrorMessage("hello", "hello was said already", false));
    return;
  }
  if (face.state != Face::kLive && face.state != Face::kSnapshot) return;
  PostToTap([id = face.id, action = std::move(action)](Tap& tap) mutable { tap.Apply(id, action); });
}

bool FaceHub::Core::Settle(Face& face) {
  if (!face.socket->Flush()) return false;
  // A face that cannot keep up is let go; it may attach again.
  if (face.socket->Pending() <= kMaxBehindBytes) face.limit = kMaxBehindBytes;
  if (face.socket->Pending() > face.limit) return false;
  if (face.closing && face.socket->Pending() == 0) return false;
  return !face.socket->Over() || face.socket->Pending() > 0;
}

void FaceHub::Core::Remove(uint64_t id) {
  const auto it = faces_.find(id);
  if (it == faces_.end()) return;
  it->second->stream->Shutdown();
  faces_.erase(it);
  count_ = faces_.size();
  PostToTap([id](Tap& tap) { tap.Gone(id); });
}

// ---- FaceHub ------------------------------------------------------------------

FaceHub::FaceHub(CHaldenDoc& doc, Host& host) : core_(std::make_shared<Core>(host)) {
  tap_ = std::make_unique<Tap>(doc, core_);
  core_->tap = tap_.get();
  core_->Start();
}

FaceHub::~FaceHub() {
  Close();
  core_->Join();
  core_->tap = nullptr;
  tap_.reset();
}

void FaceHub::AddListener(std::unique_ptr<FaceListener> listener) {
  // A network listener is announced; the local socket is always there.
  if (listener->Authenticator() != nullptr) tap_->Say("Faces can attach at " + listener->Where());
  Core::Item item;
  item.kind = Core::Item::kListener;
  item.listener = std::move(listener);
  core_->Push(std::move(item));
}

void FaceHub::Refresh() { tap_->Refresh(); }

void FaceHub::Close(const std::string& reason) {
  if (closed_) return;
  closed_ = true;
  json bye = {{"t", "bye"}};
  face_wire::PutText(bye, "reason", reason);
  Core::Item item;
  item.kind = Core::Item::kBye;
  item.text = std::make_shared<const std::string>(face_wire::Dump(bye));
  core_->Push(std::move(item));
  core_->Join();
}

size_t FaceHub::FaceCount() const { return core_->Count(); }

}  // namespace tolvik
