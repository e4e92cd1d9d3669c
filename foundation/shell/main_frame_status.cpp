// The status bar: its panes, the texts they show and the idle message.
#include <QLabel>
#include <QStatusBar>
#include <algorithm>

#include "foundation/shell/main_frame.h"
#include "foundation/shell/status_panes.h"
#include "platform/qt_text.h"

namespace kv::shell {
namespace {

using platform::Utf8ToQString;

// A status pane that shows a text too long for it shortened in the middle,
// so both its start (what it is about) and its end stay, and the whole of it
// as its tooltip.
class ElidedPane : public QLabel {
 public:
  using QLabel::QLabel;
  void SetFullText(const QString& text) {
    full_ = text;
    Elide();
  }
  const QString& FullText() const { return full_; }

 protected:
  void resizeEvent(QResizeEvent* e) override {
    QLabel::resizeEvent(e);
    Elide();
  }

 private:
  void Elide() {
    const int room = std::max(0, contentsRect().width() - 2 * margin() - 2);
    const QString shown = fontMetrics().elidedText(full_, Qt::ElideMiddle, room);
    setText(shown);
    setToolTip(shown == full_ ? QString() : full_);
  }
  QString full_;
};

// The viewer's panes side by side: each keeps the width its texts were
// written for while there is room; in a narrow window the message pane gives
// way first, so the scale and the measured length stay readable.
class FittedPanes : public QWidget {
 public:
  FittedPanes(std::vector<PaneSpec> specs, QWidget* parent)
      : QWidget(parent), specs_(std::move(specs)) {
    setMinimumWidth(0);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  }
  void Add(QLabel* l) { labels_.push_back(l); }
  QSize sizeHint() const override {
    int h = 0;
    for (const QLabel* l : labels_) h = std::max(h, l->sizeHint().height());
    return QSize(0, h);
  }
  QSize minimumSizeHint() const override { return QSize(0, sizeHint().height()); }

 protected:
  void resizeEvent(QResizeEvent*) override {
    const std::vector<int> w = FitPaneWidths(width(), kGap, specs_);
    int x = 0;
    for (size_t i = 0; i < labels_.size() && i < w.size(); ++i) {
      labels_[i]->setGeometry(x, 0, w[i], height());
      x += w[i] + kGap;
    }
  }

 private:
  static constexpr int kGap = 2;
  std::vector<PaneSpec> specs_;
  std::vector<QLabel*> labels_;
};

}  // namespace

void MainFrame::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setSizeGripEnabled(true);
  auto pane = [bar](int width, int stretch, bool permanent) {
    auto* l = new QLabel(bar);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setMargin(1);
    if (width > 0) l->setFixedWidth(width);
    if (permanent)
      bar->addPermanentWidget(l, stretch);
    else
      bar->addWidget(l, stretch);
    return l;
  };
  if (kind_ == ProgramKind::Viewer) {
    // Message, scale, measuring scale, last length: 400, 200 and 200 wide
    // and the rest, as far as the window allows.
    auto* row = new FittedPanes({{400, 120, 0}, {200, 100, 2}, {200, 110, 1}, {10, 130, 3}}, bar);
    for (int i = 0; i < 4; ++i) {
      auto* l = new ElidedPane(row);
      l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      l->setMargin(1);
      row->Add(l);
      panes_.push_back(l);
    }
    bar->addWidget(row, 1);
  } else {
    panes_.push_back(pane(0, 1, false));
    // The view's scale, a pane of its own that menu prompts never cover.
    QLabel* scale = pane(0, 0, true);
    scale->setObjectName("scalePane");
    scale->setAlignment(Qt::AlignCenter);
    scale->setMinimumWidth(scale->fontMetrics().horizontalAdvance(QString::fromUtf8("表示倍率 1600%")) + 12);
    // Lock-key indicators; the desktop does not tell us the lock states, so
    // they stand greyed as an unlit indicator does.
    for (const char* key : {"ｶﾅ", "CAP", "NUM", "SCRL"}) {
      QLabel* l = pane(0, 0, true);
      l->setText(QString::fromUtf8(key));
      l->setAlignment(Qt::AlignCenter);
      l->setMinimumWidth(l->fontMetrics().horizontalAdvance(l->text()) + 12);
      l->setEnabled(false);
      panes_.push_back(l);
    }
    panes_.push_back(scale);
  }
  ShowIdleMessage();
}

void MainFrame::ShowIdleMessage() { SetStatusPaneText(0, QString()); }

QLabel* MainFrame::StatusPane(int pane) const {
  return pane >= 0 && pane < int(panes_.size()) ? panes_[size_t(pane)] : nullptr;
}

void MainFrame::SetStatusPaneText(int pane, const QString& text) {
  QLabel* l = StatusPane(pane);
  if (!l) return;
  // The message pane with nothing to say shows the idle text.
  const QString shown = pane == 0 && text.isEmpty() ? Utf8ToQString(table_.idleMessage) : text;
  if (auto* e = dynamic_cast<ElidedPane*>(l))
    e->SetFullText(shown);
  else
    l->setText(shown);
}

QString MainFrame::StatusPaneText(int pane) const {
  const QLabel* l = StatusPane(pane);
  if (const auto* e = dynamic_cast<const ElidedPane*>(l)) return e->FullText();
  return l ? l->text() : QString();
}

}  // namespace kv::shell
