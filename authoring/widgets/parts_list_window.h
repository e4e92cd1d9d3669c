#pragma once
// "等倍設定のﾘｽﾄ": one row per size registration; selecting a row highlights
// that registration, a double-click edits its length, "削除" removes the
// selected ones. Enter and Escape do not hide it; its position is kept in
// the profile.
#include <QWidget>
#include <functional>

#include "authoring/model/kovasand_document.h"

class QPushButton;
class QTableWidget;

namespace kv::platform {
class Profile;
}

namespace kv::authoring {

inline constexpr const char* kListPlacementKey = "DlgParts";

class PartsListWindow : public QWidget {
  Q_OBJECT
 public:
  PartsListWindow(KovasandDoc& doc, platform::Profile* profile, QWidget* parent);
  ~PartsListWindow() override;

  QTableWidget* Table() const { return table_; }
  QPushButton* DeleteButton() const { return delete_; }
  // All rows again from the document, in list order, numbered from 1.
  void Refill();
  // The delete button's work.
  void DeleteSelected();
  // From the profile, else beside the navigation window (its frame given).
  void Place(const QRect& naviFrame);
  void SavePlacement();

  // A row was double-clicked: its registration's length is to be edited.
  std::function<void(size_t)> onEditLength;
  // The selection changed (menus follow it).
  std::function<void()> onChanged;

 protected:
  void resizeEvent(QResizeEvent*) override;
  void closeEvent(QCloseEvent*) override;

 private:
  void SelectionChanged();

  KovasandDoc& doc_;
  platform::Profile* profile_;
  QTableWidget* table_;
  QPushButton* delete_;
  bool filling_ = false;
};

}  // namespace kv::authoring
