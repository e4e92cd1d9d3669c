#include "platform/file_dialog.h"

#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QTreeView>

namespace kv::platform {
namespace {

class NamedTypes : public QFileIconProvider {
 public:
  explicit NamedTypes(std::vector<std::pair<QString, QString>> names) : names_(std::move(names)) {}
  QString type(const QFileInfo& info) const override {
    if (info.isFile()) {
      const QString suffix = info.suffix();
      for (const auto& [s, name] : names_)
        if (suffix.compare(s, Qt::CaseInsensitive) == 0) return name;
    }
    return QFileIconProvider::type(info);
  }

 private:
  std::vector<std::pair<QString, QString>> names_;
};

// Lives as long as the dialog that uses its provider.
class TypesHolder : public QObject {
 public:
  TypesHolder(std::vector<std::pair<QString, QString>> names, QObject* parent)
      : QObject(parent), provider(std::move(names)) {}
  NamedTypes provider;
};

}  // namespace

void NameFileTypes(QFileDialog& dialog, std::vector<std::pair<QString, QString>> suffixNames) {
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  auto* holder = new TypesHolder(std::move(suffixNames), &dialog);
  dialog.setIconProvider(&holder->provider);
  auto* model = dialog.findChild<QFileSystemModel*>();
  auto* tree = dialog.findChild<QTreeView*>("treeView");
  if (!model || !tree) return;
  QObject::connect(model, &QFileSystemModel::directoryLoaded, tree, [tree] {
    for (int c = 0; c < tree->model()->columnCount(); ++c) tree->resizeColumnToContents(c);
  });
}

}  // namespace kv::platform
