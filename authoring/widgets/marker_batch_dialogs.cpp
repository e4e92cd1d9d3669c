#include "authoring/widgets/marker_batch_dialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <atomic>
#include <thread>

#include "authoring/model/batch_publish.h"
#include "authoring/model/kovasand_document.h"
#include "authoring/model/marker_detect.h"
#include "authoring/model/marker_registration.h"
#include "platform/qt_text.h"
#include "print/marker_sheet.h"

namespace kv::authoring {
namespace {

QSpinBox* MarkerSpin(int32_t sizeMm, QWidget* parent) {
  auto* spin = new QSpinBox(parent);
  spin->setObjectName("markerSize");
  spin->setRange(kMinMarkerMm, kMaxMarkerMm);
  spin->setValue(CheckMarkerSize(sizeMm).empty() ? sizeMm : kDefaultMarkerMm);
  spin->setSuffix(" mm");
  return spin;
}

QHBoxLayout* OkCancel(QDialog* dialog, const char* okText) {
  auto* ok = new QPushButton(QString::fromUtf8(okText), dialog);
  ok->setObjectName("ok");
  ok->setDefault(true);
  auto* cancel = new QPushButton(QString::fromUtf8("ｷｬﾝｾﾙ"), dialog);
  cancel->setObjectName("cancel");
  QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(ok);
  row->addWidget(cancel);
  return row;
}

}  // namespace

MarkerSizeDialog::MarkerSizeDialog(int32_t sizeMm, bool withPaper, QWidget* parent)
    : QDialog(parent) {
  setObjectName("markerSizeDialog");
  setWindowTitle(QString::fromUtf8("ﾏｰｶｰの大きさ"));
  size_ = MarkerSpin(sizeMm, this);
  auto* form = new QFormLayout;
  form->addRow(QString::fromUtf8("黒い四角の一辺"), size_);
  if (withPaper) {
    paper_ = new QComboBox(this);
    paper_->setObjectName("paper");
    paper_->addItems({QStringLiteral("A4"), QStringLiteral("Letter")});
    form->addRow(QString::fromUtf8("用紙"), paper_);
  }
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(
      QString::fromUtf8(withPaper ? "印刷するﾏｰｶｰの大きさを指定して下さい。\n"
                                    "用紙の各ﾏｰｶｰの下にも印刷されます。"
                                  : "写真に写っているﾏｰｶｰの、印刷した大きさを指定して下さい。\n"
                                    "(ﾏｰｶｰ用紙の各ﾏｰｶｰの下に印刷されています)"),
      this));
  layout->addLayout(form);
  layout->addLayout(OkCancel(this, "OK"));
}

int32_t MarkerSizeDialog::SizeMm() const { return size_->value(); }
bool MarkerSizeDialog::Letter() const { return paper_ && paper_->currentIndex() == 1; }

BatchDialog::BatchDialog(const QString& source, const QString& target, int32_t markerMm,
                         bool canUseProject, QWidget* parent)
    : QDialog(parent) {
  setObjectName("batchDialog");
  setWindowTitle(QString::fromUtf8("ﾌｫﾙﾀﾞの一括出力"));
  source_ = new QLineEdit(source, this);
  source_->setObjectName("source");
  source_->setMinimumWidth(360);
  target_ = new QLineEdit(target, this);
  target_->setObjectName("target");
  auto browse = [this](QLineEdit* edit, const char* title) {
    auto* button = new QPushButton(QString::fromUtf8("参照..."), this);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, edit, title] {
      const QString chosen =
          QFileDialog::getExistingDirectory(this, QString::fromUtf8(title), edit->text());
      if (!chosen.isEmpty()) edit->setText(chosen);
    });
    auto* row = new QHBoxLayout;
    row->addWidget(edit);
    row->addWidget(button);
    return row;
  };
  byMarker_ = new QRadioButton(QString::fromUtf8("写真ごとにﾏｰｶｰで自動登録する"), this);
  byMarker_->setObjectName("byMarker");
  size_ = MarkerSpin(markerMm, this);
  byProject_ = new QRadioButton(
      QString::fromUtf8("今のﾌﾟﾛｼﾞｪｸﾄのｻｲｽﾞ登録を、同じ大きさの写真すべてに使う(固定した撮影台)"), this);
  byProject_->setObjectName("byProject");
  byProject_->setEnabled(canUseProject);
  byMarker_->setChecked(true);
  connect(byMarker_, &QRadioButton::toggled, size_, &QSpinBox::setEnabled);
  auto* markerRow = new QHBoxLayout;
  markerRow->addWidget(byMarker_);
  markerRow->addWidget(new QLabel(QString::fromUtf8("ﾏｰｶｰの一辺"), this));
  markerRow->addWidget(size_);
  markerRow->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QString::fromUtf8("写真のﾌｫﾙﾀﾞ (JPEG、HEIC、PNG)"), this));
  layout->addLayout(browse(source_, "写真のﾌｫﾙﾀﾞを選択"));
  layout->addWidget(new QLabel(QString::fromUtf8("ｻｲｽﾞ登録"), this));
  layout->addLayout(markerRow);
  layout->addWidget(byProject_);
  layout->addWidget(new QLabel(QString::fromUtf8("kviﾌｧｲﾙの出力先ﾌｫﾙﾀﾞ"), this));
  layout->addLayout(browse(target_, "出力先ﾌｫﾙﾀﾞを選択"));
  layout->addLayout(OkCancel(this, "出力"));
}

