// The document commands: new, open, save and save as, the save prompt, the
// recent-file list and the file named on the command line.
#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>

#include "foundation/shell/main_frame.h"
#include "platform/file_dialog.h"
#include "platform/qt_text.h"

namespace kv::shell {
namespace {

using platform::Utf8ToQString;

// Part of the document template string: 0 title, 1 document name,
// 2 new-file type, 3 filter, 4 extension.
QString TemplatePart(const res::ProgramTable& t, int index) {
  const QStringList parts = Utf8ToQString(t.docTemplate).split('\n');
  return index < parts.size() ? parts[index] : QString();
}

QString FileDialogFilter(const res::ProgramTable& t) {
  return TemplatePart(t, 3) + ";;" + QString::fromUtf8("全ﾌｧｲﾙ(*.*)") + " (*)";
}

// Our files by our names, whatever the system's type database makes of them.
void NameOurFileTypes(QFileDialog& dialog) {
  platform::NameFileTypes(dialog, {{"kvi", QString::fromUtf8("kviﾌｧｲﾙ")},
                                   {"kvp", QString::fromUtf8("kvpﾌｧｲﾙ")}});
}

}  // namespace

void MainFrame::RefreshRecentMenu() {
  if (!fileMenu_) return;
  QAction* placeholder = actions_.value(cmd::kFileMru1);
  if (!placeholder) return;
  for (QAction* a : recentActions_) {
    fileMenu_->removeAction(a);
    removeAction(a);
    delete a;
  }
  recentActions_.clear();
  const std::vector<std::string> files = profile_->RecentFiles();
  // With files, the entries stand where the placeholder stood; without,
  // the placeholder shows greyed.
  placeholder->setVisible(files.empty());
  for (size_t i = 0; i < files.size(); ++i) {
    const int id = cmd::kFileMru1 + int(i);
    QString text = QString("&%1 ").arg(i + 1) + Utf8ToQString(files[i]);
    QAction* a = MakeAction(id, text);
    fileMenu_->insertAction(placeholder, a);
    recentActions_.push_back(a);
  }
}

void MainFrame::AddToRecentFiles(const std::string& path) {
  profile_->AddRecentFile(path);
  RefreshRecentMenu();
}

bool MainFrame::OpenRecentFile(int index) {
  const std::vector<std::string> files = profile_->RecentFiles();
  if (index < 0 || size_t(index) >= files.size()) return false;
  const std::string path = files[size_t(index)];
  // An entry that no longer opens leaves the list, so it is not offered again.
  const bool opened = OpenDocumentFile(Utf8ToQString(path));
  if (!opened) profile_->RemoveRecentFile(path);
  RefreshRecentMenu();
  return opened;
}

bool MainFrame::SaveModified() {
  if (!parts_) return true;
  platform::DocumentBase& doc = parts_->Document();
  if (doc.IsModified()) {
    const std::string title = doc.Title().empty() ? platform::QStringToUtf8(TemplatePart(table_, 1))
                                                  : doc.Title();
    switch (messages_.Show(title + " への変更を保存しますか?", platform::MsgIcon::Warning,
                           platform::MsgButtons::YesNoCancel)) {
      case platform::MsgResult::Yes:
        if (!DoSave(false)) return false;
        break;
      case platform::MsgResult::No: break;
      default: return false;
    }
  }
  return parts_->CanClose();
}

bool MainFrame::DoSave(bool askName) {
  if (!parts_) return false;
  platform::DocumentBase& doc = parts_->Document();
  QString path = Utf8ToQString(doc.PathName());
  if (askName || path.isEmpty()) {
    QString suggested = path;
    if (suggested.isEmpty()) suggested = Utf8ToQString(parts_->SuggestedSavePath());
    if (suggested.isEmpty()) suggested = TemplatePart(table_, 1);
    QFileDialog dialog(this, QString::fromUtf8("名前を付けて保存"), suggested,
                       FileDialogFilter(table_));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(TemplatePart(table_, 4).mid(1));
    NameOurFileTypes(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path = dialog.selectedFiles().first();
  }
  const std::string utf8 = platform::QStringToUtf8(path);
  if (!parts_->OnSaveDocument(utf8)) return false;
  doc.SetPathName(utf8);
  doc.SetTitle(platform::QStringToUtf8(QFileInfo(path).fileName()));
  doc.SetModifiedFlag(false);
  AddToRecentFiles(utf8);
  UpdateFrameTitle();
  return true;
}

void MainFrame::OnFileNew() {
  if (!SaveModified()) return;
  if (!parts_->OnNewDocument()) return;
  platform::DocumentBase& doc = parts_->Document();
  doc.SetPathName("");
  doc.SetTitle(platform::QStringToUtf8(TemplatePart(table_, 1)));
  doc.SetModifiedFlag(false);
  UpdateFrameTitle();
}

void MainFrame::OnFileOpen() {
  // Start in the folder of the file on show.
  QString start;
  if (parts_ && !parts_->Document().PathName().empty())
    start = QFileInfo(Utf8ToQString(parts_->Document().PathName())).absolutePath();
  QFileDialog dialog(this, QString::fromUtf8("開く"), start, FileDialogFilter(table_));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  NameOurFileTypes(dialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  OpenDocumentFile(dialog.selectedFiles().first());
}

bool MainFrame::OpenDocumentFile(const QString& path) {
  if (!parts_ || !SaveModified()) return false;
  const QString full = QFileInfo(path).absoluteFilePath();
  const std::string utf8 = platform::QStringToUtf8(full);
  platform::WaitCursor wait;
  if (!parts_->OnOpenDocument(utf8)) return false;
  // Read on a worker: the parts report back when it has opened, or not.
  if (!parts_->OpensInBackground()) DocumentOpened(utf8);
  return true;
}

void MainFrame::DocumentOpened(const std::string& utf8) {
  if (!parts_) return;
  platform::DocumentBase& doc = parts_->Document();
  doc.SetPathName(utf8);
  doc.SetTitle(platform::QStringToUtf8(QFileInfo(Utf8ToQString(utf8)).fileName()));
  doc.SetModifiedFlag(false);
  AddToRecentFiles(utf8);
  UpdateFrameTitle();
}

void MainFrame::DocumentNotOpened(const std::string& utf8) {
  profile_->RemoveRecentFile(utf8);
  RefreshRecentMenu();
  // Nothing was ever opened (a file on the command line): the empty document.
  if (parts_ && parts_->Document().Title().empty()) {
    parts_->Document().SetTitle(platform::QStringToUtf8(TemplatePart(table_, 1)));
    UpdateFrameTitle();
  }
}

bool MainFrame::ProcessCommandLine(const QStringList& arguments) {
  if (!parts_) return false;
  for (const QString& a : arguments) {
    if (a.isEmpty()) continue;
    return OpenDocumentFile(a);
  }
  if (!parts_->OnNewDocument()) return false;
  platform::DocumentBase& doc = parts_->Document();
  doc.SetPathName("");
  doc.SetTitle(platform::QStringToUtf8(TemplatePart(table_, 1)));
  UpdateFrameTitle();
  return true;
}

}  // namespace kv::shell
