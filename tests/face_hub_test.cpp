// Faces attached to a running bot over its local socket: the hub in the
// bot, real clients in the same process, a scripted gateway as the server.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>

#include "app/toggle_switch.h"
#include "settings/font_records.h"
#include "face/face_client.h"
#include "face/face_hub.h"
#include "face/face_wire.h"
#include "face/local_faces.h"
#include "support/session_fixture.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;

// Keeps every byte the face reads, so a test can look at the wire itself.
class TappedStream : public FaceStream {
 public:
  TappedStream(std::unique_ptr<FaceStream> inner, std::string& log) : inner_(std::move(inner)), log_(log) {}
  int Fd() const override { return inner_->Fd(); }
  long Read(void* buf, size_t len) override {
    const long n = inner_->Read(buf, len);
    if (n > 0) log_.append(static_cast<const char*>(buf), static_cast<size_t>(n));
    return n;
  }
  long Write(const void* data, size_t len) override { return inner_->Write(data, len); }
  void Shutdown() override { inner_->Shutdown(); }

 private:
  std::unique_ptr<FaceStream> inner_;
  std::string& log_;
};

struct Face {
  testing::RecordingDisplay display;
  FaceMirror mirror{display};
  FaceClient client{mirror};
  std::string wire;  // every byte the bot sent this face
  std::vector<std::string> replies;
  std::vector<std::string> errors;
  Face() {
    mirror.on_reply = [this](const std::vector<std::string>& lines) {
      replies.insert(replies.end(), lines.begin(), lines.end());
    };
    mirror.on_error = [this](const std::string& code, const std::string&) { errors.push_back(code); };
  }
};

class FaceHubTest : public testing::SessionTest {
 protected:
  void SetUp() override {
    WriteBotIni();
    Open();
    StartHub();
  }
  void TearDown() override {
    faces_.clear();
    hub.reset();
  }
  void StartHub() {
    hub = std::make_unique<FaceHub>(*doc, host);
    std::string error;
    auto listener = ListenForLocalFaces(dir.path().string(), &error);
    ASSERT_TRUE(listener) << error;
    hub->AddListener(std::move(listener));
  }

  // A face's loop and the bot's, turn about, until `done`.
  bool Pump(const std::function<bool()>& done, std::chrono::milliseconds timeout = 30s) {
    return Run(
        [&] {
          hub->Refresh();
          for (auto& face : faces_)
            if (face->client.Open()) face->client.Pump();
          return done();
        },
        timeout);
  }

  Face& NewFace() {
    faces_.push_back(std::make_unique<Face>());
    return *faces_.back();
  }
  bool Attach(Face& face) {
    std::string error;
    auto stream = ConnectToLocalBot(dir.path().string(), &error);
    if (!stream) {
      ADD_FAILURE() << error;
      return false;
    }
    if (!face.client.Open(std::make_unique<TappedStream>(std::move(stream), face.wire), "localhost", std::nullopt,
                          10000, &error)) {
      ADD_FAILURE() << error;
      return false;
    }
    return Pump([&] { return face.client.Attached(); });
  }
  Face& Attached() {
    Face& face = NewFace();
    EXPECT_TRUE(Attach(face));
    return face;
  }

  std::unique_ptr<FaceHub> hub;

 private:
  std::vector<std::unique_ptr<Face>> faces_;
};

int Occurrences(const std::string& all, const std::string& text) {
  int n = 0;
  for (size_t p = all.find(text); p != std::string::npos; p = all.find(text, p + 1)) ++n;
  return n;
}

