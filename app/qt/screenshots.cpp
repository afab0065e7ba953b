// Tessaly: pictures of the window for the documentation.
#include "app/qt/screenshots.h"

#include <QDir>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <cstdio>

#include "app/qt/frm_compress_set.h"
#include "app/qt/frm_main.h"
#include "app/qt/qt_text.h"

namespace tessaly {

namespace {

void Settle(int milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

/// What the display shows of the window; the widget's own rendering on a
/// platform without a screen to read from.
QPixmap Picture(QWidget& widget) {
  QPixmap shot;
  if (QGuiApplication::platformName() == "xcb" && widget.screen() != nullptr) {
    shot = widget.screen()->grabWindow(widget.winId());
  }
  return shot.isNull() ? widget.grab() : shot;
}

bool Save(QWidget& widget, const QString& path) {
  const bool saved = Picture(widget).save(path, "PNG");
  std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "saved" : "could not save", qPrintable(path));
  return saved;
}

}  // namespace

int SaveScreenshots(TFrmMain& window, const QString& folder, const QStringList& photos) {
  QDir().mkpath(folder);
  window.show();
  Settle(300);
  std::vector<std::string> paths;
  for (const QString& photo : photos) paths.push_back(PathFromQt(photo));
  window.Handle([&] { window.Form().AddPaths(paths); });

  static const char* const kNames[3] = {"window-select-picture.png", "window-resize-setting.png",
                                        "window-output-setting.png"};
  bool all = true;
  for (int page = 0; page < 3; ++page) {
    window.Handle([&] { window.Form().Controls().Page = page; });
    Settle(300);
    all = Save(window, folder + "/" + kNames[page]) && all;
  }

  TCompressSetModel model;
  model.Show(75, 6, 32);
  TFrmCompressSet dialog(model, &window);
  dialog.show();
  Settle(300);
  all = Save(dialog, folder + "/window-compress-setting.png") && all;
  dialog.close();
  return all ? 0 : 1;
}

}  // namespace tessaly
