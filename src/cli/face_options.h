#pragma once
// The terminal program's face options that need no running bot: setting
// the face password, and opening the connection to a bot over the network
// (password and certificate questions on the terminal).
#include <string>

#include "cli/cli_options.h"
#include "cli/face_terminal.h"

namespace tolvik {

// --set-face-password: reads the password (standard input) and stores its
// hash in the directory of --dir/--profile. Returns the exit status.
int RunSetFacePassword(const CliOptions& options);

// --attach HOST:PORT: the password (from --face-password-file or asked on
// the terminal), then the connection with the certificate checked or
// pinned (the question asked on the terminal when there is one). The
// target's first connect gives that connection; later ones (the bot came
// back) connect afresh and take only the certificate pinned by then. The
// input history stays in `history_dir`. False with `error` set when there
// is no way in.
bool OpenRemoteFace(const CliOptions& options, const std::string& history_dir, FaceTarget* target,
                    std::string* error);

}  // namespace tolvik
