#include "foundation/shell/placeholder_parts.h"

#include <QPalette>
#include <QWidget>

namespace kv::shell {
namespace {

class PlaceholderParts : public ProgramParts {
 public:
  platform::DocumentBase& Document() override { return doc_; }
  QWidget* CreateView(QWidget* parent) override {
    auto* view = new QWidget(parent);
    view->setAutoFillBackground(true);
    QPalette pal = view->palette();
    pal.setColor(QPalette::Window, QColor(128, 128, 128));
    view->setPalette(pal);
    view->setMinimumSize(64, 64);
    return view;
  }
  bool OnNewDocument() override { return true; }
  bool OnOpenDocument(const std::string&) override { return true; }

 private:
  platform::DocumentBase doc_;
};

}  // namespace

std::unique_ptr<ProgramParts> CreatePlaceholderParts(AppContext&) {
  return std::make_unique<PlaceholderParts>();
}

}  // namespace kv::shell
