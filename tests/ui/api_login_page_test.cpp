// The Login page names the secret after the server: "API key" (and its
// longer limit) for a chat API address, "Password" for a gateway.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "settings/config.h"
#include "app/document.h"
#include "support/recording_display.h"
#include "support/temp_dir.h"
#include "support/test_host.h"
#include "ui/sheets/login_page_widget.h"

namespace tolvik::ui {
namespace {

using tolvik::testing::RecordingDisplay;
using tolvik::testing::TempDir;
using tolvik::testing::TestHost;

TEST(ApiLoginPageWidget, TheSecretIsAnApiKeyForAnApiServerAndAPasswordOtherwise) {
  for (const bool api : {true, false}) {
    TempDir dir;
    const std::string server = api ? "wss://connect-bot.classic.example.com/v1/rpc/chat" : "east.example";
    dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nServer=" + server + "\r\n");
    RecordingDisplay display;
    TestHost host;
    CHaldenDoc doc(dir.path().string(), display, host);
    LoginPageWidget page(doc);
    EXPECT_EQ(page.passwordLabel()->text(), api ? "API key:" : "Password:");
    EXPECT_EQ(page.password()->echoMode(), QLineEdit::Password);
    const int limit = static_cast<int>(api ? kApiFieldLimit : LoginPage::kPasswordLimit);
    EXPECT_EQ(page.password()->maxLength(), limit);
    // Typing one past the limit keeps exactly the limit.
    QTest::keyClicks(page.password(), QString(limit + 1, QLatin1Char('k')));
    EXPECT_EQ(page.password()->text().size(), limit);
  }
}

}  // namespace
}  // namespace tolvik::ui
