#pragma once
// The question a window asks the first time it meets a bot's certificate
// over the network: the bot's address and the certificate's SHA-256
// fingerprint, to compare with what the bot's owner sees on that machine.
#include <string>

class QWidget;

namespace tolvik::ui {

// A yes/no dialog over `parent`; true when the user trusts the certificate
// (it is then pinned for `endpoint`, "host:port"). No is the default.
bool AskToPinCertificate(QWidget* parent, const std::string& endpoint, const std::string& fingerprint);

}  // namespace tolvik::ui
