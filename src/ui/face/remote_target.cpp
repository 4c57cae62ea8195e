#include "ui/face/remote_target.h"

#include <QInputDialog>
#include <chrono>
#include <cstdio>
#include <memory>

#include "face/face_password.h"
#include "face/known_faces.h"
#include "face/remote_face_connect.h"
#include "face/terminal_prompt.h"
#include "ui/face/face_window.h"
#include "ui/face/pin_question.h"

namespace tolvik::ui {
namespace {

constexpr int kConnectTimeoutMs = 10000;
// The bot waits only seconds for a hello: a connection older than this when
// the password is known is made afresh.
constexpr auto kFreshFor = std::chrono::seconds(5);

}  // namespace

bool OpenRemoteTarget(const RemoteAttach& attach, QWidget* parent, FaceTarget* target, std::string* error) {
  std::string host;
  int port = 0;
  if (!SplitFaceEndpoint(attach.endpoint, &host, &port)) {
    *error = "--attach " + attach.endpoint + " is not HOST:PORT";
    return false;
  }
  const std::string endpoint = FaceEndpointKey(host, port);
  std::string password;
  if (!attach.password_file.empty() && !ReadFacePasswordFile(attach.password_file, &password, error)) return false;

  RemoteFaceTrust trust;
  trust.known_faces_file = DefaultKnownFacesPath();
  trust.ca_file = attach.ca_file;
  trust.notice = [](const std::string& note) { std::fprintf(stderr, "tolvik: %s\n", note.c_str()); };
  bool said_yes = false;
  trust.ask = [parent, &said_yes](const std::string& where, const std::string& fingerprint) {
    said_yes = AskToPinCertificate(parent, where, fingerprint);
    return said_yes;
  };
  auto start = std::chrono::steady_clock::now();
  std::unique_ptr<FaceStream> stream = ConnectToRemoteBot(host, port, trust, kConnectTimeoutMs, error);
  if (!stream && said_yes) {
    // The question took longer than the bot waits: the certificate is pinned now.
    start = std::chrono::steady_clock::now();
    stream = ConnectToRemoteBot(host, port, trust, kConnectTimeoutMs, error);
  }
  if (!stream) {
    WipeSecret(password);
    return false;
  }
  if (password.empty()) {
    bool ok = false;
    const QString typed = QInputDialog::getText(parent, QObject::tr("Face password"),
                                                QObject::tr("Face password for %1:").arg(QString::fromStdString(endpoint)),
                                                QLineEdit::Password, QString(), &ok);
    password = typed.toStdString();
    if (!ok || password.empty()) {
      *error = "no face password given";
      return false;
    }
  }
  if (said_yes || std::chrono::steady_clock::now() - start > kFreshFor) {
    stream = ConnectToRemoteBot(host, port, trust, kConnectTimeoutMs, error);
    if (!stream) {
      WipeSecret(password);
      return false;
    }
  }
  // Later attaches never ask: a certificate not pinned by now is refused.
  trust.ask = nullptr;
  auto first = std::make_shared<std::unique_ptr<FaceStream>>(std::move(stream));
  target->title = QString::fromStdString(endpoint);
  target->remote_host = host;
  target->host = host;
  target->password = std::move(password);
  target->connector = [first, host, port, trust](std::string* why) {
    if (*first) return std::move(*first);
    return ConnectToRemoteBot(host, port, trust, kConnectTimeoutMs, why);
  };
  return true;
}

}  // namespace tolvik::ui
