// tolvik-demo-gateway: a demonstration chat gateway on 127.0.0.1 for one bot.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "demo_gateway.h"

namespace {

const char kUsage[] =
    "Usage: tolvik-demo-gateway [--port N] [--port-file FILE] [--channel NAME] [--verbose]\n"
    "Serves one bot on 127.0.0.1 (port 6112 unless given; 0 picks a free one) and\n"
    "plays a lively channel NAME (default \"Tolvik Demo\") around it. Ends when the\n"
    "bot disconnects, or on SIGINT or SIGTERM.\n"
    "  --port-file FILE  write the port there once listening\n"
    "  --verbose         show every line in and out on standard error\n";

tolvik::demo::DemoGateway* g_gateway = nullptr;

void OnStopSignal(int) {
  if (g_gateway) g_gateway->stop();
}

}  // namespace

int main(int argc, char** argv) {
  tolvik::demo::DemoGateway::Options options;
  std::string port_file;
  for (int i = 1; i < argc; ++i) {
    const bool has_value = i + 1 < argc;
    if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (std::strcmp(argv[i], "--port") == 0 && has_value) {
      char* end = nullptr;
      long port = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || port < 0 || port > 65535) {
        std::fprintf(stderr, "tolvik-demo-gateway: bad port '%s'\n", argv[i]);
        return 2;
      }
      options.port = static_cast<uint16_t>(port);
    } else if (std::strcmp(argv[i], "--port-file") == 0 && has_value) {
      port_file = argv[++i];
    } else if (std::strcmp(argv[i], "--channel") == 0 && has_value) {
      options.channel = argv[++i];
    } else if (std::strcmp(argv[i], "--verbose") == 0) {
      options.log = stderr;
    } else {
      std::fprintf(stderr, "tolvik-demo-gateway: unknown argument '%s'\n%s", argv[i], kUsage);
      return 2;
    }
  }
  try {
    tolvik::demo::DemoGateway gateway(options);
    g_gateway = &gateway;
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    if (!port_file.empty()) {
      // Written whole under another name first, so a reader never sees half of it.
      const std::string tmp = port_file + ".tmp";
      FILE* f = std::fopen(tmp.c_str(), "w");
      if (!f || std::fprintf(f, "%u\n", gateway.port()) < 0 || std::fclose(f) != 0 ||
          std::rename(tmp.c_str(), port_file.c_str()) != 0) {
        std::fprintf(stderr, "tolvik-demo-gateway: cannot write %s\n", port_file.c_str());
        return 1;
      }
    }
    std::printf("tolvik-demo-gateway: listening on 127.0.0.1:%u\n", gateway.port());
    std::fflush(stdout);
    int status = gateway.run();
    g_gateway = nullptr;
    return status;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tolvik-demo-gateway: %s\n", e.what());
    return 1;
  }
}
