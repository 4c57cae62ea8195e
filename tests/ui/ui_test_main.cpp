// Runs the window tests inside one QApplication on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdlib>

#include "bot/script_host_process.h"

int main(int argc, char** argv) {
  // Discovery and plain runs alike must work without a display.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  tolvik::SetScriptHostProgram(TOLVIK_SCRIPTHOST_PATH);
  QApplication app(argc, argv);
  // The program's own settings go to a directory of the run, never the user's.
  QTemporaryDir settings;
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