TEST_F(FaceHubTest, SnapshotCarriesTheBotsStateAndNoSecret) {
  LogIn();
  gateway.send("1001 USER acct 0012 [CHAT]\r\n1001 USER Ann 0010 [STAR]\r\n1001 USER bob 0000 [W2BN]\r\n");
  ASSERT_TRUE(Run([&] { return doc->Bot().Users().userCount() == 3; }));
  SwitchToggle(*doc, *FindToggleKey("ViewEnterLeave"), true);
  Face& face = Attached();

  const FaceMirror& m = face.mirror;
  EXPECT_EQ(m.State(), Connected);
  EXPECT_EQ(m.Status(), doc->StatusText());
  EXPECT_EQ(m.BotName(), "acct");
  EXPECT_EQ(m.Directory(), dir.path().string());
  EXPECT_EQ(m.Channel(), doc->Bot().Users().label());
  ASSERT_EQ(m.Users().size(), 3u);
  for (int i = 0; i < 3; ++i) {
    const UserRow& row = doc->Bot().Users().row(i);
    EXPECT_EQ(m.Users()[i], (FaceUser{row.name, row.flags, row.product, row.level, row.icon})) << row.name;
  }
  EXPECT_TRUE(m.Toggles().at("ViewEnterLeave"));
  EXPECT_EQ(m.Toggles().size(), kToggleKeys.size());
  EXPECT_TRUE(face.display.contains("Joining Channel: Home"));
  // The lines keep their types' formats.
  for (const auto& line : face.display.lines())
    if (line.text.find("Joining Channel") != std::string::npos)
      EXPECT_EQ(line.format, doc->Display().format(TextType::BnetInfo));
  // Bot.ini's password reached the server, never the face.
  EXPECT_NE(gateway.received().find("secret"), std::string::npos);
  EXPECT_EQ(face.wire.find("secret"), std::string::npos);
}

TEST_F(FaceHubTest, SnapshotHoldsTheLastThousandLines) {
  for (int i = 1; i <= 1001; ++i) doc->Display().print(TextType::BotInfo, "backlog line %d.", i);
  Face& face = Attached();
  const auto texts = face.display.texts();
  ASSERT_EQ(texts.size(), FaceHub::kBacklogLines);
  EXPECT_EQ(texts.front(), "backlog line 2.");
  EXPECT_EQ(texts.back(), "backlog line 1001.");
}

TEST_F(FaceHubTest, LinesReachEveryFaceAndATypedLineGoesToTheServerOnce) {
  LogIn();
  Face& a = Attached();
  Face& b = Attached();
  gateway.send("1005 TALK ann 0000 \"hello faces\"\r\n");
  ASSERT_TRUE(Pump([&] { return a.display.contains("hello faces") && b.display.contains("hello faces"); }));
  // Bytes that are not UTF-8 arrive as they were sent.
  gateway.send("1005 TALK ann 0000 \"caf\xE9 au lait\"\r\n");
  ASSERT_TRUE(Pump([&] { return b.display.contains("caf\xE9 au lait"); }));

  ASSERT_TRUE(a.client.Say("typed in face a"));
  ASSERT_TRUE(Pump([&] { return b.display.contains("typed in face a") && a.display.contains("typed in face a"); }));
  ASSERT_TRUE(WaitSent("typed in face a\n"));
  host.RunFor(*doc, 200ms);
  EXPECT_EQ(Count("typed in face a"), 1);
}

TEST_F(FaceHubTest, AFacesWhisperBarReachesOnlyTheNamesItGives) {
  LogIn();
  gateway.send("1001 USER ann 0000 [STAR]\r\n1001 USER bob 0000 [STAR]\r\n1001 USER carl 0000 [STAR]\r\n");
  ASSERT_TRUE(Run([&] { return doc->Bot().Users().userCount() == 3; }));
  // What the window has selected is not the face's business.
  doc->Bot().Users().setSelected(doc->Bot().Users().findUser("carl"), true);
  Face& face = Attached();
  ASSERT_TRUE(face.client.Whisper("ann bob", "psst"));
  ASSERT_TRUE(face.client.UserWhisper("bob", "just you"));
  ASSERT_TRUE(WaitSent("/m bob just you\n"));
  EXPECT_EQ(Count("/m ann psst\n"), 1);
  EXPECT_EQ(Count("/m bob psst\n"), 1);
  EXPECT_EQ(Count("/m carl"), 0);
  EXPECT_TRUE(doc->Bot().Users().isSelected("carl"));
}

