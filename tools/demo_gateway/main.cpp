// tolvik-demo-gateway: a demonstration chat gateway on 127.0.0.1 for one bot.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <thread>

#include "api_bridge.h"
#include "demo_gateway.h"

namespace {

const char kUsage[] =
    "Usage: tolvik-demo-gateway [--port N] [--port-file FILE] [--channel NAME] [--verbose]\n"
    "Serves one bot on 127.0.0.1 (port 6112 unless given; 0 picks a free one) and\n"
    "plays a lively channel NAME (default \"Tolvik Demo\") around it. Ends when the\n"
    "bot disconnects, or on SIGINT or SIGTERM.\n"
    "  --port-file FILE  write the port there once listening\n"
    "  --verbose         show every line in and out on standard error\n"
    "  --api CERT KEY    speak the chat API instead (TLS with that certificate and\n"
    "                    key, WebSocket, JSON) in front of the same channel\n";

tolvik::demo::DemoGateway* g_gateway = nullptr;
tolvik::demo::ApiBridge* g_bridge = nullptr;

void OnStopSignal(int) {
  if (g_gateway) g_gateway->stop();
  if (g_bridge) g_bridge->stop();
}

}  // namespace

int main(int argc, char** argv) {
  tolvik::demo::DemoGateway::Options options;
  std::string port_file;
  std::string api_cert, api_key;
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
    } else if (std::strcmp(argv[i], "--api") == 0 && i + 2 < argc) {
      api_cert = argv[++i];
      api_key = argv[++i];
    } else if (std::strcmp(argv[i], "--verbose") == 0) {
      options.log = stderr;
    } else {
      std::fprintf(stderr, "tolvik-demo-gateway: unknown argument '%s'\n%s", argv[i], kUsage);
      return 2;
    }
  }
  try {
    const bool api = !api_cert.empty();
    tolvik::demo::ApiBridge::Options bridge_options;
    if (api) {
      // The text gateway plays the channel on a free port of its own; the
      // bridge takes the port the bot is told.
      bridge_options.port = options.port;
      bridge_options.cert_file = api_cert;
      bridge_options.key_file = api_key;
      bridge_options.channel = options.channel;
      bridge_options.log = options.log;
      options.port = 0;
    }
    tolvik::demo::DemoGateway gateway(options);
    g_gateway = &gateway;
    std::unique_ptr<tolvik::demo::ApiBridge> bridge;
    if (api) {
      bridge_options.gateway_port = gateway.port();
      bridge = std::make_unique<tolvik::demo::ApiBridge>(bridge_options);
      g_bridge = bridge.get();
    }
    const unsigned port = api ? bridge->port() : gateway.port();
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
      if (!f || std::fprintf(f, "%u\n", port) < 0 || std::fclose(f) != 0 ||
          std::rename(tmp.c_str(), port_file.c_str()) != 0) {
        std::fprintf(stderr, "tolvik-demo-gateway: cannot write %s\n", port_file.c_str());
        return 1;
      }
    }
    std::printf("tolvik-demo-gateway: listening on 127.0.0.1:%u%s\n", port, api ? " (chat API)" : "");
    std::fflush(stdout);
    int status = 0;
    if (api) {
      std::thread channel([&gateway] { gateway.run(); });
      status = bridge->run();
      gateway.stop();
      channel.join();
    } else {
      status = gateway.run();
    }
    g_gateway = nullptr;
    g_bridge = nullptr;
    return status;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tolvik-demo-gateway: %s\n", e.what());
    return 1;
  }
}
