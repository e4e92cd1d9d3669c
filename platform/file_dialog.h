#pragma once
// Our own touches on Qt's file dialog.
#include <QString>
#include <utility>
#include <vector>

class QFileDialog;

namespace kv::platform {

// Names the listed file types in the dialog's type column ourselves, by
// suffix (without the dot, any case), instead of asking the system's MIME
// database, which may take them for some other format; and lets the
// columns fit their contents once a folder is listed. Uses Qt's own dialog,
// where both can be done.
void NameFileTypes(QFileDialog& dialog, std::vector<std::pair<QString, QString>> suffixNames);

}  // namespace kv::platform