void BatchDialog::accept() {
  if (!QFileInfo(source_->text()).isDir()) {
    QMessageBox::warning(this, windowTitle(), QString::fromUtf8("写真のﾌｫﾙﾀﾞがありません。"));
    return;
  }
  if (target_->text().trimmed().isEmpty()) {
    QMessageBox::warning(this, windowTitle(), QString::fromUtf8("出力先ﾌｫﾙﾀﾞを指定して下さい。"));
    return;
  }
  QDialog::accept();
}

void RegisterByMarkersCommand(KovasandDoc& doc, shell::AppContext& context,
                              platform::Services& services) {
  if (!doc.HasPhoto()) {
    doc.Tell("写真がありません。先に写真ﾌｧｲﾙを読み込んで下さい。", platform::MsgIcon::Information);
    return;
  }
  MarkerSizeDialog dialog(RememberedMarkerSize(services.profile), false, context.MainWindow());
  if (dialog.exec() != QDialog::Accepted) return;
  RememberMarkerSize(services.profile, dialog.SizeMm());
  const int added = RegisterByMarkers(doc, dialog.SizeMm());
  if (added > 0)
    context.SetStatusPaneText(0, QString::fromUtf8("ﾏｰｶｰから %1 件のｻｲｽﾞ登録を追加しました").arg(added));
  context.UpdateCommandUi();
}

void MarkerSheetCommand(KovasandDoc& doc, shell::AppContext& context, platform::Services& services) {
  MarkerSizeDialog dialog(RememberedMarkerSize(services.profile), true, context.MainWindow());
  if (dialog.exec() != QDialog::Accepted) return;
  const int32_t size = dialog.SizeMm();
  RememberMarkerSize(services.profile, size);
  QString folder = QDir::homePath();
  if (!doc.PathName().empty()) folder = QFileInfo(platform::Utf8ToQString(doc.PathName())).absolutePath();
  QFileDialog save(context.MainWindow(), QString::fromUtf8("ﾏｰｶｰ用紙の出力先"),
                   folder + QStringLiteral("/marker_%1mm.pdf").arg(size),
                   QString::fromUtf8("PDFﾌｧｲﾙ(*.pdf);;全ﾌｧｲﾙ(*)"));
  save.setAcceptMode(QFileDialog::AcceptSave);
  save.setDefaultSuffix("pdf");
  if (save.exec() != QDialog::Accepted || save.selectedFiles().isEmpty()) return;
  const std::string path = platform::QStringToUtf8(save.selectedFiles().first());
  print::MarkerSheetOutcome out;
  {
    platform::WaitCursor wait;
    out = print::WriteMarkerSheetPdf(size, dialog.Letter() ? print::PaperSize::kLetter
                                                              : print::PaperSize::kA4,
                                        path);
  }
  if (!out.Done()) {
    doc.Tell(std::string(text::kWriteError) + "\r" + path + "\r(" + out.failure + ")",
             platform::MsgIcon::Warning);
    return;
  }
  context.SetStatusPaneText(0, QString::fromUtf8("ﾏｰｶｰ用紙を出力しました: ") + platform::Utf8ToQString(path));
  doc.Tell("ﾏｰｶｰ用紙を出力しました。\r印刷するときは拡大・縮小をせず(実際のｻｲｽﾞ、100%)、"
           "印刷した目盛りが定規で100 mmあることを確かめて下さい。",
           platform::MsgIcon::Information);
}

