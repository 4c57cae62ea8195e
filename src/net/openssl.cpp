// The loader keeps OpenSSL's own names for the functions.
#define TOLVIK_OPENSSL_LOADER
#include "net/openssl.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace tolvik::openssl {
namespace {

#define TOLVIK_STRINGIFY2(x) #x
#define TOLVIK_STRINGIFY(x) TOLVIK_STRINGIFY2(x)
// The soname the headers were written for (libssl.so.3 for OpenSSL 3).
constexpr char kLibSsl[] = "libssl.so." TOLVIK_STRINGIFY(OPENSSL_SHLIB_VERSION);

struct Library {
  bool ok = false;
  std::string why;
  Functions fns;
};

const Library& Loaded() {
  static const Library library = [] {
    Library l;
    l.ok = LoadFrom(kLibSsl, &l.fns, &l.why);
    return l;
  }();
  return library;
}

}  // namespace

bool LoadFrom(const char* file, Functions* out, std::string* why) {
  // Never closed: the functions stay valid for the process's life.
  void* handle = dlopen(file, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* error = dlerror();
    if (why != nullptr) *why = std::string("the TLS library could not be loaded: ") + (error ? error : file);
    return false;
  }
  Functions fns;
  bool ok = true;
  // The handle's scope covers libssl and its dependency libcrypto.
#define TOLVIK_OPENSSL_FUNCTION(name)                                             \
  if (ok) {                                                                     \
    fns.name = reinterpret_cast<decltype(fns.name)>(dlsym(handle, #name));      \
    if (fns.name == nullptr) {                                                  \
      ok = false;                                                               \
      if (why != nullptr) *why = std::string(file) + " has no function " #name; \
    }                                                                           \
  }
#include "net/openssl_functions.inc"
#undef TOLVIK_OPENSSL_FUNCTION
  if (ok) *out = fns;
  return ok;
}

bool Load(std::string* why) {
  const Library& l = Loaded();
  if (!l.ok && why != nullptr) *why = l.why;
  return l.ok;
}

const Functions& Fn() {
  const Library& l = Loaded();
  if (!l.ok) {
    std::fprintf(stderr, "tolvik: %s\n", l.why.c_str());
    std::abort();
  }
  return l.fns;
}

}  // namespace tolvik::openssl
