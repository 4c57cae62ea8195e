#include "face/remote_faces.h"

#include <memory>
#include <string>

#include "app/document.h"
#include "display/chat_display.h"
#include "face/face_hub.h"
#include "face/face_password.h"
#include "face/face_password_authenticator.h"
#include "face/face_tls_listener.h"
#include "settings/remote_settings.h"

namespace tolvik {

bool ListenForRemoteFaces(CHaldenDoc& doc, FaceHub& hub) {
  const RemoteSettings remote = LoadRemoteSettings(doc.Paths().botIni);
  auto say = [&doc](const std::string& text) { doc.Display().print(TextType::BotInfo, "%s", text.c_str()); };
  if (!remote.error.empty()) {
    say(remote.error + "; faces cannot attach over the network.");
    return false;
  }
  if (!remote.enabled) return false;
  const std::string& dir = doc.Paths().workingDirectory;
  std::string error;
  auto listener = FaceTlsListener::Open(dir, remote.host, remote.port,
                                        std::make_unique<FacePasswordAuthenticator>(dir), &error);
  if (!listener) {
    say("Faces cannot attach over the network: " + error);
    return false;
  }
  const std::string fingerprint = listener->Certificate().fingerprint;
  hub.AddListener(std::move(listener));
  say("Faces over the network speak TLS; the bot's certificate has the SHA-256 fingerprint " + fingerprint);
  if (!HasFacePassword(dir))
    say("No face password is set, so every face over the network is refused; set one with "
        "tolvik-cli --dir " + dir + " --set-face-password");
  return true;
}

}  // namespace tolvik
