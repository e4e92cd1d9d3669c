#include "authoring/widgets/parts_list_window.h"

#include <QCloseEvent>
#include <QColor>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <algorithm>

#include "authoring/model/kovasand_view.h"
#include "authoring/widgets/navi_window.h"
#include "platform/qt_text.h"
#include "platform/services.h"
#include "platform/tool_window_placement.h"

namespace kv::authoring {
namespace {

constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 24;
const char* const kColumnTitles[] = {"No.", "始点", "終点", "実ｻｲｽﾞ", "中心", "備考"};
constexpr int kColumns = 6;
// What each column must show whole: five-digit coordinates of large photos,
// seven-digit lengths.
const char* const kWidestTexts[] = {"999", "(99999,99999)", "(99999,99999)", "1000000",
                                    "(99999,99999)", "使用不可: 始点と終点が同じ位置です"};

}  // namespace

PartsListWindow::PartsListWindow(KovasandDoc& doc, platform::Profile* profile, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint),
      doc_(doc),
      profile_(profile) {
  setObjectName("partsListWindow");
  setWindowTitle(QString::fromUtf8("等倍設定のﾘｽﾄ"));
  table_ = new QTableWidget(0, kColumns, this);
  table_->setObjectName("partsList");
  QStringList titles;
  for (const char* t : kColumnTitles) titles << QString::fromUtf8(t);
  table_->setHorizontalHeaderLabels(titles);
  const QFontMetrics metrics(table_->font());
  int total = 0;
  for (int i = 0; i < kColumns; ++i) {
    const int w = std::max(metrics.horizontalAdvance(QString::fromUtf8(kWidestTexts[i])),
                           metrics.horizontalAdvance(QString::fromUtf8(kColumnTitles[i]))) + 16;
    table_->setColumnWidth(i, w);
    total += w;
  }
  table_->horizontalHeader()->setSectionsClickable(false);
  table_->horizontalHeader()->setHighlightSections(false);
  table_->verticalHeader()->hide();
  table_->setShowGrid(true);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSortingEnabled(false);
  table_->setWordWrap(false);
  delete_ = new QPushButton(QString::fromUtf8("削除"), this);
  delete_->setObjectName("delete");
  delete_->resize(kButtonWidth, kButtonHeight);
  delete_->setAutoDefault(false);
  connect(delete_, &QPushButton::clicked, this, &PartsListWindow::DeleteSelected);
  // The Delete key does what the button does, from anywhere in the window.
  auto* del = new QShortcut(QKeySequence(Qt::Key_Delete), this);
  del->setContext(Qt::WindowShortcut);
  connect(del, &QShortcut::activated, this, &PartsListWindow::DeleteSelected);
  connect(table_, &QTableWidget::itemSelectionChanged, this, &PartsListWindow::SelectionChanged);
  connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
    if (row >= 0 && onEditLength) onEditLength(size_t(row));
  });
  resize(total + 24, 320);
}

PartsListWindow::~PartsListWindow() { SavePlacement(); }

void PartsListWindow::Refill() {
  platform::WaitCursor wait;
  filling_ = true;
  table_->clearSelection();
  table_->setRowCount(0);
  table_->setRowCount(int(doc_.registrations.size()));
  for (size_t i = 0; i < doc_.registrations.size(); ++i) {
    const ListRow row = MakeListRow(doc_.registrations[i], i, doc_.UnusableReason(i));
    const std::string* texts[] = {&row.number, &row.start, &row.end,
                                  &row.length, &row.center, &row.note};
    for (int c = 0; c < kColumns; ++c) {
      auto* item = new QTableWidgetItem(platform::Utf8ToQString(*texts[c]));
      item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
      // A registration no scale comes from stands out until mended.
      if (!row.note.empty()) item->setForeground(QColor(200, 0, 0));
      table_->setItem(int(i), c, item);
    }
  }
  // The highlighted registration stays the selected row.
  if (doc_.selectedIndex >= 0 && doc_.selectedIndex < table_->rowCount())
    table_->selectRow(doc_.selectedIndex);
  filling_ = false;
}

void PartsListWindow::SelectionChanged() {
  if (filling_) return;
  const QModelIndexList rows = table_->selectionModel()->selectedRows();
  if (rows.isEmpty()) {
    doc_.Select(-1);
    if (onChanged) onChanged();
    return;
  }
  // The row just clicked when it is among the selected, else the first.
  int row = rows.front().row();
  for (const QModelIndex& i : rows)
    if (i.row() == table_->currentRow()) row = i.row();
  doc_.Select(row);
  if (onChanged) onChanged();
}

void PartsListWindow::DeleteSelected() {
  const QModelIndexList rows = table_->selectionModel()->selectedRows();
  if (rows.isEmpty()) {
    doc_.Tell(text::kNoSelection);
    return;
  }
  platform::WaitCursor wait;
  std::vector<size_t> indices;
  for (const QModelIndex& i : rows) indices.push_back(size_t(i.row()));
  doc_.DeleteRegistrations(std::move(indices));
}

void PartsListWindow::Place(const QRect& naviFrame) {
  if (platform::PlaceFromProfile(*this, profile_, kPlacementSection, kListPlacementKey)) return;
  resize(width(), naviFrame.height() - (frameGeometry().height() - height()));
  move(naviFrame.width(), kNaviDefaultY);
}

void PartsListWindow::SavePlacement() {
  platform::SavePlacementToProfile(*this, profile_, kPlacementSection, kListPlacementKey);
}

void PartsListWindow::resizeEvent(QResizeEvent*) {
  const int w = width(), h = height();
  table_->setGeometry(0, 0, w, std::max(0, h - kButtonHeight));
  delete_->move(w - delete_->width(), h - delete_->height());
}

void PartsListWindow::closeEvent(QCloseEvent* e) {
  // Nothing would bring it back.
  e->ignore();
}

}  // namespace kv::authoring
