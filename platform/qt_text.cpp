#include "platform/qt_text.h"

#include "foundation/core/util/encoding.h"

namespace kv::platform {

std::optional<QString> Cp932ToQString(std::string_view cp932) {
  const auto utf8 = kv::Cp932ToUtf8(cp932);
  if (!utf8) return std::nullopt;
  return Utf8ToQString(*utf8);
}

std::optional<std::string> QStringToCp932(const QString& text) {
  // A lone surrogate has no UTF-8 form; Qt would write a replacement
  // character for it, which must not pass for the user's text.
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text.at(i);
    if (c.isHighSurrogate()) {
      if (i + 1 >= text.size() || !text.at(i + 1).isLowSurrogate()) return std::nullopt;
      ++i;
    } else if (c.isLowSurrogate()) {
      return std::nullopt;
    }
  }
  return kv::Utf8ToCp932(QStringToUtf8(text));
}

}  // namespace kv::platform