TEST_F(FaceHubTest, UserListEditsKeepTheFacesListEqualToTheBots) {
  LogIn();
  Face& face = Attached();
  gateway.send("1002 JOIN Ann 0000 [STAR]\r\n1002 JOIN bob 0000 [W2BN]\r\n1002 JOIN cid 0010 [CHAT]\r\n"
               "1009 USER bob 0002 [W2BN]\r\n1003 LEAVE Ann 0000\r\n");
  const auto same = [&] {
    const auto& rows = doc->Bot().Users().rows();
    if (rows.size() != face.mirror.Users().size()) return false;
    for (size_t i = 0; i < rows.size(); ++i)
      if (!(face.mirror.Users()[i] == FaceUser{rows[i].name, rows[i].flags, rows[i].product, rows[i].level, rows[i].icon}))
        return false;
    return face.mirror.Channel() == doc->Bot().Users().label();
  };
  ASSERT_TRUE(Pump([&] {
    return doc->Bot().Users().findUser("cid") >= 0 && doc->Bot().Users().findUser("Ann") < 0 && same();
  }));
  EXPECT_EQ(face.mirror.Users().size(), 2u);
  EXPECT_EQ(face.mirror.Users()[0].name, "bob");  // an operator now: first
}

TEST_F(FaceHubTest, MenuKickActsOnTheNamedUserOnceTheBotIsOperator) {
  LogIn();
  gateway.send("1001 USER acct 0010 [CHAT]\r\n1001 USER pest 0010 [STAR]\r\n");
  ASSERT_TRUE(Run([&] { return doc->Bot().Users().findUser("pest") >= 0; }));
  Face& face = Attached();
  ASSERT_TRUE(face.client.UserCommand("Kick", "pest"));
  ASSERT_TRUE(Pump([&] { return face.errors.size() == 1; }));
  EXPECT_EQ(face.errors[0], "operator");
  EXPECT_EQ(Count("/kick"), 0);

  gateway.send("1009 USER acct 0012 [CHAT]\r\n");
  ASSERT_TRUE(Run([&] { return doc->Bot().IsOperator(); }));
  doc->Bot().Users().setSelected(doc->Bot().Users().findUser("acct"), true);
  ASSERT_TRUE(face.client.UserCommand("Kick", "pest"));
  ASSERT_TRUE(WaitSent("/kick pest\n"));
  // The window's selection is as it was.
  EXPECT_TRUE(doc->Bot().Users().isSelected("acct"));
  EXPECT_FALSE(doc->Bot().Users().isSelected("pest"));
  ASSERT_TRUE(face.client.UserCommand("Kick", "nobody"));
  ASSERT_TRUE(Pump([&] { return face.errors.size() == 2; }));
  EXPECT_EQ(face.errors[1], "user");
  EXPECT_EQ(Count("/kick"), 1);
}

TEST_F(FaceHubTest, AHighlightChosenInAFaceColoursThatUsersLinesInEveryFace) {
  LogIn();
  Face& a = Attached();
  Face& b = Attached();
  TextFormat red = DefaultTextFormat();
  red.colour = 0x0000FF;
  ASSERT_TRUE(a.client.Highlight("ann", red));
  ASSERT_TRUE(Pump([&] { return LoadHighlightFormat(doc->Paths().botIni, "ann").has_value(); }));
  gateway.send("1005 TALK ann 0000 \"in red\"\r\n1005 TALK bob 0000 \"as ever\"\r\n");
  ASSERT_TRUE(Pump([&] { return b.display.contains("as ever"); }));
  for (const auto& line : b.display.lines()) {
    if (line.text == "<ann> in red") EXPECT_EQ(line.format.colour, 0x0000FFu);
    if (line.text == "<bob> as ever") EXPECT_EQ(line.format, doc->Display().format(TextType::OthersText));
  }
  EXPECT_TRUE(b.display.contains("<ann> in red"));
}

TEST_F(FaceHubTest, TogglesAndCommandsFromAFaceActOnTheBot) {
  Face& a = Attached();
  Face& b = Attached();
  ASSERT_FALSE(doc->GetToggles().ViewEnterLeave.state);
  ASSERT_TRUE(a.client.SetToggle("ViewEnterLeave", true));
  ASSERT_TRUE(Pump([&] { return b.mirror.Toggles().at("ViewEnterLeave"); }));
  EXPECT_TRUE(doc->GetToggles().ViewEnterLeave.state);
  ASSERT_TRUE(a.client.Command("//status"));
  ASSERT_TRUE(Pump([&] { return !a.replies.empty(); }));
  EXPECT_EQ(a.replies[0], "Status: " + doc->StatusText());
  // The answer goes to the face that asked.
  host.RunFor(*doc, 100ms);
  for (auto& f : {&a, &b}) f->client.Pump();
  EXPECT_TRUE(b.replies.empty());
}

