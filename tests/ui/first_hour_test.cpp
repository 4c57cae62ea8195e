// What a newcomer meets in the first hour: the demo channel offered on the
// first run, the hints of an empty window, the keys F1 lists, the find bar
// giving the chat back, the About box, the tray menu, a window that fits a
// scaled screen, and the settings file kept small.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>
#include <functional>

#include "app/document.h"
#include "net/connection_state.h"
#include "settings/config.h"
#include "settings/window_placement.h"
#include "support/crlf.h"
#include "support/temp_dir.h"
#include "ui/chat_bar_widget.h"
#include "ui/chat_pane.h"
#include "ui/demo_channel.h"
#include "ui/dialogs/about_dialog.h"
#include "ui/dialogs/help_dialog.h"
#include "ui/find_bar.h"
#include "ui/main_window.h"
#include "ui/program_settings.h"
#include "ui/sheets/bot_configurator.h"
#include "ui/sheets/servers_page_widget.h"
#include "ui/status_bar.h"
#include "ui/user_list_model.h"
#include "ui/window_layout.h"

namespace tolvik::ui {
namespace {

using testing::Crlf;
using testing::TempDir;

void ShowActive(QWidget& window) {
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

// Runs `act` on the next modal dialog of type T once it is open and active.
template <typename T>
void WhenModalOpens(std::function<void(T*)> act) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, act] {
    auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!dialog) return;
    poll->deleteLater();
    // What a window manager does for a new modal window; the offscreen platform does not.
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([dialog] { return QApplication::activeWindow() == dialog; }));
    act(dialog);
  });
  poll->start(10);
}

QString PaneText(MainWindow& window) { return window.chatPane()->document()->toPlainText(); }

// The tray menu as it reads when opened: whether Connect and Disconnect are enabled.
std::pair<bool, bool> TrayConnectDisconnect(MainWindow& window) {
  QMenu* menu = window.trayIcon()->contextMenu();
  menu->popup(QPoint(0, 0));
  menu->hide();
  auto* connect = menu->findChild<QAction*>(QStringLiteral("trayConnect"));
  auto* disconnect = menu->findChild<QAction*>(QStringLiteral("trayDisconnect"));
  return {connect && connect->isEnabled(), disconnect && disconnect->isEnabled()};
}

TEST(FirstHourDemo, TheDemoChannelConnectsForThisSessionOnlyAndEndsWithIt) {
  DemoChannel::setProgram(QStringLiteral(TOLVIK_DEMO_GATEWAY_PATH));
  TempDir dir;  // a new profile
  auto window = std::make_unique<MainWindow>(dir.path().string());
  ShowActive(*window);
  EXPECT_EQ(TrayConnectDisconnect(*window), std::make_pair(true, false));
  bool offered = false;
  WhenModalOpens<BotConfigurator>([&](BotConfigurator* sheet) {
    ASSERT_NE(sheet->demoButton(), nullptr);
    offered = true;
    // Half a login typed, then the demo after all: nothing of it is kept.
    QTest::keyClicks(QApplication::focusWidget(), "someone");
    QTest::mouseClick(sheet->demoButton(), Qt::LeftButton);
  });
  window->start();
  ASSERT_TRUE(offered);
  CHaldenDoc& doc = window->document();
  ASSERT_TRUE(QTest::qWaitFor([&] { return doc.State() == Connected; }, 20000))
      << PaneText(*window).toStdString();
  // The gateway's own scene in its channel, with the bot in the list.
  ASSERT_TRUE(QTest::qWaitFor([&] { return PaneText(*window).contains("Tolvik Demo"); }, 20000))
      << PaneText(*window).toStdString();
  EXPECT_TRUE(PaneText(*window).contains("demonstration channel server"));
  EXPECT_FALSE(PaneText(*window).contains("Not connected. Press Alt+C"));  // not a cancel
  EXPECT_EQ(TrayConnectDisconnect(*window), std::make_pair(false, true));
  DemoChannel* demo = window->demoChannel();
  ASSERT_NE(demo, nullptr);
  EXPECT_TRUE(demo->running());

  // Bot.ini holds nothing of the demo.
  const std::string ini = dir.read("Bot.ini");
  EXPECT_EQ(ini.find("127.0.0.1"), std::string::npos) << ini;
  EXPECT_EQ(ini.find("TolvikBot"), std::string::npos) << ini;
  EXPECT_EQ(ini.find("someone"), std::string::npos) << ini;
  EXPECT_EQ(ini.find("Tolvik Demo"), std::string::npos) << ini;
  const LoginSettings stored = LoadLoginSettings(dir.file("Bot.ini"));
  EXPECT_TRUE(IsUnset(stored.server));
  EXPECT_TRUE(IsUnset(stored.login));

  // Disconnect: the bot leaves, the gateway ends, and its values go with it,
  // so the next Connect asks again.
  ShowActive(*window);
  QTest::keyClick(window.get(), Qt::Key_D, Qt::AltModifier);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !demo->running(); }, 10000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return IsUnset(doc.Login().server); }, 10000));
  EXPECT_TRUE(IsUnset(doc.Login().login));
  EXPECT_EQ(doc.State(), NotConnected);
  EXPECT_TRUE(PaneText(*window).contains("The demo channel has ended."));

  // Tried again, then the window closes: the gateway goes with the session.
  WhenModalOpens<BotConfigurator>([&](BotConfigurator* sheet) {
    ASSERT_NE(sheet->demoButton(), nullptr);
    QTest::mouseClick(sheet->demoButton(), Qt::LeftButton);
  });
  ShowActive(*window);
  QTest::keyClick(window.get(), Qt::Key_C, Qt::AltModifier);
  ASSERT_TRUE(QTest::qWaitFor([&] { return doc.State() == Connected; }, 20000)) << PaneText(*window).toStdString();
  ASSERT_TRUE(demo->running());
  window->close();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !demo->running(); }, 10000));
  window.reset();
  EXPECT_TRUE(IsUnset(LoadLoginSettings(dir.file("Bot.ini")).server));
}

