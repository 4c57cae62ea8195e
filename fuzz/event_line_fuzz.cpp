// Feeds arbitrary bytes to the line reader, parser and dispatcher, cut into
// reads at positions the input chooses, and checks the parsed fields' bounds.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "net/chat_connection.h"
#include "net/chat_event.h"

namespace {

class CheckingConnection : public tolvik::ChatConnection {
  static void Check(const char* name, const char* text) {
    if (std::strlen(name) > 127 || std::strlen(text) > 255) std::abort();
  }

 public:
#define CHECKED(H)                                          \
  int H(const char* n, uint32_t f, const char* t) override { \
    Check(n, t);                                             \
    return ChatConnection::H(n, f, t);                       \
  }
  CHECKED(OnShowUser)
  CHECKED(OnJoin)
  CHECKED(OnTalk)
  CHECKED(OnChannel)
  CHECKED(OnWhisper)
  CHECKED(OnName)
  CHECKED(OnRawLine)
  CHECKED(OnInfo)
#undef CHECKED
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The whole input as one line for the parser.
  char* line = static_cast<char*>(std::malloc(size + 1));
  std::memcpy(line, data, size);
  line[size] = '\0';
  tolvik::ChatEvent ev;
  tolvik::ParseEvent(line, &ev);
  if (strnlen(ev.name, sizeof ev.name) > 127 || strnlen(ev.text, sizeof ev.text) > 255) std::abort();
  std::free(line);

  // The input as a stream, read in pieces whose sizes come from its first byte.
  CheckingConnection conn;
  size_t step = size > 0 ? 1 + data[0] * 17 : 1;
  for (size_t off = 0; off < size; off += step)
    conn.ProcessBytes(reinterpret_cast<const char*>(data) + off, size - off < step ? size - off : step);
  return 0;
}
