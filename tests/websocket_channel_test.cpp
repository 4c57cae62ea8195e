// The WebSocket channel over a real TLS connection on a socket pair: what a
// server sends, frame by frame, and what the channel makes of it.
#include "net/api/websocket_channel.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <wslay/wslay.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/tls_stream.h"
#include "support/test_ca.h"

namespace tolvik::api {
namespace {

using namespace std::chrono_literals;
using tolvik::testing::GetTestCa;
using tolvik::testing::TestCa;

// The server's (unmasked) frames of one text message cut into fragments of
// the given sizes, as wslay's frame layer writes them.
// `mask` and `rsv` set the first frame's mask bit and reserved bits.
std::string Fragments(const std::vector<size_t>& sizes, bool mask = false, uint8_t rsv = 0) {
  std::string out;
  wslay_frame_callbacks callbacks{
      [](const uint8_t* data, size_t len, int, void* user) -> ssize_t {
        static_cast<std::string*>(user)->append(reinterpret_cast<const char*>(data), len);
        return static_cast<ssize_t>(len);
      },
      nullptr,
      [](uint8_t* buf, size_t len, void*) -> int {
        for (size_t i = 0; i < len; ++i) buf[i] = static_cast<uint8_t>(0x5A + i);
        return 0;
      }};
  wslay_frame_context_ptr ctx = nullptr;
  if (wslay_frame_context_init(&ctx, &callbacks, &out) != 0) return {};
  for (size_t i = 0; i < sizes.size(); ++i) {
    const std::string payload(sizes[i], static_cast<char>('a' + i));
    wslay_frame_iocb iocb{};
    iocb.fin = i + 1 == sizes.size() ? 1 : 0;
    iocb.opcode = i == 0 ? WSLAY_TEXT_FRAME : WSLAY_CONTINUATION_FRAME;
    iocb.mask = i == 0 && mask ? 1 : 0;
    iocb.rsv = i == 0 ? rsv : 0;
    iocb.payload_length = payload.size();
    iocb.data = reinterpret_cast<const uint8_t*>(payload.data());
    iocb.data_length = payload.size();
    while (iocb.data_length > 0) {
      ssize_t n = wslay_frame_send(ctx, &iocb);
      if (n < 0) break;
      iocb.data += n;
      iocb.data_length -= static_cast<size_t>(n);
    }
  }
  wslay_frame_context_free(ctx);
  return out;
}

// A client channel on one end of a TLS connection; the test writes the
// server's bytes to the other end.
class WebSocketChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::signal(SIGPIPE, SIG_IGN);  // the server's write may meet a client that gave up
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_), 0);
    const TestCa& ca = GetTestCa();
    auto accepted = std::async(std::launch::async, [&] {
      std::string error;
      return TlsStream::Accept(fds_[1], ca.cert_file, ca.key_file, 30000, &error);
    });
    std::string error;
    client_tls_ = TlsStream::Connect(fds_[0], "127.0.0.1", ca.ca_file, 30000, &error);
    server_tls_ = accepted.get();
    ASSERT_NE(client_tls_, nullptr) << error;
    ASSERT_NE(server_tls_, nullptr);
    channel_ = std::make_unique<WebSocketChannel>(WebSocketChannel::Role::kClient, *client_tls_,
                                                  [this](std::string_view m) { messages_.emplace_back(m); });
  }
  void TearDown() override {
    ::shutdown(fds_[0], SHUT_RDWR);  // a server write still waiting fails now
    if (writer_.joinable()) writer_.join();
    channel_.reset();
    client_tls_.reset();
    server_tls_.reset();
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  // The server sends `bytes` (on its own thread, as the socket takes them);
  // the channel reads until a message has come or the connection is over.
  // Returns what the last Pump() said.
  bool SendAndPump(std::string bytes) {
    writer_ = std::thread(
        [this, bytes = std::move(bytes)] { server_tls_->WriteAll(bytes.data(), bytes.size(), 60000); });
    const auto limit = std::chrono::steady_clock::now() + 60s;
    bool open = true;
    while (open && messages_.empty() && std::chrono::steady_clock::now() < limit) {
      pollfd p{fds_[0], POLLIN, 0};
      ::poll(&p, 1, 100);
      open = channel_->Pump();
    }
    return open;
  }

  // The server's bytes are all in the client's socket once this returns.
  void ServerSent(const std::string& bytes) {
    ASSERT_TRUE(server_tls_->WriteAll(bytes.data(), bytes.size(), 60000));
  }

  int fds_[2] = {-1, -1};
  std::unique_ptr<TlsStream> client_tls_, server_tls_;
  std::unique_ptr<WebSocketChannel> channel_;
  std::vector<std::string> messages_;
  std::thread writer_;
};