TEST(FirstHourDemo, OnlyAProfileNotYetSetUpIsOfferedTheDemo) {
  DemoChannel::setProgram(QStringLiteral(TOLVIK_DEMO_GATEWAY_PATH));
  TempDir dir;
  dir.write("Bot.ini", Crlf("[Init]\nLogin=acct\nServer=chat.example\n"));
  MainWindow window(dir.path().string());
  BotConfigurator sheet(window.document(), &window);
  EXPECT_EQ(sheet.demoButton(), nullptr);
}

TEST(FirstHourHints, CancelLeavesTheHintTheFormatsAndTheLevelAreExplained) {
  TempDir dir;
  MainWindow window(dir.path().string());
  ShowActive(window);
  EXPECT_TRUE(window.chatPane()->hint().startsWith("Not connected. Press Alt+C"));
  const QString hint = window.chatPane()->hint();
  bool seen = false;
  WhenModalOpens<BotConfigurator>([&](BotConfigurator* sheet) {
    seen = true;
    const QString formats = sheet->serversPage()->entry()->placeholderText();
    for (const char* form : {"host", "host:port", "[IPv6]:port", "wss://"})
      EXPECT_TRUE(formats.contains(QLatin1String(form))) << form;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  });
  window.start();
  ASSERT_TRUE(seen);
  EXPECT_EQ(window.document().State(), NotConnected);
  // The prompt line, then how to go on: the same words as the empty pane's.
  const QStringList lines = PaneText(window).split('\n');
  ASSERT_FALSE(lines.isEmpty());
  EXPECT_EQ(lines.last().trimmed(), hint);

  UserListModel* model = window.findChild<UserListModel*>();
  ASSERT_NE(model, nullptr);
  EXPECT_FALSE(model->headerData(UserListModel::kLevelColumn, Qt::Horizontal, Qt::ToolTipRole).toString().isEmpty());

  // The queue gauge: a slim bar that says what it is, not a box the size of a text field.
  QProgressBar* gauge = window.statusPanes()->gauge();
  EXPECT_FALSE(gauge->toolTip().isEmpty());
  EXPECT_LT(gauge->height(), window.chatBarWidget()->input().height());
}

TEST(FirstHourKeys, F1ListsTheOriginalKeysThenTheLaterOnes) {
  TempDir dir;
  MainWindow window(dir.path().string());
  ShowActive(window);
  QString shown;
  WhenModalOpens<HelpDialog>([&](HelpDialog* help) {
    shown = help->textField()->toPlainText();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  });
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
  const QString original = QString::fromLatin1(kMainWindowHelpText).replace(QLatin1String("\r\n"), QLatin1String("\n"));
  ASSERT_TRUE(shown.startsWith(original)) << shown.toStdString();
  const QString later = shown.mid(original.size());
  for (const char* key : {"Ctrl+F", "F3", "Ctrl+Tab", "Shift+F10", "Menu key"})
    EXPECT_TRUE(later.contains(QLatin1String(key))) << key;
}

class FindBarFollowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = std::make_unique<MainWindow>(dir_.path().string());
    window_->resize(900, 600);
    ShowActive(*window_);
    for (int i = 0; i < 300; ++i) window_->chatPane()->print(TextType::OthersText, "line %d", i);
  }
  QScrollBar* bar() const { return window_->chatPane()->verticalScrollBar(); }
  void findAndEscape(const char* text) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::ControlModifier);
    FindBar* find = window_->findBar();
    ASSERT_TRUE(find->isVisible());
    QTest::keyClicks(find->field(), text);
    ASSERT_LT(bar()->value(), bar()->maximum() - 100);  // the match is far up
    QTest::keyClick(find->field(), Qt::Key_Escape);
    ASSERT_FALSE(find->isVisible());
  }

  TempDir dir_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(FindBarFollowTest, AfterEscThePaneFollowsNewLinesAgainIfItDidBefore) {
  ASSERT_EQ(bar()->value(), bar()->maximum());
  findAndEscape("line 12");
  window_->chatPane()->print(TextType::OthersText, "%s", "a new line");
  // The layout settles (the pane grows back into the bar's room): still at the end.
  QCoreApplication::sendPostedEvents();
  EXPECT_TRUE(QTest::qWaitFor([&] { return bar()->value() == bar()->maximum(); }, 2000));
  window_->chatPane()->print(TextType::OthersText, "%s", "another new line");
  EXPECT_EQ(bar()->value(), bar()->maximum());
  const QRect last = window_->chatPane()->cursorRect(QTextCursor(window_->chatPane()->document()->lastBlock()));
  EXPECT_LE(last.bottom(), window_->chatPane()->viewport()->height());
}

// Scrolled up before Find, the pane keeps its distance from the end.
TEST_F(FindBarFollowTest, APaneScrolledUpBeforeFindIsNotTakenToTheEnd) {
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Home, Qt::AltModifier);
  ASSERT_EQ(bar()->value(), 0);
  findAndEscape("line 150");
  QCoreApplication::sendPostedEvents();  // the pane takes back the bar's room
  const int fromEnd = bar()->maximum() - bar()->value();
  EXPECT_GT(fromEnd, 0);
  window_->chatPane()->print(TextType::OthersText, "%s", "a new line");
  EXPECT_EQ(bar()->maximum() - bar()->value(), fromEnd);
}

// "GPL-3.0-or-later" is laid out on one line of the licence label, whole.
TEST(FirstHourAbout, TheVersionShowsOnceAndTheLicenceNameIsNotBroken) {
  AboutDialog dialog;
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  int versions = 0;
  for (QLabel* label : dialog.findChildren<QLabel*>()) versions += label->text().count(QStringLiteral(TOLVIK_VERSION));
  EXPECT_EQ(versions, 1);

  auto* licence = dialog.findChild<QLabel*>(QStringLiteral("licence"));
  ASSERT_NE(licence, nullptr);
  QTextDocument doc;
  doc.setDefaultFont(licence->font());
  doc.setDocumentMargin(0);
  doc.setHtml(licence->text());
  doc.setTextWidth(licence->contentsRect().width());
  doc.documentLayout()->documentSize();  // lays the text out
  const QString plain = doc.toPlainText();
  const int at = plain.indexOf(QStringLiteral("GPL-3.0-or-later"));
  ASSERT_GE(at, 0);
  const QTextBlock block = doc.findBlock(at);
  QTextLayout* layout = block.layout();
  const int first = at - block.position();
  const int last = first + static_cast<int>(qstrlen("GPL-3.0-or-later")) - 1;
  const QTextLine line = layout->lineForTextPosition(first);
  ASSERT_TRUE(line.isValid());
  EXPECT_EQ(layout->lineForTextPosition(last).lineNumber(), line.lineNumber());
  // And it fits in the label, not cut off at its edge.
  EXPECT_LE(line.naturalTextWidth(), licence->contentsRect().width() + 1);
}

