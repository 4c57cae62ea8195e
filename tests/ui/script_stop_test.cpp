// The window while a script hook is stuck: a stop signal cuts the hook short
// and the window closes as ever, Leave line included.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QTest>
#include <QTextDocument>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/document.h"
#include "bot/chat_bot.h"
#include "bot/script_bridge.h"
#include "support/scripted_gateway.h"
#include "support/temp_dir.h"
#include "ui/chat_pane.h"
#include "ui/main_window.h"
#include "ui/stop_signals.h"

namespace tolvik::ui {
namespace {

using namespace std::chrono_literals;
using testing::ScriptedGateway;
using testing::TempDir;

TEST(WindowScriptStop, SigtermDuringAStuckHookClosesTheWindowWithItsLeaveLine) {
  for (const char* body : {"while 1 {}\n", "exec sleep 30\n"}) {
    ScriptedGateway gateway;
    TempDir dir;
    dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=secret\r\nServer=" + gateway.address() +
                             "\r\nChannel=Home\r\nAutoLogin=1\r\n[AutoSend]\r\nLeave=see you\r\n");
    std::filesystem::create_directory(dir.path() / "scripts");
    dir.write("scripts/stuck.tcl", std::string("BnetSend started\n") + body);
    dir.write("script.ini", "[Talk]\r\n!stuck=scripts/stuck.tcl\r\n");

    MainWindow window(dir.path().string());
    StopSignals stop_signals;
    QObject::connect(&stop_signals, &StopSignals::stopRequested, &window, &QWidget::close);
    bool closed = false;
    QObject::connect(&window, &MainWindow::closed, [&] { closed = true; });
    window.show();
    window.document().Bot().Queue().SetPause([](int) {});
    window.start();
    ASSERT_TRUE(gateway.waitForClients(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.document().State() == WaitingForLoginPrompt; }, 5000));
    gateway.send("Enter your account name and password.\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return gateway.received().find("acct\r\nsecret\r\n") != std::string::npos; }));
    gateway.send("2010 NAME acct\r\n1007 CHANNEL \"Home\"\r\n1005 TALK ann 0000 \"!stuck\"\r\n");

    // The signal comes from outside while the window's thread is inside the hook.
    std::thread outside([&] {
      if (gateway.waitForReceived("started\n")) ::kill(::getpid(), SIGTERM);
    });
    const auto start = std::chrono::steady_clock::now();
    const bool ended = QTest::qWaitFor([&] { return closed; }, 10000);
    const auto took = std::chrono::steady_clock::now() - start;
    outside.join();
    ASSERT_TRUE(ended) << body;
    EXPECT_LT(took, ScriptBridge::kDefaultTimeLimit) << body;
    EXPECT_TRUE(gateway.waitForReceived("see you\n")) << body;
    EXPECT_TRUE(window.chatPane()->document()->toPlainText().contains("was stopped: the bot is closing")) << body;
  }
}

}  // namespace
}  // namespace tolvik::ui
