// Feeds arbitrary bytes, cut at arbitrary places, to the reader of the
// script host's message stream (what a broken or hostile host could send).
// Besides the sanitizers it checks that every message handed out encodes
// back to exactly the bytes it came from, that nothing comes out once the
// stream is broken, and that the bytes are never over-read.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "bot/script_wire.h"

namespace {

namespace wire = tolvik::script_wire;

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  wire::MessageBuffer buffer;
  std::string fed;
  size_t taken = 0;  // bytes of `fed` handed out as messages
  while (input.remaining_bytes() > 0) {
    const std::string piece = input.ConsumeRandomLengthString(512);
    if (piece.empty() && input.remaining_bytes() == 0) break;
    buffer.Append(piece.data(), piece.size());
    fed += piece;
    wire::Message message;
    while (buffer.Next(message)) {
      const std::string again = wire::Encode(message);
      Check(taken + again.size() <= fed.size());
      Check(fed.compare(taken, again.size(), again) == 0);
      taken += again.size();
    }
    if (buffer.Broken()) {
      Check(!buffer.Next(message));
      break;
    }
  }
  return 0;
}
