// What a face sends a bot, from the first byte: the input is the byte
// stream of one connection (the WebSocket upgrade, then frames), read by the
// bot's framing in reads of varying size; every whole message goes to the
// action decoder. Each input line is also decoded on its own as a message,
// so plain JSON reaches the decoder without framing. Nothing may crash, a
// message longer than the limit is never handed over, and a decoded action
// keeps within its fields' limits.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "face/face_hub.h"
#include "face/face_socket.h"
#include "face/face_stream.h"
#include "face/face_wire.h"

namespace {

// The connection's bytes, handed out in pieces whose sizes the input picks.
class InputStream : public tolvik::FaceStream {
 public:
  explicit InputStream(std::string_view bytes) : bytes_(bytes) {}
  int Fd() const override { return -1; }
  long Read(void* buf, size_t len) override {
    if (bytes_.empty()) return 0;
    size_t n = 1 + static_cast<unsigned char>(bytes_[0]) % 64;
    n = std::min({n, len, bytes_.size()});
    std::memcpy(buf, bytes_.data(), n);
    bytes_.remove_prefix(n);
    return static_cast<long>(n);
  }
  long Write(const void*, size_t len) override { return static_cast<long>(len); }

 private:
  std::string_view bytes_;
};

void Decode(std::string_view message) {
  tolvik::face_wire::FaceAction action;
  std::string error;
  if (!tolvik::face_wire::DecodeFaceAction(message, action, &error)) {
    if (error.empty()) std::abort();
    return;
  }
  if (action.text.size() > tolvik::face_wire::kMaxText || action.line.size() > tolvik::face_wire::kMaxCommandLine)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  InputStream stream(input);
  tolvik::FaceSocket socket(tolvik::FaceSocket::Role::kServer, stream, tolvik::FaceHub::kMaxFaceMessage);
  while (socket.Pump([](std::string_view message) {
    if (message.size() > tolvik::FaceHub::kMaxFaceMessage) std::abort();
    Decode(message);
  })) {
    socket.Flush();
  }
  std::string_view rest = input;
  while (!rest.empty()) {
    const size_t lf = rest.find('\n');
    Decode(rest.substr(0, lf));
    rest = lf == std::string_view::npos ? std::string_view() : rest.substr(lf + 1);
  }
  return 0;
}
