#pragma once
// Parts that record what the shell asks of them.
#include <QSettings>
#include <QTemporaryDir>
#include <QWidget>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "foundation/shell/main_frame.h"
#include "foundation/shell/program.h"
#include "resources/authoring/commands.h"
#include "resources/viewer/commands.h"

namespace kv::shell::testing {

struct Record {
  std::vector<int> commands;
  std::vector<std::string> opened;
  int newDocuments = 0;
  int frameCreated = 0;
};

class FakeParts : public ProgramParts {
 public:
  FakeParts(AppContext& context, Record& record, std::map<int, CommandUi> handled)
      : context_(context), record_(record), handled_(std::move(handled)) {}
  platform::DocumentBase& Document() override { return doc_; }
  QWidget* CreateView(QWidget* parent) override {
    auto* v = new QWidget(parent);
    v->setObjectName("view");
    return v;
  }
  void OnFrameCreated() override { ++record_.frameCreated; }
  bool OnNewDocument() override {
    ++record_.newDocuments;
    return true;
  }
  // Files whose name ends in ".ok" open.
  bool OnOpenDocument(const std::string& path) override {
    record_.opened.push_back(path);
    return path.size() > 3 && path.substr(path.size() - 3) == ".ok";
  }
  bool OnSaveDocument(const std::string& path) override {
    saved.push_back(path);
    return true;
  }
  bool OnCommand(int id) override {
    if (!handled_.count(id)) return false;
    record_.commands.push_back(id);
    return true;
  }
  bool OnUpdateCommand(int id, CommandUi& ui) override {
    const auto it = handled_.find(id);
    if (it == handled_.end()) return false;
    ui = it->second;
    return true;
  }
  std::map<int, CommandUi>& Handled() { return handled_; }
  std::vector<std::string> saved;
  AppContext& context_;

 private:
  Record& record_;
  std::map<int, CommandUi> handled_;
  platform::DocumentBase doc_;
};

// A frame with fake parts and a profile in its own temporary file.
struct FrameFixture {
  explicit FrameFixture(ProgramKind kind, std::map<int, CommandUi> handled = {},
                        QString profilePath = QString()) {
    if (profilePath.isEmpty()) profilePath = dir.filePath("profile.ini");
    const res::ProgramTable& table =
        kind == ProgramKind::Viewer ? viewer::ViewerTable() : authoring::AuthoringTable();
    frame = std::make_unique<MainFrame>(
        kind, table,
        std::make_unique<platform::QtProfile>(
            std::make_unique<QSettings>(profilePath, QSettings::IniFormat)));
    ok = frame->Create([this, handled](AppContext& c) {
      auto p = std::make_unique<FakeParts>(c, record, handled);
      parts = p.get();
      return p;
    });
  }
  QTemporaryDir dir;
  Record record;
  FakeParts* parts = nullptr;
  std::unique_ptr<MainFrame> frame;
  bool ok = false;
};

}  // namespace kv::shell::testing