TEST_F(FaceHubTest, BadMessagesAreRefusedAndTheFaceStays) {
  Face& face = Attached();
  ASSERT_TRUE(face.client.SendRaw("not json"));
  ASSERT_TRUE(face.client.SendRaw("{\"t\":\"say\",\"text\":5}"));
  ASSERT_TRUE(face.client.SendRaw("{\"t\":\"launch\"}"));
  ASSERT_TRUE(Pump([&] { return face.errors.size() == 3; }));
  EXPECT_TRUE(face.client.Open());
  // A say while the bot is offline is not sent.
  ASSERT_TRUE(face.client.Say("nobody hears this"));
  ASSERT_TRUE(Pump([&] { return face.errors.size() == 4; }));
  EXPECT_EQ(face.errors[3], "offline");
  // The longest message taken, and one byte more: the face is closed.
  const std::string head = "{\"t\":\"command\",\"line\":\"//status\",\"pad\":\"";
  std::string at_limit = head + std::string(FaceHub::kMaxFaceMessage - head.size() - 2, 'x') + "\"}";
  ASSERT_EQ(at_limit.size(), FaceHub::kMaxFaceMessage);
  ASSERT_TRUE(face.client.SendRaw(at_limit));
  ASSERT_TRUE(Pump([&] { return !face.replies.empty(); }));
  ASSERT_TRUE(face.client.SendRaw(at_limit + " "));
  ASSERT_TRUE(Pump([&] { return !face.client.Open(); }));
  ASSERT_TRUE(Pump([&] { return hub->FaceCount() == 0; }));
}

TEST_F(FaceHubTest, HelloWithAnotherVersionIsRefused) {
  std::string error;
  auto stream = ConnectToLocalBot(dir.path().string(), &error);
  ASSERT_TRUE(stream);
  Face& face = NewFace();
  ASSERT_TRUE(face.client.Open(std::move(stream), "localhost", std::nullopt, 10000, &error));
  ASSERT_TRUE(face.client.SendRaw("{\"t\":\"hello\",\"version\":2}"));
  // The client's own hello (version 1) came first and attached; a second hello is refused, not fatal.
  ASSERT_TRUE(Pump([&] { return face.client.Attached() && !face.errors.empty(); }));
  EXPECT_EQ(face.errors[0], "hello");

  // A face whose first word is another version is closed.
  auto raw = ConnectToLocalBot(dir.path().string(), &error);
  ASSERT_TRUE(raw);
  const std::string upgrade =
      "GET /face HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
      "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
  ASSERT_TRUE(WriteAllToFace(*raw, upgrade.data(), upgrade.size(), 5000));
  // One masked text frame (mask 0) holding a hello of version 2.
  const std::string hello = "{\"t\":\"hello\",\"version\":2}";
  std::string frame = {'\x81', static_cast<char>(0x80 | hello.size()), 0, 0, 0, 0};
  frame += hello;
  ASSERT_TRUE(WriteAllToFace(*raw, frame.data(), frame.size(), 5000));
  std::string answer;
  ASSERT_TRUE(Pump([&] {
    char buf[4096];
    const long n = raw->Read(buf, sizeof buf);
    if (n > 0) answer.append(buf, static_cast<size_t>(n));
    return n == 0;
  }));
  EXPECT_NE(answer.find("\"code\":\"version\""), std::string::npos) << answer;
  EXPECT_EQ(answer.find("snapshot"), std::string::npos);
}

TEST_F(FaceHubTest, DetachingLeavesTheBotRunningAndAFaceMayAttachAgain) {
  LogIn();
  Face& face = Attached();
  ASSERT_TRUE(Pump([&] { return hub->FaceCount() == 1; }));
  face.client.Close();
  ASSERT_TRUE(Pump([&] { return hub->FaceCount() == 0; }));
  EXPECT_EQ(doc->State(), Connected);
  gateway.send("1005 TALK ann 0000 \"while away\"\r\n");
  ASSERT_TRUE(WaitShown("while away"));
  Face& again = Attached();
  EXPECT_TRUE(again.display.contains("while away"));
  EXPECT_EQ(again.mirror.State(), Connected);
}

