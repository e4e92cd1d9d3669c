// The document's undo history: what adding, deleting and editing
// registrations and replacing the photo can take back, and whether the
// content is what was last read or saved.
#include "authoring/model/kovasand_document.h"

namespace kv::authoring {

void KovasandDoc::StartHistory() {
  undo_.clear();
  redo_.clear();
  version_ = savedVersion_ = nextVersion_++;
}

void KovasandDoc::Changed() {
  version_ = nextVersion_++;
  SetModifiedFlag(version_ != savedVersion_);
}

void KovasandDoc::RecordUndo(std::shared_ptr<PhotoState> photo) {
  undo_.push_back({registrations, version_, std::move(photo)});
  redo_.clear();
}

void KovasandDoc::RegistrationsReplaced() {
  selectedIndex = -1;
  drawMode = drawMode == kDrawEnd ? kDrawStart : drawMode;
  SetModifiedFlag(version_ != savedVersion_);
  NotifyViews("", code::kListChanged);
  NotifyViews("", code::kRepaint);
  NotifyViews("", code::kRedrawNavigator);
}

bool KovasandDoc::TakeStep(std::vector<UndoStep>& from, std::vector<UndoStep>& to) {
  if (from.empty()) return false;
  UndoStep step = std::move(from.back());
  from.pop_back();
  const bool photo = step.photo != nullptr;
  to.push_back({registrations, version_, photo ? TakePhotoState() : nullptr});
  if (photo) PutPhotoState(std::move(*step.photo));
  registrations = std::move(step.registrations);
  version_ = step.version;
  RegistrationsReplaced();
  if (photo) {
    NotifyViews("", code::kThumbnail);
    NotifyViews("", code::kDisplay);
  }
  return true;
}

bool KovasandDoc::Undo() { return TakeStep(undo_, redo_); }
bool KovasandDoc::Redo() { return TakeStep(redo_, undo_); }

}  // namespace kv::authoring
