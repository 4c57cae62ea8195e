#pragma once
// Where faces come from: a listening socket that hands over one connected
// stream at a time. The local listener is a Unix domain socket that admits
// only the bot's own user; a network listener adds TLS and wants a password.
#include <memory>
#include <string>

#include "face/face_stream.h"

namespace tolvik {

class FaceAuthenticator;

struct FaceArrival {
  std::unique_ptr<FaceStream> stream;  // null: nobody, or somebody refused
  // Who it is, for the chat display and for slowing down wrong passwords:
  // "local user 1000", "192.0.2.7:51234".
  std::string peer;
};

class FaceListener {
 public:
  virtual ~FaceListener() = default;
  // The listening socket; the hub polls it for readability.
  virtual int Fd() const = 0;
  // Fd() is readable: takes one waiting connection. A connection refused
  // here (a stranger's uid) gives a null stream and, in `refusal`, why.
  virtual FaceArrival Accept(std::string* refusal) = 0;
  // Where it listens, as the chat display says it: a socket path, host:port.
  virtual std::string Where() const = 0;
  // Faces from here must give a password, checked by this (null: the
  // listener itself vouches for its peers, as the local one does by uid).
  virtual FaceAuthenticator* Authenticator() const { return nullptr; }
};

}  // namespace tolvik
