// Tessaly: the desktop program.
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QStringList>

#include <csignal>

#include "app/qt/frm_main.h"
#include "app/qt/icons.h"
#include "app/qt/qt_services.h"
#include "app/qt/screenshots.h"
#include "app/startup.h"
#include "platform/shared_memory.h"

namespace {

int g_signal_pipe[2] = {-1, -1};

void OnTerminate(int) {
  const char byte = 1;
  (void)!::write(g_signal_pipe[1], &byte, 1);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tessaly;
  InitializeImageLibrary();
  // Other programs may look for this while Tessaly runs; nothing here reads it.
  TSharedMemorySection section(kTessalySectionName, kTessalySectionSize);

  QApplication app(argc, argv);
  QApplication::setApplicationName("Tessaly");
  QApplication::setApplicationVersion(TESSALY_VERSION);
  QApplication::setDesktopFileName("tessaly");
  QApplication::setWindowIcon(AppIcon());

  TQtServices services;
  TFrmMain window(services);

  // The program takes no arguments; this one, for the project's screenshot
  // script, is not offered to users.
  const QStringList args = QApplication::arguments();
  if (args.size() >= 3 && args[1] == "--screenshots") return SaveScreenshots(window, args[2], args.mid(3));

  // A terminate or interrupt signal closes the window as its close button
  // would (cancelling a run first), so the program ends through its normal
  // exit and lets go of the shared section.
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signal_pipe) == 0) {
    auto* notifier = new QSocketNotifier(g_signal_pipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
      char byte = 0;
      (void)!::read(g_signal_pipe[0], &byte, 1);
      window.close();
    });
    std::signal(SIGTERM, OnTerminate);
    std::signal(SIGINT, OnTerminate);
  }

  window.show();
  return QApplication::exec();
}
