// OpenSSL comes into a process only when TLS or crypto work first needs it.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "cli_login.h"
#include "cli_process.h"
// OpenSSL's own names, to look at the loaded table itself.
#define TOLVIK_OPENSSL_LOADER
#include "net/openssl.h"
#include "support/scripted_gateway.h"
#include "support/temp_dir.h"

namespace tolvik {
namespace {

using testing::CliProcess;
using testing::CliStart;

std::string Maps(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/maps");
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

TEST(OpenSslLoading, ReportsAMissingLibraryOrFunctionAndLoadsTheInstalledOne) {
  openssl::Functions fns;
  std::string why;
  EXPECT_FALSE(openssl::LoadFrom("libtolvik-no-such-ssl.so.3", &fns, &why));
  EXPECT_NE(why.find("the TLS library could not be loaded: "), std::string::npos) << why;
  EXPECT_NE(why.find("libtolvik-no-such-ssl.so.3"), std::string::npos) << why;
  // A library that loads but is not OpenSSL is refused by name of what it lacks.
  EXPECT_FALSE(openssl::LoadFrom("libz.so.1", &fns, &why));
  EXPECT_NE(why.find("libz.so.1 has no function "), std::string::npos) << why;
  EXPECT_EQ(fns.SSL_new, nullptr);

  ASSERT_TRUE(openssl::Load(&why)) << why;
  EXPECT_NE(openssl::Fn().SSL_new, nullptr);
  unsigned char digest[SHA_DIGEST_LENGTH];
  openssl::Fn().SHA1(reinterpret_cast<const unsigned char*>("abc"), 3, digest);
  EXPECT_EQ(digest[0], 0xA9);
  EXPECT_EQ(digest[19], 0x9D);
}

TEST(OpenSslLoading, ABotOnTheTextProtocolMapsNoTlsLibraryUntilAFaceAttaches) {
  testing::ScriptedGateway gateway;
  testing::TempDir dir;
  dir.write("Bot.ini", testing::CliBotIni(gateway));
  CliProcess bot(CliStart{{"--dir", dir.path().string()}, {}, false});
  testing::PlayCliLogin(gateway, "1001 USER acct 0000 [CHAT]\r\n");
  ASSERT_TRUE(bot.WaitOutput("-- Status: Connected")) << bot.output();
  const std::string before = Maps(bot.pid());
  ASSERT_NE(before.find("libc.so"), std::string::npos);
  EXPECT_EQ(before.find("libssl"), std::string::npos);
  EXPECT_EQ(before.find("libcrypto"), std::string::npos);

  // A face's WebSocket upgrade needs the library's hash: it comes in then.
  CliProcess face(CliStart{{"--dir", dir.path().string(), "--attach"}, {}, false});
  ASSERT_TRUE(face.WaitOutput("Joining Channel: Home")) << face.output();
  EXPECT_NE(Maps(bot.pid()).find("libssl.so"), std::string::npos);
  face.Type("//quit\n");
  EXPECT_EQ(face.Wait(), 0);
}

}  // namespace
}  // namespace tolvik
