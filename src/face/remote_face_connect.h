#pragma once
// A face's connection to a bot over the network: TCP, then TLS with the
// bot's certificate pinned on first use. The certificate is taken when its
// SHA-256 fingerprint is the one pinned for that host and port, or when it
// verifies against the CA file the user named (with the host's name or
// address in it). A certificate seen for the first time is pinned if the
// user says yes when asked; with nobody to ask it is refused. A pinned
// certificate that changed is refused, loudly.
#include <functional>
#include <memory>
#include <string>

#include "face/face_stream.h"

namespace tolvik {

struct RemoteFaceTrust {
  std::string known_faces_file;  // where pins are kept (DefaultKnownFacesPath())
  std::string ca_file;           // --face-ca: a CA whose certificates are taken; empty for none
  // Asked about a certificate not seen before for `endpoint` ("host:port");
  // true pins it. Empty: no one to ask, the certificate is refused.
  std::function<bool(const std::string& endpoint, const std::string& fingerprint)> ask;
  // Told what the user should know beyond the outcome (a pin that could not be stored).
  std::function<void(const std::string& note)> notice;
};

// Splits "host:port" or "[IPv6]:port" (the port is required).
bool SplitFaceEndpoint(const std::string& text, std::string* host, int* port);

// Connects to the bot at `host`:`port`. Null with `error` set (several
// lines for a changed certificate) when it cannot.
std::unique_ptr<FaceStream> ConnectToRemoteBot(const std::string& host, int port, const RemoteFaceTrust& trust,
                                               int timeout_ms, std::string* error);

}  // namespace tolvik
