#pragma once
// OpenSSL, loaded when it is first needed rather than when the program
// starts. A bot on the text protocol with no face attached never uses TLS,
// and mapping libssl and libcrypto at start costs every process about 2 MB of
// resident memory (their relocations alone touch over a megabyte).
//
// Include this header instead of OpenSSL's own. It declares a pointer for
// each OpenSSL function the program calls and, at its end, names each such
// function as its pointer, so the calls read as plain OpenSSL. Code that
// starts TLS or crypto work calls Load() first and reports its reason when it
// fails; after that every call goes straight to the library.
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/opensslv.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/sha.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <string>

namespace tolvik::openssl {

struct Functions {
#define TOLVIK_OPENSSL_FUNCTION(name) decltype(&::name) name = nullptr;
#include "net/openssl_functions.inc"
#undef TOLVIK_OPENSSL_FUNCTION
};

// Loads the libraries once for the whole process (any thread may call it).
// False, with the reason in `why`, when they cannot be loaded or lack one of
// the functions; the answer then stays the same for the process's life.
bool Load(std::string* why = nullptr);

// Loads the library file `file` (libcrypto comes with libssl as its
// dependency) into `out`. Load() does this once with the installed libssl.
bool LoadFrom(const char* file, Functions* out, std::string* why);

// The loaded functions. Only for code that Load() has let through: without
// the library there is nothing to call, and the process ends with the reason.
const Functions& Fn();

}  // namespace tolvik::openssl

