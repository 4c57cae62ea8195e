// The desktop program's run in a directory: one program per directory, the
// stop signals closing dialogs and sending the leave line, and File > Open
// Profile... moving the bot, its connection and its lock to another profile.
#include "ui/profile_session.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <climits>
#include <cstdlib>
#include <functional>

#include "net/connection_state.h"
#include "app/document.h"
#include "storage/instance_lock.h"
#include "storage/profile_dir.h"
#include "settings/window_placement.h"
#include "support/crlf.h"
#include "support/scripted_gateway.h"
#include "support/temp_dir.h"
#include "ui/dialogs/open_profile_dialog.h"
#include "ui/main_window.h"
#include "ui/sheets/bot_configurator.h"

namespace tolvik::ui {
namespace {

using testing::Crlf;
using testing::ScriptedGateway;
using testing::TempDir;

// A session changes the current directory and the profiles' root; each test
// gets both back.
class ProfileSessionTest : public ::testing::Test {
 protected:
  ProfileSessionTest() {
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd)) cwd_ = cwd;
    if (const char* data = std::getenv("XDG_DATA_HOME")) data_ = data, had_data_ = true;
    ::setenv("XDG_DATA_HOME", data_dir.path().c_str(), 1);
  }
  ~ProfileSessionTest() override {
    if (!cwd_.empty() && ::chdir(cwd_.c_str()) != 0) ADD_FAILURE() << "cannot go back to " << cwd_;
    if (had_data_)
      ::setenv("XDG_DATA_HOME", data_.c_str(), 1);
    else
      ::unsetenv("XDG_DATA_HOME");
  }

  // A profile's directory with its Bot.ini.
  WorkingDirectory Profile(const std::string& name, const std::string& botIni) {
    WorkingDirectory dir = ResolveWorkingDirectory("", name);
    EXPECT_TRUE(dir.error.empty()) << dir.error;
    if (!botIni.empty()) data_dir.write("tolvik/" + name + "/Bot.ini", Crlf(botIni));
    return dir;
  }

  static std::string LoginIni(const ScriptedGateway& gateway, const std::string& leave) {
    return "[Init]\nLogin=acct\nPassword=secret\nServer=" + gateway.address() + "\nAutoLogin=1\n[AutoSend]\nLeave=" +
           leave + "\n";
  }

  // Waits for the window's connection and answers the login prompt.
  static bool LogIn(ScriptedGateway& gateway, ProfileSession& session, int clients) {
    if (!QTest::qWaitFor([&] { return gateway.clientCount() >= clients; }, 5000)) return false;
    if (!QTest::qWaitFor([&] { return session.window()->document().State() == WaitingForLoginPrompt; }, 5000))
      return false;
    gateway.send("Please enter your name and password.\r\n");
    return QTest::qWaitFor(
        [&] { return gateway.received().find("acct\r\nsecret\r\n") != std::string::npos; }, 5000);
  }

  TempDir data_dir;

 private:
  std::string cwd_;
  std::string data_;
  bool had_data_ = false;
};

// Runs `act` from inside the next modal window of type T once it is open.
template <class T>
void WhenOpen(std::function<void(T*)> act) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, act] {
    auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!dialog) return;
    poll->deleteLater();
    act(dialog);
  });
  poll->start(10);
}

QAction* FileMenuAction(MainWindow& window, const QString& text) {
  for (QAction* top : window.menuBar()->actions())
    if (top->text() == "&File")
      for (QAction* item : top->menu()->actions())
        if (item->text() == text) return item;
  return nullptr;
}

TEST_F(ProfileSessionTest, ASecondProgramInTheDirectoryIsTurnedAwayWithoutTouchingIt) {
  TempDir dir;
  const WorkingDirectory work = ResolveWorkingDirectory(dir.path().string(), "");
  InstanceLock other;  // the program already running there
  ASSERT_TRUE(other.Acquire(work.path));

  ProfileSession session;
  QString reported;
  session.setReport([&](const QString& message) { reported = message; });
  EXPECT_FALSE(session.open(work));
  EXPECT_TRUE(reported.contains(QString::fromStdString(work.path))) << reported.toStdString();
  EXPECT_TRUE(reported.contains(QStringLiteral("pid %1").arg(::getpid()))) << reported.toStdString();
  EXPECT_EQ(session.window(), nullptr);
  EXPECT_FALSE(dir.exists("Bot.ini"));
  EXPECT_FALSE(dir.exists("users.lst"));

  // Once it has gone, the directory opens, and the title names it.
  other.Release();
  reported.clear();
  ASSERT_TRUE(session.open(work));
  EXPECT_TRUE(reported.isEmpty());
  ASSERT_NE(session.window(), nullptr);
  EXPECT_TRUE(session.window()->windowTitle().endsWith(" - " + QString::fromStdString(work.path)));
  EXPECT_FALSE(other.Acquire(work.path));
}

