#include "support/test_ca.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace tolvik::testing {
namespace {

void Run(const std::string& command) {
  if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) throw std::runtime_error("failed: " + command);
}

std::filesystem::path& CaDir() {
  static std::filesystem::path dir;
  return dir;
}

TestCa Make() {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("tolvik-ca-" + std::to_string(::getpid()));
  CaDir() = dir;
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(CaDir(), ignored);
  });
  fs::create_directories(dir);
  const std::string d = dir.string();
  TestCa ca{d + "/ca.pem", d + "/server.pem", d + "/server.key", d + "/other.pem"};
  Run("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=TolvikTestCA -keyout " + d + "/ca.key -out " +
      ca.ca_file);
  Run("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=OtherCA -keyout " + d + "/other.key -out " +
      ca.other_ca_file);
  Run("openssl req -newkey rsa:2048 -nodes -subj /CN=localhost -keyout " + ca.key_file + " -out " + d + "/server.csr");
  std::ofstream(d + "/san.ext") << "subjectAltName=IP:127.0.0.1,DNS:localhost\n";
  Run("openssl x509 -req -in " + d + "/server.csr -CA " + ca.ca_file + " -CAkey " + d +
      "/ca.key -CAcreateserial -days 2 -extfile " + d + "/san.ext -out " + ca.cert_file);
  return ca;
}

}  // namespace

const TestCa& GetTestCa() {
  static const TestCa ca = Make();
  return ca;
}

}  // namespace tolvik::testing
