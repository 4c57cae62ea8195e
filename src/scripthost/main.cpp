// tolvik-scripthost: runs the bot's Tcl hooks in a process of their own, so
// that no script can crash the bot, hold its memory or stall it. The bot
// starts it with the message socket as descriptor 3 and ends it whenever a
// script overruns; it ends by itself when the bot goes away.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <tcl.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bot/script_wire.h"
#include "scripthost/script_engine.h"

namespace {

using namespace tolvik;
namespace wire = script_wire;

constexpr int kSocket = 3;

wire::MessageBuffer g_incoming;

// The bot went away or stopped making sense: nothing left to serve.
[[noreturn]] void Leave() { std::_Exit(0); }

void Write(char type, std::vector<std::string> fields) {
  if (!wire::WriteMessage(kSocket, {type, std::move(fields)})) Leave();
}

class SocketPeer : public ScriptPeer {
 public:
  void Print(const std::string& line) override { Write(wire::kPrint, {line}); }
  void Send(const std::string& line) override { Write(wire::kSend, {line}); }
  std::string Ask(const std::string& what, const std::string& argument) override {
    Write(wire::kQuery, {what, argument});
    wire::Message answer;
    if (!wire::ReadMessage(kSocket, g_incoming, answer) || answer.type != wire::kAnswer) Leave();
    return answer.Field(0);
  }
};

// Tcl gives up on the process when memory runs out or a value would grow
// past 2 GB. Tell the bot why, without allocating (memory may be what ran
// out), then end as Tcl would.
[[noreturn]] void OnTclPanic(const char* format, ...) {
  static char text[512];
  static char message[sizeof text + 16];
  static const char kLead[] = "Tcl stopped the script interpreter: ";
  std::memcpy(text, kLead, sizeof kLead - 1);
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(text + sizeof kLead - 1, sizeof text - sizeof kLead + 1, format, args);
  va_end(args);
  size_t length = sizeof kLead - 1 + (n < 0 ? 0 : std::min<size_t>(static_cast<size_t>(n), sizeof text - sizeof kLead));
  const uint32_t field = static_cast<uint32_t>(length);
  const uint32_t body = static_cast<uint32_t>(1 + 4 + length);
  std::memcpy(message, &body, 4);
  message[4] = wire::kPrint;
  std::memcpy(message + 5, &field, 4);
  std::memcpy(message + 9, text, length);
  (void)!::write(kSocket, message, 9 + length);
  (void)!::write(STDERR_FILENO, text, length);
  (void)!::write(STDERR_FILENO, "\n", 1);
  std::abort();
}

void LimitMemory(const char* bytes) {
  if (!wire::kMemoryLimitApplies) return;
  char* end = nullptr;
  const unsigned long long limit = std::strtoull(bytes, &end, 10);
  if (end == bytes || *end != '\0' || limit == 0) return;
  const rlimit as{limit, limit};
  setrlimit(RLIMIT_AS, &as);
}

}  // namespace

int main(int argc, char** argv) {
  // Only ever started by the bot; on its own it has nothing to talk to.
  if (::fcntl(kSocket, F_GETFD) < 0) {
    std::fprintf(stderr, "tolvik-scripthost: runs the Tcl scripts of tolvik and tolvik-cli; not for use on its own\n");
    return 2;
  }
  // Programs a script starts with `exec` do not get the bot's socket: its end
  // must be seen when this process ends.
  ::fcntl(kSocket, F_SETFD, FD_CLOEXEC);
  // End with the bot, even in the middle of a script.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  // A script that ends this process must not leave a core of its memory behind.
  const rlimit no_core{0, 0};
  setrlimit(RLIMIT_CORE, &no_core);
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--memory-limit") == 0) LimitMemory(argv[i + 1]);

  Tcl_SetPanicProc(OnTclPanic);
  Tcl_FindExecutable(argv[0]);

  SocketPeer peer;
  ScriptEngine engine(peer);
  wire::Message message;
  while (wire::ReadMessage(kSocket, g_incoming, message)) {
    if (message.type == wire::kInit) {
      const bool ok = engine.Init(message.Field(0), message.Field(1));
      Write(wire::kDone, {ok ? "1" : "0"});
    } else if (message.type == wire::kRun) {
      const bool ok = engine.Run(message.Field(0), message.Field(1), message.Field(2),
                                 std::chrono::milliseconds(std::atoll(message.Field(3).c_str())),
                                 std::atoi(message.Field(4).c_str()));
      Write(wire::kDone, {ok ? "1" : "0"});
    } else {
      Leave();
    }
  }
  Leave();
}