void FolderBatchCommand(KovasandDoc& doc, shell::AppContext& context, platform::Services& services) {
  if (doc.logoLength == 0 || doc.cx <= 0 || doc.cy <= 0 ||
      uint64_t(doc.cx) * uint64_t(doc.cy) * 3 != doc.logoLength) {
    doc.Tell(text::kNoLogo, platform::MsgIcon::Warning);
    return;
  }
  const bool canUseProject = doc.HasPhoto() && !doc.registrations.empty();
  QString start = QDir::homePath();
  if (!doc.jpegPath.empty()) start = QFileInfo(platform::Utf8ToQString(doc.jpegPath)).absolutePath();
  BatchDialog dialog(start, start + QStringLiteral("/kvi"), RememberedMarkerSize(services.profile),
                     canUseProject, context.MainWindow());
  if (dialog.exec() != QDialog::Accepted) return;

  BatchRequest request;
  request.targetFolder = platform::QStringToUtf8(dialog.TargetEdit()->text().trimmed());
  if (dialog.ProjectButton()->isChecked()) {
    request.fixed = BatchRequest::Fixed{doc.registrations, {doc.image.width, doc.image.height}};
  } else {
    request.markerMm = dialog.SizeBox()->value();
    RememberMarkerSize(services.profile, *request.markerMm);
  }
  request.link = doc.link;
  request.logoWidth = doc.cx;
  request.logoHeight = doc.cy;
  request.logoBytes = doc.logoBytes;
  const std::vector<std::string> photos =
      ListPhotos(platform::QStringToUtf8(dialog.SourceEdit()->text()));
  if (photos.empty()) {
    doc.Tell("ﾌｫﾙﾀﾞに写真(JPEG、HEIC、PNG)がありません。", platform::MsgIcon::Information);
    return;
  }
  // Asked once for all of them.
  const std::vector<std::string> existing = ExistingTargets(photos, request.targetFolder);
  if (!existing.empty() && services.messages) {
    const platform::MsgResult answer = services.messages->Show(
        "出力先に同じ名前のkviﾌｧｲﾙが " + std::to_string(existing.size()) +
            " 個あります。\rすべて上書きしますか?\r(いいえ: それらの写真は出力しません)",
        platform::MsgIcon::Question, platform::MsgButtons::YesNoCancel);
    if (answer == platform::MsgResult::Cancel) return;
    request.overwrite = answer == platform::MsgResult::Yes;
  }

  QProgressDialog progress(QString::fromUtf8("写真をkviﾌｧｲﾙに出力しています..."),
                           QString::fromUtf8("中止"), 0, int(photos.size()), context.MainWindow());
  progress.setObjectName("batchProgress");
  progress.setWindowTitle(QString::fromUtf8("ﾌｫﾙﾀﾞの一括出力"));
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(0);
  progress.setValue(0);
  std::atomic<bool> cancel{false};
  QObject::connect(&progress, &QProgressDialog::canceled, [&cancel] { cancel = true; });
  std::vector<BatchItem> items;
  QEventLoop loop;
  QPointer<QProgressDialog> guard(&progress);
  // The photos are read and written on workers; the window stays live and
  // hears of each photo through its event loop.
  std::thread worker([&] {
    items = PublishFolder(request, photos, &cancel, [&](size_t done, size_t, const BatchItem& item) {
      const QString name = QFileInfo(platform::Utf8ToQString(item.photo)).fileName();
      QMetaObject::invokeMethod(&loop, [guard, done, name] {
        if (!guard) return;
        guard->setValue(int(done));
        guard->setLabelText(QString::fromUtf8("写真をkviﾌｧｲﾙに出力しています... ") + name);
      }, Qt::QueuedConnection);
    });
    QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  progress.reset();
  progress.hide();

  const std::string report = BatchReport(items);
  const bool allDone = std::all_of(items.begin(), items.end(), [](const BatchItem& i) { return i.done; });
  context.SetStatusPaneText(0, platform::Utf8ToQString(report.substr(0, report.find('\n'))));
  doc.Tell(report, allDone ? platform::MsgIcon::Information : platform::MsgIcon::Warning);
}

}  // namespace kv::authoring
