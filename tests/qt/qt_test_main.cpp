// Tessaly tests: the window tests run inside one Qt application on Qt's
// screenless platform unless another is asked for.
#include <QApplication>

#include <gtest/gtest.h>


// Font and platform libraries keep caches for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libQt6Gui.so\n"
         "leak:libQt6Core.so\n"
         "leak:libQt6Widgets.so\n";
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
