#pragma once
// One document, its views, and the synchronous notification between them:
// NotifyViews calls every view's handler and returns when all have done the
// work for the code, so the order of codes sent is the order of work done.
#include <algorithm>
#include <string>
#include <vector>

namespace kv::platform {

// The other platform's WM_APP + 1; kept as the notification's identity.
constexpr int kNotifyMessage = 32769;

class DocumentBase;

class ViewBase {
 public:
  virtual ~ViewBase() = default;
  // The work for one notification code, done before returning.
  virtual void OnNotify(const std::string& text, int code) = 0;
};

class DocumentBase {
 public:
  virtual ~DocumentBase() = default;

  void AddView(ViewBase* view) {
    if (std::find(views_.begin(), views_.end(), view) == views_.end()) views_.push_back(view);
  }
  void RemoveView(ViewBase* view) { std::erase(views_, view); }
  const std::vector<ViewBase*>& Views() const { return views_; }

  void NotifyViews(const std::string& text, int code) {
    // A copy: a handler may add or remove views.
    const auto views = views_;
    for (ViewBase* v : views) v->OnNotify(text, code);
  }

  bool IsModified() const { return modified_; }
  void SetModifiedFlag(bool modified = true) { modified_ = modified; }

  // Full path of the open file (UTF-8, as the file system takes it); empty for a new document.
  const std::string& PathName() const { return pathName_; }
  void SetPathName(const std::string& path) { pathName_ = path; }
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title) { title_ = title; }

 private:
  std::vector<ViewBase*> views_;
  bool modified_ = false;
  std::string pathName_;
  std::string title_;
};

}  // namespace kv::platform