// The cap counts the whole message, not each fragment: four fragments that
// add up to one byte more than it end the connection...
TEST_F(WebSocketChannelTest, FragmentsAddingUpToOneByteOverTheCapFailTheConnection) {
  constexpr size_t kQuarter = WebSocketChannel::kMaxMessage / 4;
  EXPECT_FALSE(SendAndPump(Fragments({kQuarter, kQuarter, kQuarter, kQuarter + 1})));
  EXPECT_TRUE(channel_->Failed());
  EXPECT_TRUE(messages_.empty());
}

// ...and four that add up to exactly the cap make one message.
TEST_F(WebSocketChannelTest, FragmentsAddingUpToTheCapAreOneMessage) {
  constexpr size_t kQuarter = WebSocketChannel::kMaxMessage / 4;
  EXPECT_TRUE(SendAndPump(Fragments({kQuarter, kQuarter, kQuarter, kQuarter})));
  EXPECT_FALSE(channel_->Failed());
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].size(), WebSocketChannel::kMaxMessage);
  const std::string whole =
      std::string(kQuarter, 'a') + std::string(kQuarter, 'b') + std::string(kQuarter, 'c') + std::string(kQuarter, 'd');
  EXPECT_TRUE(messages_[0] == whole);  // (not EXPECT_EQ: a megabyte in a failure message helps nobody)
}

// A server must not mask its frames, and no extension was agreed on that
// could give the reserved bits a meaning: either fails the connection.
TEST_F(WebSocketChannelTest, AMaskedServerFrameFailsTheConnection) {
  EXPECT_FALSE(SendAndPump(Fragments({16}, /*mask=*/true)));
  EXPECT_TRUE(channel_->Failed());
  EXPECT_TRUE(messages_.empty());
}

TEST_F(WebSocketChannelTest, AFrameWithAReservedBitFailsTheConnection) {
  EXPECT_FALSE(SendAndPump(Fragments({16}, /*mask=*/false, /*rsv=*/WSLAY_RSV1_BIT)));
  EXPECT_TRUE(channel_->Failed());
  EXPECT_TRUE(messages_.empty());
}

// `count` unfragmented text messages of `size` bytes each, numbered in order
// by their first byte.
std::string Messages(int count, size_t size) {
  std::string out;
  for (int i = 0; i < count; ++i) {
    std::string one = Fragments({size});
    one[2] = static_cast<char>('A' + i);  // the payload starts after a two-byte header
    out += one;
  }
  return out;
}

// A pump bounded in bytes takes no more off the stream than it may: a
// message of exactly that many bytes is handed over, one byte less leaves it
// held in part, and the next pump finishes it.
TEST_F(WebSocketChannelTest, APumpTakesAtMostItsBytes) {
  constexpr size_t kWire = 100;  // a two-byte header and 98 bytes of text
  ServerSent(Messages(3, kWire - 2));

  EXPECT_TRUE(channel_->Pump({kWire, SIZE_MAX}));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_TRUE(channel_->MorePending());

  EXPECT_TRUE(channel_->Pump({kWire - 1, SIZE_MAX}));
  EXPECT_EQ(messages_.size(), 1u);
  EXPECT_EQ(channel_->PartialBytes(), kWire - 3);
  EXPECT_TRUE(channel_->MorePending());

  EXPECT_TRUE(channel_->Pump({1, SIZE_MAX}));
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[1][0], 'B');
  EXPECT_EQ(channel_->PartialBytes(), 0u);
}

// A pump bounded in messages hands over exactly that many when more are
// there, says more is held (the rest may sit in the TLS layer, where the
// socket's readiness does not show it), and the next pump takes the rest.
TEST_F(WebSocketChannelTest, APumpHandsOverAtMostItsMessages) {
  constexpr size_t kLimit = 8;
  ServerSent(Messages(kLimit, 20));
  EXPECT_TRUE(channel_->Pump({SIZE_MAX, kLimit}));
  EXPECT_EQ(messages_.size(), kLimit);
  EXPECT_TRUE(channel_->Pump({SIZE_MAX, kLimit}));
  EXPECT_EQ(messages_.size(), kLimit);
  EXPECT_FALSE(channel_->MorePending());

  messages_.clear();
  ServerSent(Messages(kLimit + 1, 20));
  EXPECT_TRUE(channel_->Pump({SIZE_MAX, kLimit}));
  EXPECT_EQ(messages_.size(), kLimit);
  EXPECT_TRUE(channel_->MorePending());
  EXPECT_TRUE(channel_->Pump({SIZE_MAX, kLimit}));
  ASSERT_EQ(messages_.size(), kLimit + 1);
  EXPECT_EQ(messages_.back()[0], static_cast<char>('A' + kLimit));
  EXPECT_FALSE(channel_->MorePending());
}

}  // namespace
}  // namespace tolvik::api
