#include "cli/face_options.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "cli/line_editor.h"
#include "face/face_password.h"
#include "face/known_faces.h"
#include "face/remote_face_connect.h"
#include "face/terminal_prompt.h"
#include "storage/profile_dir.h"

namespace tolvik {
namespace {

constexpr int kConnectTimeoutMs = 15000;

}  // namespace

int RunSetFacePassword(const CliOptions& options) {
  const WorkingDirectory work = ResolveWorkingDirectory(options.dir, options.profile);
  if (work.path.empty()) {
    std::fprintf(stderr, "tolvik-cli: %s\n", work.error.c_str());
    return 2;
  }
  std::string password, error;
  if (!ReadNewFacePassword(STDIN_FILENO, stderr, &password, &error)) {
    std::fprintf(stderr, "tolvik-cli: %s\n", error.c_str());
    return 1;
  }
  const bool ok = SetFacePassword(work.path, password, &error);
  WipeSecret(password);
  if (!ok) {
    std::fprintf(stderr, "tolvik-cli: %s\n", error.c_str());
    return 1;
  }
  std::printf("The face password of %s is set; faces attaching over the network need it from now on.\n",
              work.path.c_str());
  return 0;
}

bool OpenRemoteFace(const CliOptions& options, const std::string& history_dir, FaceTarget* target,
                    std::string* error) {
  int port = 0;
  std::string host;
  if (!SplitFaceEndpoint(options.attach_to, &host, &port)) {
    *error = "--attach " + options.attach_to + " is not HOST:PORT";
    return false;
  }
  const std::string endpoint = FaceEndpointKey(host, port);
  std::unique_ptr<FaceStream> stream;
  const bool terminal = ::isatty(STDIN_FILENO) != 0;
  std::string password;
  if (!options.face_password_file.empty()) {
    if (!ReadFacePasswordFile(options.face_password_file, &password, error)) return false;
  } else if (!terminal) {
    *error = "no face password: name a file with --face-password-file or attach from a terminal";
    return false;
  }

  RemoteFaceTrust trust;
  trust.known_faces_file = DefaultKnownFacesPath();
  trust.ca_file = options.face_ca;
  if (terminal) {
    trust.ask = [](const std::string& endpoint, const std::string& fingerprint) {
      std::fprintf(stderr,
                   "The bot at %s is not known yet.\nIts certificate's SHA-256 fingerprint is\n  %s\n"
                   "Compare it with the one the bot showed where it said it listens.\n",
                   endpoint.c_str(), fingerprint.c_str());
      return AskYesNo(STDIN_FILENO, stderr, "Trust it and remember it for " + endpoint + "?");
    };
  }
  trust.notice = [](const std::string& note) { std::fprintf(stderr, "tolvik-cli: %s\n", note.c_str()); };
  // The bot gives a face only seconds to say hello, and the question above
  // is asked in the middle of the handshake: after a slow answer on the
  // terminal, connect afresh (the certificate is pinned by now, and
  // checked again).
  bool said_yes = false;
  if (trust.ask) {
    trust.ask = [&said_yes, ask = trust.ask](const std::string& endpoint, const std::string& fingerprint) {
      said_yes = ask(endpoint, fingerprint);
      return said_yes;
    };
  }
  auto start = std::chrono::steady_clock::now();
  stream = ConnectToRemoteBot(host, port, trust, kConnectTimeoutMs, error);
  if (!stream && said_yes) {
    start = std::chrono::steady_clock::now();
    stream = ConnectToRemoteBot(host, port, trust, kConnectTimeoutMs, error);
  }
  if (!stream) {
    WipeSecret(password);
    return false;
  }
  // Asked only once the bot is known, so a refused certificate never gets it.
  if (password.empty() &&
      !ReadSecretLine(STDIN_FILENO, stderr, ("Face password for " + endpoint + ": ").c_str(), &password,
                      kFacePasswordLimit)) {
    *error = "no face password given";
    stream.reset();
    return false;
  }
  if (said_yes || std::chrono::steady_clock::now() - start > std::chrono::seconds(5)) {
    stream = ConnectToRemoteBot(host, port, trust, kConnectTimeoutMs, error);
    if (!stream) {
      WipeSecret(password);
      return false;
    }
  }
  target->host = host;
  target->password = std::move(password);
  target->history_path = history_dir + "/" + LineEditor::kHistoryFile;
  // The line editor owns the terminal from now on: nothing more is asked.
  trust.ask = nullptr;
  auto first = std::make_shared<std::unique_ptr<FaceStream>>(std::move(stream));
  target->connect = [first, host, port, trust](std::string* why) {
    if (*first) return std::move(*first);
    return ConnectToRemoteBot(host, port, trust, kConnectTimeoutMs, why);
  };
  return true;
}

}  // namespace tolvik
