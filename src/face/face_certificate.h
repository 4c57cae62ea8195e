#pragma once
// The certificate a bot shows to faces that attach over the network: made
// by the bot itself on first use (an EC P-256 key, self-signed, valid for
// decades) and kept in the profile directory beside Bot.ini. Faces pin it
// by its SHA-256 fingerprint. An owner who prefers a certificate from a CA
// of their own puts its chain and key in the same two files.
#include <openssl/types.h>

#include <string>

namespace tolvik {

inline constexpr char kFaceCertificateFile[] = "face.crt";
inline constexpr char kFaceKeyFile[] = "face.key";

struct FaceCertificate {
  std::string cert_file;    // PEM chain, the bot's own certificate first
  std::string key_file;     // PEM private key, owner-only
  std::string fingerprint;  // SHA256 of the certificate, "AB:CD:..." (95 characters)
};

// Loads the certificate of `profile_dir`, making a new one (and its key)
// when neither file exists. A key file that others may read is refused
// rather than used. False with the reason in `error` on any failure; a
// half-made pair is never left behind.
bool EnsureFaceCertificate(const std::string& profile_dir, FaceCertificate* out, std::string* error);

// The SHA-256 fingerprint of a certificate, as upper-case hex pairs joined by ':'.
std::string CertificateFingerprint(X509* cert);

}  // namespace tolvik
