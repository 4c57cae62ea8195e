#pragma once
// `tolvik --attach HOST:PORT`: the window's target for a bot that listens
// for faces over the network. The bot's certificate is pinned on first use
// after a question in a dialog; the face password comes from a file or a
// password dialog, asked only once the bot's certificate is trusted.
#include <string>

class QWidget;

namespace tolvik::ui {

struct FaceTarget;

struct RemoteAttach {
  std::string endpoint;       // "host:port" or "[v6]:port"
  std::string password_file;  // --face-password-file; empty: asked
  std::string ca_file;        // --face-ca; empty: pinning only
};

// Connects once (the first stream is kept for the window's first attach)
// and fills `target`. False with `error` set when the bot cannot be reached
// or trusted, or no password was given. Dialogs open over `parent`.
bool OpenRemoteTarget(const RemoteAttach& attach, QWidget* parent, FaceTarget* target, std::string* error);

}  // namespace tolvik::ui