// The window at twice the scale on a small screen: within the available area,
// with or without a placement stored. Checked in a child run of this program
// (the scale is fixed when a program starts).
TEST(FirstHourWindow, ItNeverOpensLargerThanTheScreen) {
  if (qEnvironmentVariableIsSet("TOLVIK_FIT_CHILD")) {
    TempDir fresh;
    TempDir placed;
    WindowPlacement placement;
    placement.normal = {0, 0, 1440, 1200};  // saved on a larger screen
    ASSERT_TRUE(SaveWindowPlacement(placed.file("Bot.ini"), placement));
    for (const TempDir* dir : {&fresh, &placed}) {
      MainWindow window(dir->path().string());
      window.show();
      ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
      const QRect area = window.screen()->availableGeometry();
      // A long status text (a long server name) does not widen it either.
      window.statusPanes()->setConnectionStatus(QStringLiteral("Connected: ") + QString(200, QLatin1Char('x')));
      QCoreApplication::sendPostedEvents();
      window.statusPanes()->layout()->activate();
      window.layout()->activate();
      EXPECT_TRUE(area.contains(window.frameGeometry()))
          << (dir == &fresh ? "new profile: " : "stored placement: ") << window.width() << "x" << window.height()
          << " at " << window.x() << "," << window.y() << " in " << area.width() << "x" << area.height() << " at "
          << area.x() << "," << area.y() << "; geometry " << window.geometry().width() << "x"
          << window.geometry().height() << " at " << window.geometry().x() << "," << window.geometry().y();
    }
    return;
  }
  TempDir scratch;
  // A 1024 x 768 screen at scale 2: 512 x 384 to lay out in, less than the
  // smallest screen the placement rules assume.
  scratch.write("screen.json", R"({"screens":[{"name":"s","x":0,"y":0,"width":1024,"height":768,)"
                               R"("logicalDpi":96,"logicalBaseDpi":96,"dpr":1}]})");
  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("TOLVIK_FIT_CHILD"), QStringLiteral("1"));
  env.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
  env.insert(QStringLiteral("QT_QPA_PLATFORM"),
             QStringLiteral("offscreen:configfile=") + QString::fromStdString(scratch.file("screen.json")));
  child.setProcessEnvironment(env);
  child.setProcessChannelMode(QProcess::MergedChannels);
  child.start(QCoreApplication::applicationFilePath(),
              {QStringLiteral("--gtest_filter=FirstHourWindow.ItNeverOpensLargerThanTheScreen")});
  ASSERT_TRUE(child.waitForFinished(60000));
  const QString output = QString::fromLocal8Bit(child.readAll());
  EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
  EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

TEST(FirstHourWindow, TrayMenuEntriesAreTheirOwnSoTheToolbarKeepsItsState) {
  TempDir dir;
  MainWindow window(dir.path().string());
  ASSERT_EQ(TrayConnectDisconnect(window), std::make_pair(true, false));
  int checked = 0;
  for (QAction* action : window.findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (action->text() == "Connect" || action->text() == "Disconnect") {
      EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
      ++checked;
    }
  }
  EXPECT_EQ(checked, 2);
}

// Each directory opened leaves an entry in the program's settings; entries
// of directories gone are dropped, and only the most recent ones are kept.
TEST(FirstHourSettings, DirectoriesGoneAreForgottenAndOnlyTheLatestAreKept) {
  OpenProgramSettings()->remove(QStringLiteral("Profiles"));
  auto groups = [] {
    const std::unique_ptr<QSettings> settings = OpenProgramSettings();
    settings->beginGroup(QStringLiteral("Profiles"));
    return settings->childGroups();
  };
  QMainWindow window;
  std::vector<std::unique_ptr<TempDir>> dirs;
  for (int i = 0; i < kRememberedDirectories; ++i) {
    dirs.push_back(std::make_unique<TempDir>());
    SaveWindowLayout(window, dirs.back()->path().string());
  }
  ASSERT_EQ(groups().size(), kRememberedDirectories);  // exactly at the limit: all kept

  // The first directory is used again, so the second is the oldest now.
  SaveWindowLayout(window, dirs[0]->path().string());
  TempDir one_more;
  SaveWindowLayout(window, one_more.path().string());  // one past the limit
  QStringList now = groups();
  EXPECT_EQ(now.size(), kRememberedDirectories);
  const QString oldest = ProfileGroup(dirs[1]->path().string()).section('/', 1);
  EXPECT_FALSE(now.contains(oldest));
  EXPECT_TRUE(now.contains(ProfileGroup(dirs[0]->path().string()).section('/', 1)));
  EXPECT_TRUE(now.contains(ProfileGroup(one_more.path().string()).section('/', 1)));

  // A directory removed is forgotten at the next save.
  const QString gone = ProfileGroup(dirs[5]->path().string()).section('/', 1);
  dirs[5].reset();
  SaveWindowLayout(window, dirs[0]->path().string());
  now = groups();
  EXPECT_FALSE(now.contains(gone));
  EXPECT_EQ(now.size(), kRememberedDirectories - 1);
}

// tolvik -V answers like tolvik-cli -V, without a display.
TEST(FirstHourVersion, DashCapitalVPrintsTheVersionAndLicence) {
  for (const char* option : {"-V", "--version"}) {
    QProcess tolvik;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QLatin1String(name));
    tolvik.setProcessEnvironment(env);
    tolvik.start(QStringLiteral(TOLVIK_GUI_PATH), {QLatin1String(option)});
    ASSERT_TRUE(tolvik.waitForFinished(30000));
    EXPECT_EQ(tolvik.exitCode(), 0) << option;
    const QString out = QString::fromLocal8Bit(tolvik.readAllStandardOutput());
    EXPECT_TRUE(out.startsWith(QStringLiteral("tolvik " TOLVIK_VERSION "\n"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("License GPL-3.0-or-later"))) << out.toStdString();
  }
}

}  // namespace
}  // namespace tolvik::ui
