// Feeds arbitrary chat API messages to the decoder, one message per input
// line, with a clock that moves by the first byte; and each line, taken as
// an outgoing line, to the request translator against the channel decoded
// so far. Nothing may crash, read out of bounds or produce a record whose
// strings are not terminated within their buffers; the user table stays
// within its cap, and no user whose name a command cannot carry is ever
// found by name.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "net/api/api_decoder.h"
#include "net/api/api_requests.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tolvik::api::ApiDecoder decoder;
  std::vector<tolvik::ChatEvent> events;
  tolvik::api::ApiDecoder::Answer answer;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  int64_t now = 0;
  int64_t request_id = 1;
  while (!input.empty()) {
    size_t lf = input.find('\n');
    std::string_view message = input.substr(0, lf);
    input = lf == std::string_view::npos ? std::string_view() : input.substr(lf + 1);
    now += message.empty() ? 1 : static_cast<unsigned char>(message[0]) * 10;
    decoder.Decode(message, now, &events, &answer);
    for (const tolvik::ChatEvent& e : events) {
      if (memchr(e.name, '\0', sizeof e.name) == nullptr || memchr(e.text, '\0', sizeof e.text) == nullptr)
        std::abort();
      uint64_t id = 0;
      if (e.name[0] != '\0' && !tolvik::api::NameCarriable(e.name) && decoder.FindUser(e.name, &id)) std::abort();
    }
    if (decoder.UsersForTest() > tolvik::api::ApiDecoder::kMaxUsers) std::abort();
    tolvik::api::Translation t = tolvik::api::TranslateLine(message, request_id, decoder);
    if (t.ok) decoder.Expect(request_id, t.kind, t.target, t.target_id);
    if (t.ok == !t.error.empty()) std::abort();  // exactly one of a request and a refusal
    ++request_id;
  }
  return 0;
}
