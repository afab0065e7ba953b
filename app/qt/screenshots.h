// Tessaly: pictures of the window for the documentation.
#pragma once

#include <QString>
#include <QStringList>

namespace tessaly {

class TFrmMain;

/// Shows the window with the given photos added, saves a PNG of every page
/// and of the compression dialog into folder, and returns 0 when all were
/// written.
int SaveScreenshots(TFrmMain& window, const QString& folder, const QStringList& photos);

}  // namespace tessaly
