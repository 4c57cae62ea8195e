#pragma once
// Faces on the same machine: a Unix domain socket in the bot's working
// directory that only the bot's own user may use.
#include <sys/socket.h>
#include <sys/types.h>

#include <memory>
#include <string>

#include "face/face_listener.h"
#include "face/face_stream.h"

namespace tolvik {

inline constexpr char kFaceSocketName[] = ".tolvik.sock";

// `dir`/.tolvik.sock
std::string FaceSocketPath(const std::string& dir);

// Whether a peer with these credentials may attach to a bot run by `own`.
bool LocalFacePeerAllowed(const ucred& peer, uid_t own);

// Listens on `dir`/.tolvik.sock (mode 0600). The caller holds the
// directory's instance lock, so a socket already there was left by a bot
// that is gone and is replaced. Null with `error` set when it cannot listen.
std::unique_ptr<FaceListener> ListenForLocalFaces(const std::string& dir, std::string* error);

// A face's connection to the bot of `dir`. Null with `error` set when no bot
// listens there.
std::unique_ptr<FaceStream> ConnectToLocalBot(const std::string& dir, std::string* error);

}  // namespace tolvik
