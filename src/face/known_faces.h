#pragma once
// The certificates of bots a face has attached to over the network, pinned
// on first use: one line per bot, "host:port SHA256-fingerprint", in the
// user's configuration directory ($XDG_CONFIG_HOME/tolvik/known_faces, or
// ~/.config/tolvik/known_faces). Rewritten atomically; lines it does not
// understand are kept as they are.
#include <string>

namespace tolvik {

// The file's usual place; empty when neither XDG_CONFIG_HOME nor HOME is set.
std::string DefaultKnownFacesPath();

// "host:port" in lower case, with an IPv6 address in brackets: the key of a line.
std::string FaceEndpointKey(const std::string& host, int port);

class KnownFaces {
 public:
  enum class Match { Unknown, Same, Changed };

  explicit KnownFaces(std::string path) : path_(std::move(path)) {}

  // How `fingerprint` compares with what is pinned for `key`; on Changed,
  // `pinned` (when given) receives the fingerprint on record.
  Match Check(const std::string& key, const std::string& fingerprint, std::string* pinned = nullptr) const;
  // Pins `fingerprint` for `key`, replacing an earlier pin; makes the
  // directory when needed. False with the reason in `error`.
  bool Pin(const std::string& key, const std::string& fingerprint, std::string* error);
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace tolvik
