#pragma once
// The messages between the bot and its script host process, over one
// stream socket. A message is a type byte and a list of byte strings:
//   u32 body length | type | (u32 length | bytes)...
// lengths in the machine's own byte order (both ends are the same build).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tolvik::script_wire {

// Bot to host.
constexpr char kInit = 'I';    // working directory, scripts folder
constexpr char kRun = 'R';     // path, speaker, text, time limit (ms), command limit
constexpr char kAnswer = 'A';  // the value asked for by a query
// Host to bot.
constexpr char kPrint = 'P';  // a line for the chat display (BotInfo)
constexpr char kSend = 'S';   // a line for the outgoing queue (already cut to length)
constexpr char kQuery = 'Q';  // "UserLevel" and a name, "BotName", "BotChannel"
constexpr char kDone = 'D';   // "1" when the script ran to its end, "0" otherwise

// Sanitizer builds reserve terabytes of address space for their shadow
// memory, so there the host cannot limit its address space.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMemoryLimitApplies = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool kMemoryLimitApplies = false;
#else
constexpr bool kMemoryLimitApplies = true;
#endif
#else
constexpr bool kMemoryLimitApplies = true;
#endif

// Anything longer is a broken peer, not a message.
constexpr size_t kMaxBody = 1 << 20;

struct Message {
  char type = 0;
  std::vector<std::string> fields;

  const std::string& Field(size_t i) const {
    static const std::string kEmpty;
    return i < fields.size() ? fields[i] : kEmpty;
  }
};

std::string Encode(const Message& message);

// Writes the whole message (blocking); false when the peer is gone.
bool WriteMessage(int fd, const Message& message);

// Collects bytes as they arrive and hands out whole messages.
class MessageBuffer {
 public:
  void Append(const char* data, size_t size) { bytes_.append(data, size); }
  // The next complete message; false when none is complete yet.
  bool Next(Message& message);
  // The bytes cannot be a message stream (a length past kMaxBody or a
  // malformed field list).
  bool Broken() const { return broken_; }

 private:
  std::string bytes_;
  size_t read_pos_ = 0;
  bool broken_ = false;
};

// Blocks until one whole message has arrived; false at end of stream or
// on a malformed stream.
bool ReadMessage(int fd, MessageBuffer& buffer, Message& message);

}  // namespace tolvik::script_wire
