// Login values for a chat API server: the longer address and API key are
// kept whole (to their own limit), a gateway's values keep theirs, the
// Login page and the prompt say "API key", and the CA file setting.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "settings/config.h"
#include "app/sheets/login_page.h"
#include "app/sheets/servers_page.h"
#include "net/chat_connection.h"
#include "support/temp_dir.h"

namespace tolvik {
namespace {

using testing::TempDir;

const std::string kApi = "wss://connect-bot.classic.example.com/v1/rpc/chat";

class ApiLoginValuesTest : public ::testing::Test {
 protected:
  LoginSettings Load(const std::string& server, const std::string& password, const std::string& extra = "") {
    dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=" + password + "\r\nServer=" + server + "\r\n" + extra);
    return LoadLoginSettings(dir.file("Bot.ini"));
  }
  TempDir dir;
};

TEST_F(ApiLoginValuesTest, AnApiAddressAndKeyKeepToTheLongerLimit) {
  LoginSettings s = Load(kApi, std::string(kApiFieldLimit, 'k'));
  EXPECT_EQ(s.server, kApi);
  EXPECT_EQ(s.password, std::string(kApiFieldLimit, 'k'));
  s = Load(kApi, std::string(kApiFieldLimit + 1, 'k'));
  EXPECT_EQ(s.password, std::string(kApiFieldLimit, 'k'));
  const std::string long_api = "wss://h/" + std::string(kApiFieldLimit, 'p');
  EXPECT_EQ(Load(long_api, "k").server, long_api.substr(0, kApiFieldLimit));
}

TEST_F(ApiLoginValuesTest, AGatewaysValuesKeepTheirLimit) {
  LoginSettings s = Load(std::string(kLoginFieldLimit + 1, 's'), std::string(kLoginFieldLimit + 1, 'p'));
  EXPECT_EQ(s.server, std::string(kLoginFieldLimit, 's'));
  EXPECT_EQ(s.password, std::string(kLoginFieldLimit, 'p'));
  EXPECT_EQ(PasswordLimitFor("useast.example"), kLoginFieldLimit);
  EXPECT_EQ(PasswordLimitFor(kApi), kApiFieldLimit);
}

TEST_F(ApiLoginValuesTest, TheCaFileComesFromBotIniElseTheEnvironment) {
  ::setenv("TOLVIK_CA_FILE", "/env/ca.pem", 1);
  EXPECT_EQ(Load(kApi, "k", "CAFile=/etc/tolvik/ca.pem\r\n").caFile, "/etc/tolvik/ca.pem");
  EXPECT_EQ(Load(kApi, "k").caFile, "/env/ca.pem");
  ::unsetenv("TOLVIK_CA_FILE");
  EXPECT_EQ(Load(kApi, "k").caFile, "");
}

TEST_F(ApiLoginValuesTest, LoginPageCallsTheSecretAnApiKeyForAnApiServer) {
  LoginPage page;
  page.Load(Load(kApi, std::string(kApiFieldLimit, 'k')));
  EXPECT_TRUE(page.usesApiKey());
  EXPECT_STREQ(page.secretLabel(), "API key:");
  EXPECT_EQ(page.password(), std::string(kApiFieldLimit, 'k'));
  page.setPassword(std::string(kApiFieldLimit + 1, 'x'));
  EXPECT_EQ(page.password().size(), kApiFieldLimit);

  // Back on a gateway the field is a password again, with its own limit.
  page.setServer("useast.example");
  EXPECT_STREQ(page.secretLabel(), "Password:");
  EXPECT_EQ(page.password().size(), LoginPage::kPasswordLimit);
}

TEST(ApiServersPage, AnApiAddressMayBeLongerThanAGatewayName) {
  TempDir dir;
  dir.write("Bot.ini", "[Init]\r\n");
  ServersPage page;
  page.Load(dir.file("Bot.ini"), "");
  EXPECT_TRUE(page.AddServer(std::string(ServersPage::kServerLimit, 'g')).ok);
  EXPECT_FALSE(page.AddServer(std::string(ServersPage::kServerLimit + 1, 'h')).ok);
  const std::string at_limit = "wss://" + std::string(ServersPage::kApiServerLimit - 6, 'a');
  EXPECT_TRUE(page.AddServer(at_limit).ok);
  EXPECT_FALSE(page.AddServer(at_limit + "b").ok);
}

}  // namespace
}  // namespace tolvik