TEST_F(ProfileSessionTest, SighupClosesAnOpenSheetAndSendsTheLeaveLine) {
  ScriptedGateway gateway;
  ProfileSession session;
  QSignalSpy finished(&session, &ProfileSession::finished);
  ASSERT_TRUE(session.open(Profile("default", LoginIni(gateway, "see you"))));
  session.installStopSignals();
  EXPECT_TRUE(session.window()->windowTitle().endsWith(" - default"));
  ASSERT_TRUE(LogIn(gateway, session, 1));

  bool raised = false;
  WhenOpen<BotConfigurator>([&](BotConfigurator*) {
    raised = true;
    ::raise(SIGHUP);  // the terminal the program was started from closed
  });
  for (QAction* top : session.window()->menuBar()->actions())
    if (top->text() == "&Options")
      for (QAction* item : top->menu()->actions())
        if (item->text() == "Configure Bot") item->trigger();
  ASSERT_TRUE(raised);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 5000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return gateway.received().find("see you\n") != std::string::npos; }, 5000));
  EXPECT_TRUE(gateway.waitForClientClose());
}

TEST_F(ProfileSessionTest, SigtermDuringTheStartUpConfiguratorRunsTheCloseSequence) {
  ProfileSession session;
  QSignalSpy finished(&session, &ProfileSession::finished);
  // No login values and the window's metrics saved on exit.
  ASSERT_TRUE(session.open(Profile("default", "[Toggles]\nAutoSave=1\n")));
  session.installStopSignals();
  bool opened = false;
  WhenOpen<BotConfigurator>([&](BotConfigurator*) {
    opened = true;
    ::raise(SIGTERM);
  });
  // The sheet opens by itself once the event loop runs, and the signal ends it all.
  EXPECT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 5000));
  EXPECT_TRUE(opened);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_FALSE(session.window()->isVisible());
  EXPECT_EQ(session.window()->document().State(), NotConnected);
  EXPECT_TRUE(LoadWindowPlacement(session.directory().path + "/Bot.ini").has_value());
}

TEST_F(ProfileSessionTest, OpenProfileLeavesTheChannelAndMovesTheBotAndItsLock) {
  ScriptedGateway gateway;
  const WorkingDirectory first = Profile("first", LoginIni(gateway, "bye from first"));
  const WorkingDirectory second = Profile("second", LoginIni(gateway, "bye from second"));
  ProfileSession session;
  QSignalSpy finished(&session, &ProfileSession::finished);
  ASSERT_TRUE(session.open(first));
  ASSERT_TRUE(LogIn(gateway, session, 1));
  MainWindow* before = session.window();

  bool chosen = false;
  WhenOpen<OpenProfileDialog>([&](OpenProfileDialog* dialog) {
    chosen = true;
    ASSERT_EQ(dialog->list()->count(), 2);
    EXPECT_EQ(dialog->list()->currentItem()->text(), "first");
    QLineEdit* name = dialog->nameField();
    // A window manager activates a new dialog; the offscreen platform may do so late.
    dialog->activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return name->hasFocus(); }, 2000));
    // Not a profile name: Open stays off.
    QTest::keyClicks(name, "/x");
    EXPECT_FALSE(dialog->openButton()->isEnabled());
    // Picking the other profile fills in its name.
    QTest::mouseClick(dialog->list()->viewport(), Qt::LeftButton, {},
                      dialog->list()->visualItemRect(dialog->list()->item(1)).center());
    EXPECT_EQ(name->text(), "second");
    EXPECT_TRUE(dialog->openButton()->isEnabled());
    QTest::keyClick(dialog->list(), Qt::Key_Return);
  });
  QAction* open = FileMenuAction(*before, "Open &Profile...");
  ASSERT_NE(open, nullptr);
  open->trigger();
  ASSERT_TRUE(chosen);

  // The close sequence in the first profile, then the bot starts in the second.
  ASSERT_TRUE(QTest::qWaitFor([&] { return session.directory().profile == "second"; }, 5000));
  EXPECT_NE(gateway.received(0).find("bye from first\n"), std::string::npos);
  EXPECT_TRUE(gateway.waitForClientClose(0));
  ASSERT_TRUE(LogIn(gateway, session, 2));
  EXPECT_TRUE(session.window()->windowTitle().endsWith(" - second"));
  EXPECT_EQ(finished.count(), 0);  // the program goes on

  InstanceLock probe;
  EXPECT_TRUE(probe.Acquire(first.path));
  probe.Release();
  EXPECT_FALSE(probe.Acquire(second.path));

  // A profile another program holds is refused, and the bot stays where it is.
  InstanceLock other;
  ASSERT_TRUE(other.Acquire(first.path));
  QString reported;
  session.setReport([&](const QString& message) { reported = message; });
  EXPECT_FALSE(session.switchToProfile("first"));
  EXPECT_TRUE(reported.contains(QString::fromStdString(first.path)));
  EXPECT_EQ(session.directory().profile, "second");
  EXPECT_TRUE(session.window()->isVisible());
  EXPECT_EQ(gateway.clientCount(), 2);
}

}  // namespace
}  // namespace tolvik::ui