TEST_F(FaceHubTest, TheBotClosingTellsItsFacesAndANewBotTakesTheSocketOver) {
  Face& face = Attached();
  hub->Close("The bot is closing");
  ASSERT_TRUE(Pump([&] { return !face.client.Open(); }));
  EXPECT_EQ(face.client.CloseReason(), "The bot is closing");
  hub.reset();
  // A bot that died leaves its socket behind: the next one replaces it.
  const std::string path = FaceSocketPath(dir.path().string());
  {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);  // bound, never unlinked: what a killed bot leaves
  }
  StartHub();
  ASSERT_TRUE(Attach(face));
  struct stat st{};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(FaceHubTest, SomethingElseWhereTheSocketGoesIsLeftAlone) {
  hub.reset();
  dir.write(kFaceSocketName, "mine");
  std::string error;
  EXPECT_FALSE(ListenForLocalFaces(dir.path().string(), &error));
  EXPECT_NE(error.find("not a socket"), std::string::npos);
  EXPECT_EQ(dir.read(kFaceSocketName), "mine");
}

TEST_F(FaceHubTest, AFaceThatStopsReadingIsDroppedAndTheOthersKeepUp) {
  Face& keeps_up = Attached();
  std::string error;
  // A face that says hello, then never reads again.
  auto stuck = ConnectToLocalBot(dir.path().string(), &error);
  ASSERT_TRUE(stuck);
  const int small = 4096;
  ::setsockopt(stuck->Fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  Face& stuck_face = NewFace();
  ASSERT_TRUE(stuck_face.client.Open(std::move(stuck), "localhost", std::nullopt, 10000, &error));
  ASSERT_TRUE(Pump([&] { return hub->FaceCount() == 2; }));
  host.RunFor(*doc, 100ms);  // its snapshot is sent
  const std::string filler(400, 'z');
  int printed = 0;
  // A little more than 1 MiB of lines, and past the sockets' own buffers.
  const int needed = static_cast<int>((FaceHub::kMaxBehindBytes + (2u << 20)) / filler.size());
  ASSERT_TRUE(Run([&] {
    for (int i = 0; i < 200 && printed < needed * 2; ++i, ++printed)
      doc->Display().print(TextType::BotInfo, "%d %s", printed, filler.c_str());
    keeps_up.client.Pump();
    return hub->FaceCount() == 1;
  }));
  const std::string last = std::to_string(printed - 1) + " " + filler;
  ASSERT_TRUE(Pump([&] { return keeps_up.display.contains(last); }));
  EXPECT_TRUE(keeps_up.client.Open());
}

// What a held face's stream lets through, shared with the test: the hub
// owns the stream and drops it with the face.
struct Gate {
  std::atomic<bool> held{false};
  std::atomic<size_t> offered{0};  // what the hub had waiting at its last try while held
  std::atomic<size_t> written{0};
};

// While held, takes nothing: a face that stopped reading, its socket buffers full.
class HeldStream : public FaceStream {
 public:
  HeldStream(std::unique_ptr<FaceStream> inner, std::shared_ptr<Gate> gate)
      : inner_(std::move(inner)), gate_(std::move(gate)) {}
  int Fd() const override { return inner_->Fd(); }
  long Read(void* buf, size_t len) override { return inner_->Read(buf, len); }
  long Write(const void* data, size_t len) override {
    if (gate_->held) {
      gate_->offered = len;
      return kFaceWouldBlock;
    }
    const long n = inner_->Write(data, len);
    if (n > 0) gate_->written += static_cast<size_t>(n);
    return n;
  }
  void Shutdown() override { inner_->Shutdown(); }

 private:
  std::unique_ptr<FaceStream> inner_;
  std::shared_ptr<Gate> gate_;
};

class HeldListener : public FaceListener {
 public:
  HeldListener(std::unique_ptr<FaceListener> inner, std::shared_ptr<Gate> gate)
      : inner_(std::move(inner)), gate_(std::move(gate)) {}
  int Fd() const override { return inner_->Fd(); }
  FaceArrival Accept(std::string* refusal) override {
    FaceArrival arrival = inner_->Accept(refusal);
    if (arrival.stream) arrival.stream = std::make_unique<HeldStream>(std::move(arrival.stream), gate_);
    return arrival;
  }
  std::string Where() const override { return inner_->Where(); }

 private:
  std::unique_ptr<FaceListener> inner_;
  std::shared_ptr<Gate> gate_;
};

// The hub's own backlog for a face, byte for byte: exactly kMaxBehindBytes
// is kept, one byte more lets the face go.
class HeldFaceTest : public FaceHubTest {
 protected:
  void SetUp() override {
    WriteBotIni();
    Open();
    hub = std::make_unique<FaceHub>(*doc, host);
    std::string error;
    auto listener = ListenForLocalFaces(dir.path().string(), &error);
    ASSERT_TRUE(listener) << error;
    hub->AddListener(std::make_unique<HeldListener>(std::move(listener), gate));
  }
  bool Shows(Face& face, const std::string& line) {
    return Run([&] {
      face.client.Pump();
      return face.display.contains(line);
    });
  }
  // Lines whose frames come to exactly `bytes`: `frame` bytes each for
  // `probe`, a character more for each one added; the last is `mark`s.
  std::string PrintBehind(size_t bytes, size_t frame, const std::string& probe, char mark) {
    const size_t lines = bytes / frame;
    size_t rest = bytes % frame;
    std::string line;
    for (size_t i = 0; i < lines; ++i) {
      const size_t extra = std::min<size_t>(rest, 100);
      rest -= extra;
      line.assign(probe.size() + extra, i + 1 == lines ? mark : probe[0]);
      doc->Display().print(TextType::BotInfo, "%s", line.c_str());
    }
    EXPECT_EQ(rest, 0u);
    return line;
  }

  std::shared_ptr<Gate> gate = std::make_shared<Gate>();
};

TEST_F(HeldFaceTest, AFaceExactlyAtTheLimitBehindStaysAndOneByteMoreIsLetGo) {
  Face& face = Attached();
  // One line's frame, measured on the wire.
  const std::string probe(400, 'p');
  const size_t before = gate->written;
  doc->Display().print(TextType::BotInfo, "%s", probe.c_str());
  ASSERT_TRUE(Shows(face, probe));
  const size_t frame = gate->written - before;
  ASSERT_GT(frame, probe.size());

  gate->held = true;
  const std::string at_limit = PrintBehind(FaceHub::kMaxBehindBytes, frame, probe, 'y');
  ASSERT_TRUE(Run([&] { return gate->offered == FaceHub::kMaxBehindBytes; }));
  EXPECT_EQ(hub->FaceCount(), 1u);
  gate->held = false;
  ASSERT_TRUE(Shows(face, at_limit));
  EXPECT_EQ(hub->FaceCount(), 1u);
  EXPECT_TRUE(face.client.Open());

  gate->held = true;
  PrintBehind(FaceHub::kMaxBehindBytes + 1, frame, probe, 'x');
  ASSERT_TRUE(Run([&] { return hub->FaceCount() == 0; }));
  EXPECT_EQ(gate->offered, FaceHub::kMaxBehindBytes + 1);
}

TEST(LocalFaces, OnlyTheBotsOwnUserMayAttach) {
  const uid_t own = ::getuid();
  EXPECT_TRUE(LocalFacePeerAllowed(ucred{1, own, 0}, own));
  EXPECT_FALSE(LocalFacePeerAllowed(ucred{1, own + 1, 0}, own));
  EXPECT_FALSE(LocalFacePeerAllowed(ucred{1, 0, 0}, 1000));
}

TEST(FaceWire, TextThatIsNotUtf8RoundTrips) {
  nlohmann::json object = nlohmann::json::object();
  const std::string bytes = "caf\xE9 \xFF\x80 ok";
  face_wire::PutText(object, "s", bytes);
  EXPECT_TRUE(object["s_raw"].get<bool>());
  EXPECT_EQ(face_wire::TakeText(nlohmann::json::parse(face_wire::Dump(object)), "s"), bytes);
  nlohmann::json plain = nlohmann::json::object();
  face_wire::PutText(plain, "s", "caf\xC3\xA9");
  EXPECT_FALSE(plain.contains("s_raw"));
}

}  // namespace
}  // namespace tolvik
