#pragma once
// The terminal program's face options that need no running bot: setting
// the face password, and opening the connection to a bot over the network
// (password and certificate questions on the terminal).
#include <memory>
#include <optional>
#include <string>

#include "cli/cli_options.h"
#include "face/face_stream.h"

namespace tolvik {

// --set-face-password: reads the password (standard input) and stores its
// hash in the directory of --dir/--profile. Returns the exit status.
int RunSetFacePassword(const CliOptions& options);

struct RemoteFace {
  std::unique_ptr<FaceStream> stream;
  std::string host;      // for the WebSocket's Host header
  std::string endpoint;  // "host:port", for the title and the messages
  std::optional<std::string> password;
};

// --attach HOST:PORT: the password (from --face-password-file or asked on
// the terminal), then the connection with the certificate checked or
// pinned (the question asked on the terminal when there is one). False
// with `error` set when there is no way in.
bool OpenRemoteFace(const CliOptions& options, RemoteFace* face, std::string* error);

}  // namespace tolvik
