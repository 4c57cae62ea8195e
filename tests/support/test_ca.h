#pragma once
// A certificate authority made for the tests with the openssl program, and
// a server certificate it signed for 127.0.0.1 and localhost. Made once per
// test process in its own temporary directory.
#include <string>

namespace tolvik::testing {

struct TestCa {
  std::string ca_file;      // the CA certificate (PEM), what the bot is told to trust
  std::string cert_file;    // the server's certificate chain
  std::string key_file;     // the server's key
  std::string other_ca_file;  // a second CA that signed nothing the server shows
};

// Aborts the test run when openssl cannot make them.
const TestCa& GetTestCa();

}  // namespace tolvik::testing
