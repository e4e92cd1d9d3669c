#include "viewer/model/photo_session.h"

#include <sys/resource.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <new>
#include <system_error>

#include "foundation/core/image/jpeg_decode.h"
#include "kvi/upright.h"
#include "viewer/model/scale_model.h"

namespace kv::viewer {
namespace {

namespace fs = std::filesystem;

constexpr const char* kOutOfMemory = "ﾒﾓﾘが足りません";
constexpr const char* kUnexpected = "処理中に予期しないｴﾗｰが起きました";

bool HasKviExtension(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  for (char& ch : ext)
    if (ch >= 'A' && ch <= 'Z') ch = char(ch - 'A' + 'a');
  return ext == ".kvi";
}

std::string FolderOf(const std::string& path) {
  std::string folder = fs::path(path).parent_path().string();
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

// Whether the whole photo may be decoded at all, decided from its header
// before any of it is: a photo refused for memory gets no first frame either.
bool WholeDecodeFits(const std::vector<uint8_t>& jpeg, std::string& reason, FailureKind& kind) {
  bool passed = false;
  const JpegAllocator probe = [&](uint32_t, uint32_t, size_t) {
    passed = true;
    return JpegTarget{};  // nothing decoded: the header was all that was wanted
  };
  DecodeJpegBgra(jpeg.data(), jpeg.size(), 0, probe, reason);
  if (passed) {
    reason.clear();
    return true;
  }
  kind = reason.find("ﾒﾓﾘ") != std::string::npos ? FailureKind::Memory : FailureKind::Decode;
  return false;
}

// Reading ahead gives way to the photo on show.
void LowerThisThreadsPriority() { setpriority(PRIO_PROCESS, id_t(gettid()), 10); }

// Blocks freed by the workers stay with the allocator's per-thread pools
// until given back; a settled viewer holds what its photo needs.
void GiveBackFreedMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

bool Fits(const IplImageSlot& block, PixelSize size) {
  return block && block->Width() == size.width && block->Height() == size.height;
}

}  // namespace

uint64_t PhotoBytesFor(PixelSize shown) {
  if (shown.width <= 0 || shown.height <= 0) return 0;
  const uint64_t bytes = uint64_t(shown.width) * uint64_t(shown.height) * 4;
  return bytes + bytes / 3;
}

std::optional<FileStamp> StampOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  FileStamp s;
  s.device = uint64_t(st.st_dev);
  s.inode = uint64_t(st.st_ino);
  s.size = uint64_t(st.st_size);
  s.modifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  s.changedNs = int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  return s;
}

std::vector<FolderEntry> ListKviFiles(const std::string& folder) {
  std::vector<FolderEntry> out;
  std::error_code ec;
  fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!HasKviExtension(name)) continue;
    std::error_code typeEc;
    if (!it->is_regular_file(typeEc)) continue;
    out.push_back({folder + name, name});
  }
  std::sort(out.begin(), out.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return out;
}

PhotoSession::PhotoSession(std::shared_ptr<platform::Dispatcher> dispatcher, Callbacks callbacks)
    : dispatcher_(std::move(dispatcher)), callbacks_(std::move(callbacks)) {}

PhotoSession::~PhotoSession() {
  for (auto& [id, job] : jobs_) job->cancel = true;
  for (auto& [id, job] : jobs_)
    if (job->thread.joinable()) job->thread.join();
}

void PhotoSession::RunFirstFrame(const Work& work, int shift, const std::vector<uint8_t>& jpeg,
                                 Orientation o, PixelSize shown, const std::atomic<bool>& stop,
                                 const Post& post, const Hook& hook) {
  // A first frame that fails says nothing: the whole photo will say why.
  try {
    if (hook && *hook) (*hook)(WorkerStage::FirstFrame, work.path);
    if (stop.load(std::memory_order_relaxed)) return;
    Outcome out;
    out.kind = Outcome::Picture;
    out.photo = DecodePhoto(jpeg, o, shift, &stop, work.client);
    if (!out.photo.image || stop.load(std::memory_order_relaxed)) return;
    out.photo.display = ComposeOpeningDisplay(*out.photo.image, out.photo.shift, out.photo.levels,
                                              shown, work.client);
    if (stop.load(std::memory_order_relaxed)) return;
    out.file = work.file;
    out.shown = shown;
    post(std::move(out));
  } catch (...) {
  }
}

