#include "face/remote_face_connect.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include "net/openssl.h"
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "face/face_certificate.h"
#include "face/known_faces.h"
#include "face/tls_face_stream.h"
#include "net/tls_stream.h"
#include "net/tcp_connector.h"
#include "settings/remote_settings.h"

namespace tolvik {
namespace {

// Whether `chain` verifies against the CA in `ca_file` for `host`; why not in `why`.
bool SignedByCa(X509_STORE_CTX* chain, const std::string& ca_file, const std::string& host, std::string* why) {
  struct stat st {};
  if (::stat(ca_file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    *why = "cannot read the CA file " + ca_file;
    return false;
  }
  X509_STORE* store = X509_STORE_new();
  X509_STORE_CTX* ctx = X509_STORE_CTX_new();
  bool ok = false;
  if (store != nullptr && ctx != nullptr && X509_STORE_load_file(store, ca_file.c_str()) == 1 &&
      X509_STORE_CTX_init(ctx, store, X509_STORE_CTX_get0_cert(chain), X509_STORE_CTX_get0_untrusted(chain)) == 1) {
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(ctx);
    X509_VERIFY_PARAM_set_purpose(param, X509_PURPOSE_SSL_SERVER);
    if (X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) != 1) {
      ERR_clear_error();
      X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
      X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0);
    }
    ok = X509_verify_cert(ctx) == 1;
    if (!ok) *why = std::string("not signed by the CA of ") + ca_file + " (" +
                    X509_verify_cert_error_string(X509_STORE_CTX_get_error(ctx)) + ")";
  } else {
    *why = "cannot read the CA file " + ca_file + ": " + api::TakeTlsError();
  }
  ERR_clear_error();
  X509_STORE_CTX_free(ctx);
  X509_STORE_free(store);
  return ok;
}

}  // namespace

bool SplitFaceEndpoint(const std::string& text, std::string* host, int* port) {
  RemoteSettings parsed;
  if (!ParseListenAddress(text, &parsed) || parsed.port == 0) return false;
  *host = parsed.host;
  *port = parsed.port;
  return true;
}

std::unique_ptr<FaceStream> ConnectToRemoteBot(const std::string& host, int port, const RemoteFaceTrust& trust,
                                               int timeout_ms, std::string* error) {
  const std::string endpoint = FaceEndpointKey(host, port);
  std::atomic<bool> cancel{false};
  ConnectOutcome connected = ConnectToServer(endpoint.c_str(), static_cast<uint16_t>(port), timeout_ms, cancel);
  if (connected.fd < 0) {
    *error = "cannot connect to " + endpoint + ": " + connected.failure.Message();
    return nullptr;
  }
  const int fd = connected.fd;
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL, 0) | O_NONBLOCK);
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

  KnownFaces known(trust.known_faces_file);
  auto check = [&](X509_STORE_CTX* chain, std::string* why) {
    const std::string fingerprint = CertificateFingerprint(X509_STORE_CTX_get0_cert(chain));
    std::string pinned;
    const KnownFaces::Match match = known.Check(endpoint, fingerprint, &pinned);
    if (match == KnownFaces::Match::Same) return true;
    std::string ca_why;
    if (!trust.ca_file.empty() && SignedByCa(chain, trust.ca_file, host, &ca_why)) return true;
    if (match == KnownFaces::Match::Changed) {
      *why = "WARNING: THE CERTIFICATE OF THE BOT AT " + endpoint + " HAS CHANGED!\n" +
             "Someone may be listening in between, or the bot has a new certificate.\n" +
             "Pinned:  SHA256 " + pinned + "\n" + "Offered: SHA256 " + fingerprint + "\n" +
             "Not attaching. If you know why it changed, remove the line for " + endpoint + " from " +
             known.Path() + " and attach again.";
      return false;
    }
    if (!trust.ask) {
      *why = "The bot at " + endpoint + " shows a certificate not seen before (SHA256 " + fingerprint +
             ") and there is no terminal to ask whether to trust it" +
             (ca_why.empty() ? std::string() : "; it is " + ca_why) +
             ". Attach once from a terminal to pin it, or name the CA that signed it with --face-ca FILE.";
      return false;
    }
    if (!trust.ask(endpoint, fingerprint)) {
      *why = "The certificate of the bot at " + endpoint + " was not accepted.";
      return false;
    }
    std::string pin_error;
    if (!known.Pin(endpoint, fingerprint, &pin_error) && trust.notice)
      trust.notice("The certificate is taken this time but not pinned: " + pin_error);
    return true;
  };
  auto tls = api::TlsStream::ConnectChecked(fd, host, check, timeout_ms, error);
  if (!tls) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<TlsFaceStream>(fd, std::move(tls));
}

}  // namespace tolvik
