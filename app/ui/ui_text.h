#pragma once
// Every text the application shows comes from the language table; these turn
// its 8-bit texts into Qt strings.

#include <QString>
#include <string_view>

#include "settings/language_table.h"

namespace quillon::ui {

// The language text of key, or the English default.
inline QString T(std::string_view key, std::string_view englishDefault) {
  return QString::fromUtf8(settings::Text(key, englishDefault));
}

inline QString Q(const std::string& text) { return QString::fromUtf8(text); }
inline std::string S(const QString& text) { return text.toUtf8().toStdString(); }
// Native file paths: the local 8-bit encoding of the file system.
inline std::string PathOf(const QString& path) { return path.toLocal8Bit().toStdString(); }
inline QString QPath(const std::string& path) { return QString::fromLocal8Bit(path); }

// A menu text without its "&" mnemonic marks, for titles and tooltips.
inline QString Plain(QString text) { return text.remove(QLatin1Char('&')); }

}  // namespace quillon::ui
