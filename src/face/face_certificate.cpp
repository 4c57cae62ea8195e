#include "face/face_certificate.h"

#include "net/openssl.h"
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "net/tls_stream.h"
#include "settings/config.h"
#include "storage/atomic_file.h"

namespace tolvik {
namespace {

// The library's functions are reached through pointers loaded at run time,
// so each owner names its free function in a small deleter of its own.
struct FreePkey {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct FreeX509 {
  void operator()(X509* p) const { X509_free(p); }
};
struct FreeBio {
  void operator()(BIO* p) const { BIO_free_all(p); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, FreePkey>;
using X509Ptr = std::unique_ptr<X509, FreeX509>;
using BioPtr = std::unique_ptr<BIO, FreeBio>;

// Thirty years: the certificate is pinned, not trusted through an expiry date.
constexpr long kValidDays = 30L * 365;

std::string BioText(BIO* bio) {
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio, &data);
  return n > 0 ? std::string(data, static_cast<size_t>(n)) : std::string();
}

bool AddExtension(X509* cert, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (ext == nullptr) return false;
  const bool ok = X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  return ok;
}

// A new key and a self-signed certificate for it, as PEM texts.
bool MakePair(std::string* cert_pem, std::string* key_pem, std::string* error) {
  PkeyPtr key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
  X509Ptr cert(X509_new());
  if (!key || !cert) {
    *error = "cannot make a key: " + api::TakeTlsError();
    return false;
  }
  unsigned char serial_bytes[16];
  if (RAND_bytes(serial_bytes, sizeof serial_bytes) != 1) {
    *error = "no random bytes for the certificate: " + api::TakeTlsError();
    return false;
  }
  serial_bytes[0] &= 0x7f;  // a positive serial number
  BIGNUM* serial = BN_bin2bn(serial_bytes, sizeof serial_bytes, nullptr);
  const bool serial_ok = serial != nullptr && BN_to_ASN1_INTEGER(serial, X509_get_serialNumber(cert.get())) != nullptr;
  BN_free(serial);
  X509_NAME* name = X509_get_subject_name(cert.get());
  const bool ok =
      serial_ok && X509_set_version(cert.get(), X509_VERSION_3) == 1 &&
      X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600) != nullptr &&
      X509_time_adj_ex(X509_getm_notAfter(cert.get()), kValidDays, 0, nullptr) != nullptr &&
      X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                 reinterpret_cast<const unsigned char*>("Tolvik bot"), -1, -1, 0) == 1 &&
      X509_set_issuer_name(cert.get(), name) == 1 && X509_set_pubkey(cert.get(), key.get()) == 1 &&
      AddExtension(cert.get(), NID_basic_constraints, "critical,CA:FALSE") &&
      AddExtension(cert.get(), NID_key_usage, "critical,digitalSignature") &&
      AddExtension(cert.get(), NID_ext_key_usage, "serverAuth") &&
      X509_sign(cert.get(), key.get(), EVP_sha256()) > 0;
  if (!ok) {
    *error = "cannot make a certificate: " + api::TakeTlsError();
    return false;
  }
  BioPtr cert_bio(BIO_new(BIO_s_mem()));
  BioPtr key_bio(BIO_new(BIO_s_mem()));
  if (!cert_bio || !key_bio || PEM_write_bio_X509(cert_bio.get(), cert.get()) != 1 ||
      PEM_write_bio_PrivateKey(key_bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
    *error = "cannot write the certificate: " + api::TakeTlsError();
    return false;
  }
  *cert_pem = BioText(cert_bio.get());
  *key_pem = BioText(key_bio.get());
  return true;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

std::string CertificateFingerprint(X509* cert) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (cert == nullptr || !openssl::Load() || X509_digest(cert, EVP_sha256(), md, &n) != 1) return std::string();
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned int i = 0; i < n; ++i) {
    if (i > 0) text += ':';
    text += kHex[md[i] >> 4];
    text += kHex[md[i] & 15];
  }
  return text;
}

bool EnsureFaceCertificate(const std::string& profile_dir, FaceCertificate* out, std::string* error) {
  if (!openssl::Load(error)) return false;
  out->cert_file = JoinPath(profile_dir, kFaceCertificateFile);
  out->key_file = JoinPath(profile_dir, kFaceKeyFile);
  const bool have_cert = Exists(out->cert_file);
  const bool have_key = Exists(out->key_file);
  if (have_cert != have_key) {
    *error = (have_cert ? out->key_file : out->cert_file) + " is missing (remove " +
             (have_cert ? out->cert_file : out->key_file) + " to have a new pair made)";
    return false;
  }
  if (!have_cert) {
    std::string cert_pem, key_pem;
    if (!MakePair(&cert_pem, &key_pem, error)) return false;
    // The key first and owner-only; the certificate only once the key is there.
    if (!WriteFileAtomically(out->key_file, key_pem, 0600)) {
      *error = "cannot write " + out->key_file + ": " + std::strerror(errno);
      return false;
    }
    if (!WriteFileAtomically(out->cert_file, cert_pem, 0644)) {
      *error = "cannot write " + out->cert_file + ": " + std::strerror(errno);
      ::unlink(out->key_file.c_str());
      return false;
    }
  }
  struct stat st {};
  if (::stat(out->key_file.c_str(), &st) != 0) {
    *error = "cannot read " + out->key_file + ": " + std::strerror(errno);
    return false;
  }
  if ((st.st_mode & 077) != 0) {
    *error = out->key_file + " may be read by other users; make it owner-only (chmod 600)";
    return false;
  }
  std::string pem;
  if (!ReadWholeFile(out->cert_file, pem)) {
    *error = "cannot read " + out->cert_file;
    return false;
  }
  BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  X509Ptr cert(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!cert) {
    api::TakeTlsError();
    *error = out->cert_file + " holds no certificate";
    return false;
  }
  out->fingerprint = CertificateFingerprint(cert.get());
  return true;
}

}  // namespace tolvik
