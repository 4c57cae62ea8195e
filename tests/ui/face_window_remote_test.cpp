// The window attached over the network: the bot (the window on its own
// document) also listens over TLS with a face password, and the window's
// target asks in a dialog before it pins the bot's certificate.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <memory>

#include "app/document.h"
#include "bot/chat_bot.h"
#include "face/face_hub.h"
#include "face/face_password.h"
#include "face/remote_faces.h"
#include "support/scripted_gateway.h"
#include "support/temp_dir.h"
#include "ui/chat_pane.h"
#include "ui/face/face_window.h"
#include "ui/face/remote_target.h"
#include "ui/main_window.h"
#include "ui/qt_host.h"

namespace tolvik::ui {
namespace {

using testing::ScriptedGateway;
using testing::TempDir;

constexpr int kWait = 20000;

// Clicks `button` of the next certificate question, with the pointer.
void AnswerPinQuestion(QMessageBox::StandardButton button, int* asked) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [=] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || box->objectName() != QLatin1String("pinQuestion")) return;
    poll->deleteLater();
    ++*asked;
    QTest::mouseClick(box->button(button), Qt::LeftButton);
  });
  poll->start(10);
}

class FaceWindowRemoteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Pins go to a file of this test's own.
    const char* before = ::getenv("XDG_CONFIG_HOME");
    if (before) config_before_ = before;
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=secret\r\nServer=" + gateway.address() +
                             "\r\nChannel=Home\r\n[Remote]\r\nListen=127.0.0.1:0\r\n");
    std::string error;
    ASSERT_TRUE(SetFacePassword(dir.path().string(), "laptop-pw", &error)) << error;
    dir.write("face-password", "laptop-pw\n");
    bot = std::make_unique<MainWindow>(dir.path().string());
    hub = std::make_unique<FaceHub>(bot->document(), bot->host());
    ASSERT_TRUE(ListenForRemoteFaces(bot->document(), *hub));
    const QRegularExpressionMatch where =
        QRegularExpression(QStringLiteral("Faces can attach at (127\\.0\\.0\\.1:\\d+)"))
            .match(bot->chatPane()->document()->toPlainText());
    ASSERT_TRUE(where.hasMatch()) << bot->chatPane()->document()->toPlainText().toStdString();
    endpoint = where.captured(1).toStdString();
  }
  void TearDown() override {
    hub.reset();
    bot.reset();
    if (config_before_.empty())
      ::unsetenv("XDG_CONFIG_HOME");
    else
      ::setenv("XDG_CONFIG_HOME", config_before_.c_str(), 1);
  }

  ScriptedGateway gateway;
  TempDir dir;
  TempDir config;
  std::unique_ptr<MainWindow> bot;
  std::unique_ptr<FaceHub> hub;
  std::string endpoint;
  std::string config_before_;
};

TEST_F(FaceWindowRemoteTest, ACertificateRefusedOnceIsAskedAgainAndPinnedOnYesThenTheTitleNamesTheBotAndHost) {
  const RemoteAttach remote{endpoint, dir.file("face-password"), ""};
  int asked = 0;
  FaceTarget refused;
  std::string error;
  AnswerPinQuestion(QMessageBox::No, &asked);
  EXPECT_FALSE(OpenRemoteTarget(remote, nullptr, &refused, &error));
  EXPECT_EQ(asked, 1);
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(config.exists("tolvik/known_faces"));

  FaceTarget target;
  AnswerPinQuestion(QMessageBox::Yes, &asked);
  ASSERT_TRUE(OpenRemoteTarget(remote, nullptr, &target, &error)) << error;
  EXPECT_EQ(asked, 2);
  EXPECT_NE(config.read("tolvik/known_faces").find(endpoint + " "), std::string::npos);

  FaceWindow face(std::move(target));
  face.show();
  face.start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return face.link().attached(); }, kWait));
  EXPECT_EQ(face.windowTitle(), QStringLiteral("Tolvik Version 1.0 - acct@127.0.0.1"));

  // Pinned now: a second window attaches without a question.
  FaceTarget again;
  ASSERT_TRUE(OpenRemoteTarget(remote, nullptr, &again, &error)) << error;
  EXPECT_EQ(asked, 2);
}

TEST_F(FaceWindowRemoteTest, AWrongPasswordIsRefusedInTheChatAndNotRetriedAsIfTheBotHadGone) {
  dir.write("wrong-password", "not-it\n");
  int asked = 0;
  AnswerPinQuestion(QMessageBox::Yes, &asked);
  FaceTarget target;
  std::string error;
  ASSERT_TRUE(OpenRemoteTarget({endpoint, dir.file("wrong-password"), ""}, nullptr, &target, &error)) << error;
  FaceWindow face(std::move(target));
  face.show();
  face.start();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return face.chatPane()->document()->toPlainText().contains(QStringLiteral("password")); }, kWait));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return face.chatPane()->document()->toPlainText().contains(QStringLiteral("not trying again")); }, kWait));
  EXPECT_FALSE(face.link().attached());
  EXPECT_FALSE(face.link().nextTry().has_value());
}

}  // namespace
}  // namespace tolvik::ui
