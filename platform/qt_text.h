#pragma once
// Text at the boundary between files (CP932 bytes), the programs' logic
// (UTF-8 std::string) and Qt (QString).
#include <QString>
#include <optional>
#include <string>
#include <string_view>

namespace kv::platform {

// nullopt when the bytes are not valid CP932.
std::optional<QString> Cp932ToQString(std::string_view cp932);
// nullopt when the text has a character CP932 lacks.
std::optional<std::string> QStringToCp932(const QString& text);

inline QString Utf8ToQString(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}
inline std::string QStringToUtf8(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace kv::platform