void PhotoSession::RunWork(Work& work, const Job& job, const Post& post, const Hook& hook) {
  auto stopped = [&job] { return job.cancel.load(std::memory_order_relaxed); };
  auto fail = [&post](FailureKind kind, std::string reason, bool silent = false) {
    Outcome o;
    o.kind = Outcome::Failure;
    o.failure = kind;
    o.reason = std::move(reason);
    o.silent = silent;
    post(std::move(o));
  };
  try {
    std::shared_ptr<const ActualSizeFile> file = work.file;
    std::optional<std::vector<FolderEntry>> folder;
    if (!file) {
      if (hook && *hook) (*hook)(WorkerStage::Read, work.path);
      // A named pipe or a device would block the read for good.
      struct stat st {};
      if (::stat(work.path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        fail(FailureKind::Read, "通常のﾌｧｲﾙではありません");
        return;
      }
      auto fresh = std::make_shared<ActualSizeFile>();
      std::string reason;
      if (!ReadActualSizeFile(work.path, *fresh, reason, &job.cancel)) {
        if (stopped()) return;
        fail(FailureKind::Read, reason);
        return;
      }
      file = std::move(fresh);
      work.file = file;
      if (stopped()) return;
      if (work.listFolder) {
        const std::string at = FolderOf(work.path);
        if (hook && *hook) (*hook)(WorkerStage::List, at);
        folder = ListKviFiles(at);
      }
    }
    const std::vector<uint8_t>& jpeg = file->jpegBytes;
    const UprightPhoto upright = ShowUpright(jpeg);
    const Orientation o = upright.orientation;
    const PixelSize shown = upright.shown;
    int firstShift = 0;
    if (work.shift == 0 && work.firstFrame && shown.width > 0 && shown.height > 0 &&
        work.client.width > 0 && work.client.height > 0)
      firstShift = FirstFrameShift(
          FitScale(shown.width, shown.height, work.client.width, work.client.height),
          double(jpeg.size()) / (double(shown.width) * double(shown.height)));
    if (work.shift == 0) {
      // The header's bounds (which read through the whole file) are checked
      // ahead of the decode, which checks them again, only where something
      // comes before it: a first frame, or a neighbour a step may take over
      // and give a first frame.
      std::string reason;
      FailureKind kind = FailureKind::Decode;
      if ((firstShift > 0 || work.ahead) && !WholeDecodeFits(jpeg, reason, kind)) {
        fail(kind, reason);
        return;
      }
      Outcome read;
      read.kind = Outcome::Read;
      read.file = file;
      read.folder = std::move(folder);
      read.shown = shown;
      post(std::move(read));
      if (job.ahead && PhotoBytesFor(shown) > work.budgetLeft) {
        fail(FailureKind::Memory, kOutOfMemory, true);
        return;
      }
    }
    if (stopped()) return;
    // The first frame is started here rather than by the interface thread:
    // at a program's start that thread is busy putting the window up and
    // would come to it only once the whole photo is there.
    std::atomic<bool> firstStop{false};
    std::thread first;
    struct JoinFirst {
      std::atomic<bool>& stop;
      std::thread& thread;
      ~JoinFirst() {
        stop = true;
        if (thread.joinable()) thread.join();
      }
    } joinFirst{firstStop, first};
    if (firstShift > 0) {
      try {
        first = std::thread([&work, firstShift, &jpeg, o, shown, &firstStop, &post, &hook] {
          RunFirstFrame(work, firstShift, jpeg, o, shown, firstStop, post, hook);
        });
      } catch (const std::system_error&) {
        // No thread for it: the whole photo comes all the same.
      }
    }
    if (hook && *hook) (*hook)(work.shift > 0 ? WorkerStage::FirstFrame : WorkerStage::Decode, work.path);
    Spare spare = std::move(work.spare);
    // Blocks of another size would only add to the peak.
    if (work.shift != 0 || !Fits(spare.image, shown)) spare = Spare{};
    Outcome out;
    out.kind = Outcome::Picture;
    out.photo = DecodePhoto(jpeg, o, work.shift, &job.cancel, work.client, std::move(spare));
    firstStop = true;  // too late to be of use
    if (stopped()) return;
    if (!out.photo.image) {
      const bool memory = out.photo.reason.find("ﾒﾓﾘ") != std::string::npos;
      fail(memory ? FailureKind::Memory : FailureKind::Decode, out.photo.reason);
      return;
    }
    // The interface thread then only swaps the display in.
    out.photo.display = ComposeOpeningDisplay(*out.photo.image, out.photo.shift, out.photo.levels,
                                              shown, work.client);
    if (stopped()) return;
    out.file = file;
    out.shown = shown;
    post(std::move(out));
  } catch (const std::bad_alloc&) {
    try {
      fail(FailureKind::Memory, kOutOfMemory);
    } catch (...) {
    }
  } catch (...) {
    try {
      fail(FailureKind::Decode, kUnexpected);
    } catch (...) {
    }
  }
}

size_t PhotoSession::Alive(Role role) const {
  size_t n = 0;
  for (const auto& [id, job] : jobs_) n += job->role == role;
  return n;
}

uint64_t PhotoSession::Launch(Work work, Role role) {
  auto job = std::make_unique<Job>();
  const uint64_t id = nextJob_++;
  job->id = id;
  job->role = role;
  job->ahead = work.ahead;
  Job* own = job.get();
  // Recorded before its thread starts: whatever the thread posts finds it.
  jobs_.emplace(id, std::move(job));
  mostLive_ = std::max(mostLive_, jobs_.size());
  try {
    own->thread = std::thread([this, own, id, work = std::move(work), hook = hook_,
                               alive = std::weak_ptr<int>(alive_), dispatcher = dispatcher_]() mutable {
      if (own->ahead) LowerThisThreadsPriority();
      const Post post = [this, id, alive, dispatcher](Outcome o) {
        auto box = std::make_shared<Outcome>(std::move(o));
        dispatcher->Post([this, id, alive, box] {
          if (alive.lock()) OnOutcome(id, std::move(*box));
        });
      };
      RunWork(work, *own, post, hook);
      try {
        dispatcher->Post([this, id, alive] {
          if (alive.lock()) OnEnded(id);
        });
      } catch (...) {
      }
    });
  } catch (const std::system_error&) {
    jobs_.erase(id);
    return 0;
  }
  return id;
}

PhotoSession::Role PhotoSession::RoleOf(uint64_t id) const {
  if (id == 0) return Role::None;
  if (id == currentJob_) return Role::Current;
  if (id == firstJob_) return Role::First;
  if (id == aheadJob_) return Role::Ahead;
  return Role::None;
}

void PhotoSession::CancelJob(uint64_t& id) {
  if (id != 0) {
    auto it = jobs_.find(id);
    if (it != jobs_.end()) it->second->cancel = true;
  }
  id = 0;
}

uint64_t PhotoSession::Open(const std::string& path, bool listFolder) {
  const PixelSize client = client_;
  CancelJob(currentJob_);
  CancelJob(firstJob_);
  pendingCurrent_.reset();
  ++request_;
  requestedPath_ = path;
  requestOpens_ = listFolder;
  requestShown_ = false;
  requestFile_.reset();
  requestShownSize_ = {0, 0};
  requestClient_ = client;
  firstOnWorker_ = false;
  state_ = PhotoState::Reading;
  // Another file opened: the neighbour of the folder before means nothing.
  if (listFolder) DropAhead();
  if (!listFolder && !aheadPath_.empty() && path == aheadPath_) {
    const std::optional<FileStamp> now = StampOf(path);
    const bool unchanged = now && aheadStamp_ && *now == *aheadStamp_;
    if (unchanged && ahead_) {
      Ahead a = std::move(*ahead_);
      ahead_.reset();
      aheadPath_.clear();
      aheadStamp_.reset();
      aheadFile_.reset();
      Show(path, std::move(a.file), std::nullopt, a.shown, std::move(a.photo));
      state_ = PhotoState::Whole;
      ReleaseWhenIdle();  // unless a read-ahead took the photo let go
      return request_;
    }
    if (unchanged && aheadJob_ != 0) {
      // Still being read or decoded: the step takes it over, at full speed
      // from its next stage on.
      auto it = jobs_.find(aheadJob_);
      if (it != jobs_.end()) {
        it->second->ahead = false;
        it->second->role = Role::Current;
        currentJob_ = aheadJob_;
        aheadJob_ = 0;
        requestFile_ = aheadFile_;
        requestShownSize_ = aheadShown_;
        aheadPath_.clear();
        aheadStamp_.reset();
        aheadFile_.reset();
        if (requestFile_) StartFirstFrame();
        return request_;
      }
    }
  }
  DropAhead();  // elsewhere, or changed on disk since it was read
  Work work;
  work.path = path;
  work.listFolder = listFolder;
  work.client = client;
  work.firstFrame = firstOnWorker_ = Async();
  StartCurrent(std::move(work));
  return request_;
}

void PhotoSession::StartCurrent(Work work) {
  if (!work.spare.image) work.spare = std::move(spare_);
  if (!Async()) {
    // In the call: each result is handed over as a worker's would be.
    const uint64_t id = nextJob_++;
    currentJob_ = id;
    Job job;
    std::vector<Outcome> outcomes;
    RunWork(work, job, [&outcomes](Outcome o) { outcomes.push_back(std::move(o)); }, hook_);
    work.spare = Spare{};
    for (Outcome& o : outcomes) OnOutcome(id, std::move(o));
    ReleaseWhenIdle();
    return;
  }
  // At most one such job alive: a cancelled one still running is waited for.
  if (Alive(Role::Current) > 0) {
    pendingCurrent_ = std::move(work);
    return;
  }
  currentJob_ = Launch(std::move(work), Role::Current);
  if (currentJob_ == 0) {
    state_ = photo_ ? PhotoState::Whole : PhotoState::Empty;
    Fail(SessionFailure{request_, requestOpens_, requestedPath_, FailureKind::Memory, kOutOfMemory, false});
  }
}

void PhotoSession::StartFirstFrame() {
  if (!Async() || requestShown_ || !requestFile_ || firstJob_ != 0 || Alive(Role::First) > 0)
    return;
  const PixelSize size = requestShownSize_;
  const PixelSize client = requestClient_;
  if (size.width <= 0 || size.height <= 0 || client.width <= 0 || client.height <= 0) return;
  const int shift =
      FirstFrameShift(FitScale(size.width, size.height, client.width, client.height),
                      double(requestFile_->jpegBytes.size()) / (double(size.width) * double(size.height)));
  if (shift <= 0) return;
  Work work;
  work.path = requestedPath_;
  work.file = requestFile_;
  work.shift = shift;
  work.client = client;
  firstJob_ = Launch(std::move(work), Role::First);
}

void PhotoSession::SetNeighbour(const std::string& path) {
  if (path == aheadPath_ && !path.empty()) return;  // already there or on its way
  DropAhead();
  aheadPath_ = path;
  StartAhead();
}

void PhotoSession::StartAhead() {
  if (!Async() || aheadPath_.empty() || aheadGivenUp_ || ahead_ || aheadJob_ != 0) return;
  // Once the photo on show has a picture on screen.
  if (state_ != PhotoState::FirstFrame && state_ != PhotoState::Whole) return;
  if (Alive(Role::Ahead) > 0) return;  // started when the one let go ends
  const uint64_t held = PhotoBytesFor(shownSize_);
  if (held >= kReadAheadBudget) return;
  // Taken before the read: a file written while it is read looks changed.
  aheadStamp_ = StampOf(aheadPath_);
  Work work;
  work.path = aheadPath_;
  work.ahead = true;
  work.client = client_;
  work.budgetLeft = kReadAheadBudget - held;
  work.spare = std::move(spare_);
  aheadJob_ = Launch(std::move(work), Role::Ahead);
}

void PhotoSession::DropAhead() {
  CancelJob(aheadJob_);
  ahead_.reset();
  aheadFile_.reset();
  aheadShown_ = {0, 0};
  aheadPath_.clear();
  aheadStamp_.reset();
  aheadGivenUp_ = false;
}

uint64_t PhotoSession::AheadBytes() const {
  if (!ahead_) return 0;
  uint64_t n = 0;
  auto bytes = [](const IplImageSlot& s) { return s ? uint64_t(s->Stride()) * uint64_t(s->Height()) : 0; };
  n += bytes(ahead_->photo.image);
  for (const IplImageSlot& l : ahead_->photo.levels) n += bytes(l);
  n += bytes(ahead_->photo.display.image);
  return n;
}

void PhotoSession::Cancel() {
  CancelJob(currentJob_);
  CancelJob(firstJob_);
  pendingCurrent_.reset();
  if (Busy()) state_ = photo_ ? PhotoState::Whole : PhotoState::Empty;
  ++request_;  // whatever was under way is not wanted any more
}

void PhotoSession::ShowPhoto(IplImageSlot upright) {
  Cancel();
  DropAhead();
  requestShown_ = false;
  DecodedPhoto photo;
  photo.image = std::move(upright);
  PixelSize size{0, 0};
  if (photo.image) {
    photo.thumbnail = ThumbnailOf(*photo.image);
    size = {photo.image->Width(), photo.image->Height()};
  }
  Show("", nullptr, std::nullopt, size, std::move(photo));
  state_ = photo_ ? PhotoState::Whole : PhotoState::Empty;
  ReleaseWhenIdle();
}

void PhotoSession::ReleaseWhenIdle() {
  if (!jobs_.empty() || pendingCurrent_) return;
  spare_ = Spare{};
  GiveBackFreedMemory();
}

IplImageSlot PhotoSession::TakePreparedDisplay(const DisplayPlace& place) {
  PreparedDisplay taken = std::move(prepared_);
  prepared_ = PreparedDisplay();
  if (!taken.image || !(taken.place == place)) return nullptr;
  return std::move(taken.image);
}

void PhotoSession::Show(const std::string& path, std::shared_ptr<const ActualSizeFile> file,
                        std::optional<std::vector<FolderEntry>> folder, PixelSize shown,
                        DecodedPhoto photo) {
  const bool newFile = !requestShown_;
  requestShown_ = true;
  if (photo_ && shift_ == 0) {
    spare_.image = std::move(photo_);
    spare_.levels = std::move(levels_);
  }
  photo_ = std::move(photo.image);
  shift_ = photo.shift;
  levels_ = std::move(photo.levels);
  thumbnail_ = std::move(photo.thumbnail);
  prepared_ = std::move(photo.display);
  ++photoGeneration_;
  if (newFile) {
    ++fileGeneration_;
    shownSize_ = shown;
    if (file && callbacks_.fileArrived)
      callbacks_.fileArrived(ArrivedFile{request_, requestOpens_, path, std::move(file), std::move(folder)});
  }
  if (callbacks_.photoChanged) callbacks_.photoChanged();
}

void PhotoSession::Fail(SessionFailure failure) {
  state_ = PhotoState::Failed;
  // A read-ahead no longer leads anywhere the user is going.
  DropAhead();
  if (failure.wasShown) {
    // The first frame of a photo that cannot be shown whole goes with it.
    ReleaseIplImage(photo_);
    levels_.clear();
    thumbnail_ = DibImage();
    prepared_ = PreparedDisplay();
    shift_ = 0;
    ++photoGeneration_;
    if (callbacks_.photoChanged) callbacks_.photoChanged();
  }
  if (!callbacks_.failed) return;
  if (!Async()) {
    callbacks_.failed(failure);
    return;
  }
  // Told after this delivery has returned, never from inside it.
  auto box = std::make_shared<SessionFailure>(std::move(failure));
  ++untold_;
  dispatcher_->Post([this, box, alive = std::weak_ptr<int>(alive_)] {
    if (!alive.lock()) return;
    --untold_;
    if (callbacks_.failed) callbacks_.failed(*box);
  });
}

void PhotoSession::OnOutcome(uint64_t id, Outcome o) {
  switch (RoleOf(id)) {
    case Role::Current:
      if (o.kind == Outcome::Read) {
        requestFile_ = o.file;
        requestFolder_ = std::move(o.folder);
        requestShownSize_ = o.shown;
        // A neighbour taken over before its file was read makes none itself.
        if (!firstOnWorker_) StartFirstFrame();
        return;
      }
      if (o.kind == Outcome::Picture && o.photo.shift > 0) {
        // The first frame the job decoded beside the whole photo.
        ShowFirstFrame(std::move(o));
        return;
      }
      currentJob_ = 0;
      CancelJob(firstJob_);
      if (o.kind == Outcome::Picture) {
        Show(requestedPath_, std::move(o.file), std::move(requestFolder_), o.shown, std::move(o.photo));
        requestFolder_.reset();
        state_ = PhotoState::Whole;
        StartAhead();
      } else {
        Fail(SessionFailure{request_, requestOpens_, requestedPath_, o.failure, o.reason, requestShown_});
      }
      return;
    case Role::First:
      firstJob_ = 0;
      // A first frame that fails says nothing: the whole photo will say why.
      if (o.kind == Outcome::Picture) ShowFirstFrame(std::move(o));
      return;
    case Role::Ahead:
      if (o.kind == Outcome::Read) {
        aheadFile_ = o.file;
        aheadShown_ = o.shown;
        return;
      }
      aheadJob_ = 0;
      if (o.kind == Outcome::Picture) {
        // Held until a step, perhaps long: only what the step will show.
        KeepLevelForFit(o.photo, client_);
        ahead_ = Ahead{std::move(o.file), o.shown, std::move(o.photo)};
      } else {
        // A neighbour that cannot be read or decoded, or would pass the
        // budget, is forgotten without a word: the step to it says why.
        aheadFile_.reset();
        aheadGivenUp_ = true;
      }
      return;
    case Role::None: return;
  }
}

void PhotoSession::ShowFirstFrame(Outcome o) {
  if (requestShown_) return;
  Show(requestedPath_, std::move(o.file), std::move(requestFolder_), o.shown, std::move(o.photo));
  requestFolder_.reset();
  state_ = PhotoState::FirstFrame;
  StartAhead();
  // The whole photo under way has its blocks already: the photo let go is
  // of use only to a neighbour read ahead, which has taken it if it could.
  spare_ = Spare{};
}

void PhotoSession::OnEnded(uint64_t id) {
  auto it = jobs_.find(id);
  if (it == jobs_.end()) return;
  if (it->second->thread.joinable()) it->second->thread.join();
  jobs_.erase(it);
  // A name still held by an ended job means its result was never posted
  // (stopped, or a first frame that failed quietly).
  if (id == firstJob_) firstJob_ = 0;
  if (id == aheadJob_) {
    aheadJob_ = 0;
    aheadGivenUp_ = !ahead_;
  }
  if (id == currentJob_) {
    // Ended without a word (it should always say something).
    currentJob_ = 0;
    CancelJob(firstJob_);
    Fail(SessionFailure{request_, requestOpens_, requestedPath_, FailureKind::Decode, kUnexpected, requestShown_});
  }
  if (pendingCurrent_ && Alive(Role::Current) == 0) {
    Work w = std::move(*pendingCurrent_);
    pendingCurrent_.reset();
    StartCurrent(std::move(w));
  }
  StartAhead();
  ReleaseWhenIdle();
}

}  // namespace kv::viewer
