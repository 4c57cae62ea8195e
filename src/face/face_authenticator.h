#pragma once
// Checks the password a face gives in its hello, for listeners that want one.
#include <functional>
#include <string>

namespace tolvik {

class FaceAuthenticator {
 public:
  virtual ~FaceAuthenticator() = default;
  // `accepted` false: `reason` is what the face is told ("wrong password").
  using Done = std::function<void(bool accepted, const std::string& reason)>;
  // Checks `password` from `peer` (FaceArrival::peer). May take its time (a
  // slow hash, a pause after wrong passwords from the same address): it
  // calls `done` exactly once, from any thread, now or later. The hub
  // ignores a `done` for a face that went away meanwhile. The password is
  // the hub's; an authenticator that keeps a copy wipes it.
  virtual void Check(const std::string& peer, const std::string& password, Done done) = 0;
};

}  // namespace tolvik
