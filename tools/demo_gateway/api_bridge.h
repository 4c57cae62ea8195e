#pragma once
// The demonstration gateway's chat API face: a TLS WebSocket server on
// 127.0.0.1 that speaks the chat API's JSON to one bot and plays the demo
// gateway's channel through it. It logs in to the demo gateway (a text
// gateway on another local port) for the bot, turns the gateway's event
// lines into API events and the bot's requests into the lines the gateway
// takes, and answers each request by its id, as the API does.
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

namespace tolvik::demo {

class ApiBridge {
 public:
  struct Options {
    uint16_t port = 0;          // where the bot connects (0: any free port)
    uint16_t gateway_port = 0;  // the text gateway it plays
    std::string cert_file;      // the server certificate chain (PEM)
    std::string key_file;
    std::string bot_name = "TolvikBot";  // what the API calls the bot
    std::string channel = "Tolvik Demo";  // where the API puts it
    FILE* log = nullptr;
  };

  explicit ApiBridge(Options options);
  ~ApiBridge();
  ApiBridge(const ApiBridge&) = delete;
  ApiBridge& operator=(const ApiBridge&) = delete;

  uint16_t port() const { return port_; }
  // Serves one bot until it disconnects, or stop(); 0 then, 1 on a failure.
  int run();
  void stop();

 private:
  bool serve(int fd);
  // One line of the text gateway, as zero or one API event.
  std::string fromGateway(const std::string& line);
  // One API request, as a line for the text gateway (empty: none).
  std::string toGateway(const std::string& request, std::string* answer, bool* disconnect);
  uint64_t idOf(const std::string& name);
  void log(const char* direction, const std::string& text);

  Options options_;
  int listen_fd_ = -1;
  int wake_pipe_[2] = {-1, -1};
  uint16_t port_ = 0;
  std::map<std::string, uint64_t> ids_;
  std::map<uint64_t, std::string> names_;
  uint64_t next_id_ = 1;
};

}  // namespace tolvik::demo