#ifndef TOLVIK_OPENSSL_LOADER
#define BIO_ctrl (::tolvik::openssl::Fn().BIO_ctrl)
#define BIO_free_all (::tolvik::openssl::Fn().BIO_free_all)
#define BIO_new (::tolvik::openssl::Fn().BIO_new)
#define BIO_new_mem_buf (::tolvik::openssl::Fn().BIO_new_mem_buf)
#define BIO_s_mem (::tolvik::openssl::Fn().BIO_s_mem)
#define BN_bin2bn (::tolvik::openssl::Fn().BN_bin2bn)
#define BN_free (::tolvik::openssl::Fn().BN_free)
#define BN_to_ASN1_INTEGER (::tolvik::openssl::Fn().BN_to_ASN1_INTEGER)
#define ERR_clear_error (::tolvik::openssl::Fn().ERR_clear_error)
#define ERR_error_string_n (::tolvik::openssl::Fn().ERR_error_string_n)
#define ERR_get_error (::tolvik::openssl::Fn().ERR_get_error)
#define EVP_EncodeBlock (::tolvik::openssl::Fn().EVP_EncodeBlock)
#define EVP_PKEY_Q_keygen (::tolvik::openssl::Fn().EVP_PKEY_Q_keygen)
#define EVP_PKEY_free (::tolvik::openssl::Fn().EVP_PKEY_free)
#define EVP_sha256 (::tolvik::openssl::Fn().EVP_sha256)
#define PEM_read_bio_X509 (::tolvik::openssl::Fn().PEM_read_bio_X509)
#define PEM_write_bio_PrivateKey (::tolvik::openssl::Fn().PEM_write_bio_PrivateKey)
#define PEM_write_bio_X509 (::tolvik::openssl::Fn().PEM_write_bio_X509)
#define RAND_bytes (::tolvik::openssl::Fn().RAND_bytes)
#define SHA1 (::tolvik::openssl::Fn().SHA1)
#define SSL_CTX_check_private_key (::tolvik::openssl::Fn().SSL_CTX_check_private_key)
#define SSL_CTX_ctrl (::tolvik::openssl::Fn().SSL_CTX_ctrl)
#define SSL_CTX_free (::tolvik::openssl::Fn().SSL_CTX_free)
#define SSL_CTX_load_verify_locations (::tolvik::openssl::Fn().SSL_CTX_load_verify_locations)
#define SSL_CTX_new (::tolvik::openssl::Fn().SSL_CTX_new)
#define SSL_CTX_set_cert_verify_callback (::tolvik::openssl::Fn().SSL_CTX_set_cert_verify_callback)
#define SSL_CTX_set_default_verify_paths (::tolvik::openssl::Fn().SSL_CTX_set_default_verify_paths)
#define SSL_CTX_load_verify_dir (::tolvik::openssl::Fn().SSL_CTX_load_verify_dir)
#define X509_get_default_cert_dir (::tolvik::openssl::Fn().X509_get_default_cert_dir)
#define X509_get_default_cert_dir_env (::tolvik::openssl::Fn().X509_get_default_cert_dir_env)
#define X509_get_default_cert_file_env (::tolvik::openssl::Fn().X509_get_default_cert_file_env)
#define SSL_CTX_set_verify (::tolvik::openssl::Fn().SSL_CTX_set_verify)
#define SSL_CTX_up_ref (::tolvik::openssl::Fn().SSL_CTX_up_ref)
#define SSL_CTX_use_PrivateKey_file (::tolvik::openssl::Fn().SSL_CTX_use_PrivateKey_file)
#define SSL_CTX_use_certificate_chain_file (::tolvik::openssl::Fn().SSL_CTX_use_certificate_chain_file)
#define SSL_accept (::tolvik::openssl::Fn().SSL_accept)
#define SSL_connect (::tolvik::openssl::Fn().SSL_connect)
#define SSL_ctrl (::tolvik::openssl::Fn().SSL_ctrl)
#define SSL_free (::tolvik::openssl::Fn().SSL_free)
#define SSL_get0_param (::tolvik::openssl::Fn().SSL_get0_param)
#define SSL_get_error (::tolvik::openssl::Fn().SSL_get_error)
#define SSL_get_verify_result (::tolvik::openssl::Fn().SSL_get_verify_result)
#define SSL_new (::tolvik::openssl::Fn().SSL_new)
#define SSL_pending (::tolvik::openssl::Fn().SSL_pending)
#define SSL_read_ex (::tolvik::openssl::Fn().SSL_read_ex)
#define SSL_set1_host (::tolvik::openssl::Fn().SSL_set1_host)
#define SSL_set_accept_state (::tolvik::openssl::Fn().SSL_set_accept_state)
#define SSL_set_fd (::tolvik::openssl::Fn().SSL_set_fd)
#define SSL_shutdown (::tolvik::openssl::Fn().SSL_shutdown)
#define SSL_write_ex (::tolvik::openssl::Fn().SSL_write_ex)
#define TLS_client_method (::tolvik::openssl::Fn().TLS_client_method)
#define TLS_server_method (::tolvik::openssl::Fn().TLS_server_method)
#define X509V3_EXT_conf_nid (::tolvik::openssl::Fn().X509V3_EXT_conf_nid)
#define X509V3_set_ctx (::tolvik::openssl::Fn().X509V3_set_ctx)
#define X509_EXTENSION_free (::tolvik::openssl::Fn().X509_EXTENSION_free)
#define X509_NAME_add_entry_by_txt (::tolvik::openssl::Fn().X509_NAME_add_entry_by_txt)
#define X509_STORE_CTX_free (::tolvik::openssl::Fn().X509_STORE_CTX_free)
#define X509_STORE_CTX_get0_cert (::tolvik::openssl::Fn().X509_STORE_CTX_get0_cert)
#define X509_STORE_CTX_get0_param (::tolvik::openssl::Fn().X509_STORE_CTX_get0_param)
#define X509_STORE_CTX_get0_untrusted (::tolvik::openssl::Fn().X509_STORE_CTX_get0_untrusted)
#define X509_STORE_CTX_get_error (::tolvik::openssl::Fn().X509_STORE_CTX_get_error)
#define X509_STORE_CTX_init (::tolvik::openssl::Fn().X509_STORE_CTX_init)
#define X509_STORE_CTX_new (::tolvik::openssl::Fn().X509_STORE_CTX_new)
#define X509_STORE_CTX_set_error (::tolvik::openssl::Fn().X509_STORE_CTX_set_error)
#define X509_STORE_free (::tolvik::openssl::Fn().X509_STORE_free)
#define X509_STORE_load_file (::tolvik::openssl::Fn().X509_STORE_load_file)
#define X509_STORE_new (::tolvik::openssl::Fn().X509_STORE_new)
#define X509_VERIFY_PARAM_set1_host (::tolvik::openssl::Fn().X509_VERIFY_PARAM_set1_host)
#define X509_VERIFY_PARAM_set1_ip_asc (::tolvik::openssl::Fn().X509_VERIFY_PARAM_set1_ip_asc)
#define X509_VERIFY_PARAM_set_hostflags (::tolvik::openssl::Fn().X509_VERIFY_PARAM_set_hostflags)
#define X509_VERIFY_PARAM_set_purpose (::tolvik::openssl::Fn().X509_VERIFY_PARAM_set_purpose)
#define X509_add_ext (::tolvik::openssl::Fn().X509_add_ext)
#define X509_digest (::tolvik::openssl::Fn().X509_digest)
#define X509_free (::tolvik::openssl::Fn().X509_free)
#define X509_get_serialNumber (::tolvik::openssl::Fn().X509_get_serialNumber)
#define X509_get_subject_name (::tolvik::openssl::Fn().X509_get_subject_name)
#define X509_getm_notAfter (::tolvik::openssl::Fn().X509_getm_notAfter)
#define X509_getm_notBefore (::tolvik::openssl::Fn().X509_getm_notBefore)
#define X509_gmtime_adj (::tolvik::openssl::Fn().X509_gmtime_adj)
#define X509_new (::tolvik::openssl::Fn().X509_new)
#define X509_set_issuer_name (::tolvik::openssl::Fn().X509_set_issuer_name)
#define X509_set_pubkey (::tolvik::openssl::Fn().X509_set_pubkey)
#define X509_set_version (::tolvik::openssl::Fn().X509_set_version)
#define X509_sign (::tolvik::openssl::Fn().X509_sign)
#define X509_time_adj_ex (::tolvik::openssl::Fn().X509_time_adj_ex)
#define X509_verify_cert (::tolvik::openssl::Fn().X509_verify_cert)
#define X509_verify_cert_error_string (::tolvik::openssl::Fn().X509_verify_cert_error_string)
#endif  // TOLVIK_OPENSSL_LOADER
