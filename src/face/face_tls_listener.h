#pragma once
// Faces over the network: a TCP listener whose connections speak TLS with
// the bot's own certificate and must give the face password.
#include <openssl/types.h>

#include <cstdint>
#include <memory>
#include <string>

#include "face/face_authenticator.h"
#include "face/face_certificate.h"
#include "face/face_listener.h"

namespace tolvik {

class FaceTlsListener : public FaceListener {
 public:
  // Listens on `host`:`port` (0: any free port) with the certificate of
  // `profile_dir` (made on first use); passwords are checked by
  // `authenticator`. Null with `error` set when it cannot.
  static std::unique_ptr<FaceTlsListener> Open(const std::string& profile_dir, const std::string& host,
                                               uint16_t port, std::unique_ptr<FaceAuthenticator> authenticator,
                                               std::string* error);
  ~FaceTlsListener() override;

  int Fd() const override { return fd_; }
  // A connection whose TLS handshake is still to come: it is driven by the
  // stream's first reads and writes. `peer` is "address:port".
  FaceArrival Accept(std::string* refusal) override;
  // "host:port" with the port actually bound.
  std::string Where() const override;
  FaceAuthenticator* Authenticator() const override { return authenticator_.get(); }

  uint16_t Port() const { return port_; }
  const FaceCertificate& Certificate() const { return certificate_; }

 private:
  FaceTlsListener() = default;

  int fd_ = -1;
  std::string host_;
  uint16_t port_ = 0;
  FaceCertificate certificate_;
  SSL_CTX* ctx_ = nullptr;
  std::unique_ptr<FaceAuthenticator> authenticator_;
};

// The address part of a peer description "192.0.2.7:51234" or
// "[2001:db8::1]:51234".
std::string PeerAddress(const std::string& peer);

// What wrong passwords are counted by: an IPv4 address (also one mapped
// into IPv6), or the /64 network of an IPv6 address, since one host
// commonly holds a whole /64 ("2001:db8:0:1::/64").
std::string ThrottleKey(const std::string& address);

}  // namespace tolvik
