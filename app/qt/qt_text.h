// Tessaly: texts and file names between the logic (UTF-8 and raw bytes) and Qt.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <string>

namespace tessaly {

inline QString ToQt(const std::string& text) { return QString::fromStdString(text); }
inline std::string FromQt(const QString& text) { return text.toStdString(); }

/// File names are bytes to the logic and text to Qt.
inline QString PathToQt(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }
inline std::string PathFromQt(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace tessaly
