#pragma once
// The photo on show and the work that brings the next one: the one owner of
// the viewer's workers. A file is read, its folder listed and its photo
// decoded on workers; what they make reaches the session on the interface
// thread through the platform's dispatcher, and only while it is still
// wanted. The photo on show stays until the next one has a picture to show,
// so a step never flashes an empty window. A neighbour in the direction of
// travel is read ahead within a byte budget and taken over by the step to
// it, finished or not. Without a dispatcher everything runs in the call
// (tests, tools).
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "foundation/core/image/dib_image.h"
#include "foundation/core/image/orientation.h"
#include "foundation/core/imageops/image.h"
#include "kvi/actual_size_file.h"
#include "platform/services.h"
#include "viewer/model/photo_loader.h"

namespace kv::viewer {

// Pixels the photo on show and the neighbour read ahead may hold together
// (four bytes a pixel, with their halved copies). A neighbour that would
// pass it is not read ahead.
inline constexpr uint64_t kReadAheadBudget = uint64_t(1) << 30;

// Four bytes a pixel plus the halved copies a view may make of them.
uint64_t PhotoBytesFor(PixelSize shown);

enum class PhotoState {
  Empty,       // nothing asked for yet
  Reading,     // a file is being read or decoded; the photo before stays on show
  FirstFrame,  // a reduced picture of it is on show, the whole one decodes
  Whole,       // the whole photo is on show
  Failed       // the last file asked for could not be shown
};

// What identifies a file's content on disk without reading it: a rewrite of
// the same size within one tick of a coarse clock still changes the inode
// (a rename over it) or the change time.
struct FileStamp {
  uint64_t device = 0, inode = 0, size = 0;
  int64_t modifiedNs = 0, changedNs = 0;
  bool operator==(const FileStamp&) const = default;
};
std::optional<FileStamp> StampOf(const std::string& path);

struct FolderEntry {
  std::string path;  // full path (UTF-8, as the file system takes it)
  std::string name;  // file name without folder
};
// The ".kvi" files of a folder (ending with '/'), sorted by name;
// subfolders and other non-regular entries are skipped.
std::vector<FolderEntry> ListKviFiles(const std::string& folder);

// Why a request ended without a picture.
enum class FailureKind {
  Read,     // the file could not be read or is not a ".kvi" file
  Decode,   // its photo could not be decoded
  Memory    // its photo is too large for the memory
};

// A file whose first picture is ready, handed to the document to take on.
struct ArrivedFile {
  uint64_t request = 0;
  // Asked for by an opening (its folder listed), not a step.
  bool opening = false;
  std::string path;
  std::shared_ptr<const ActualSizeFile> file;
  // The folder's listing when the request asked for it.
  std::optional<std::vector<FolderEntry>> folder;
};

struct SessionFailure {
  uint64_t request = 0;
  bool opening = false;
  std::string path;
  FailureKind kind = FailureKind::Read;
  std::string reason;
  // The file was on show already (its whole photo failed after its first frame).
  bool wasShown = false;
};

// Where a worker is; a test hook may block there or throw.
enum class WorkerStage { Read, List, Decode, FirstFrame };

class PhotoSession {
 public:
  struct Callbacks {
    // A new file has a picture: the owner takes the file on before the
    // picture is shown. Then photoChanged.
    std::function<void(const ArrivedFile&)> fileArrived;
    // The pixels on show changed (a new file's, or the whole photo after its
    // first frame, or none after a failure).
    std::function<void()> photoChanged;
    // A request ended without a picture. Never called from inside another
    // callback: it is posted to run after the delivery returns.
    std::function<void(const SessionFailure&)> failed;
  };

  PhotoSession(std::shared_ptr<platform::Dispatcher> dispatcher, Callbacks callbacks);
  // Stops every worker and waits for it.
  ~PhotoSession();
  PhotoSession(const PhotoSession&) = delete;
  PhotoSession& operator=(const PhotoSession&) = delete;

  bool Async() const { return dispatcher_ != nullptr; }

  // Asks for the file at `path`: read and decoded on a worker, its folder
  // listed too when `listFolder`. Replaces any request still under way.
  // Returns the request's number.
  uint64_t Open(const std::string& path, bool listFolder);
  // The view's size in device pixels: first frames and halved copies are
  // made for it.
  void SetClient(PixelSize client) { client_ = client; }
  // Shows an upright photo made elsewhere (benchmarks, tests).
  void ShowPhoto(IplImageSlot upright);
  // Stops the request under way; the photo on show stays.
  void Cancel();
  // The direction of travel for reading ahead, and the file there (empty:
  // none). Read ahead once the photo on show has a picture.
  void SetNeighbour(const std::string& path);

  PhotoState State() const { return state_; }
  // A request is under way (its file read or its photo decoded).
  bool Busy() const { return state_ == PhotoState::Reading || state_ == PhotoState::FirstFrame; }
  // Nothing under way and nothing left to tell.
  bool Settled() const { return !Busy() && untold_ == 0; }
  // The request under way has not shown anything yet.
  bool Pending() const { return state_ == PhotoState::Reading; }
  uint64_t Request() const { return request_; }
  const std::string& RequestedPath() const { return requestedPath_; }
  // The last request came from an opening, not a step.
  bool Opening() const { return requestOpens_; }

  // The photo on show: upright, reduced by 2^Shift() while it is a first
  // frame; its halved copies (a view makes more as it needs them).
  const Image* Photo() const { return photo_.get(); }
  Image* MutablePhoto() { return photo_.get(); }
  int Shift() const { return shift_; }
  std::vector<IplImageSlot>& Levels() { return levels_; }
  const std::vector<IplImageSlot>& Levels() const { return levels_; }
  // The display the decode composed for the view to open the picture on
  // show at, when `place` is where the view is; taken once, dropped when
  // the view is elsewhere.
  IplImageSlot TakePreparedDisplay(const DisplayPlace& place);
  // The navigator bitmap made with the picture on show (moved out by the owner).
  DibImage TakeThumbnail() { return std::move(thumbnail_); }
  // Changes with every new file on show.
  uint64_t FileGeneration() const { return fileGeneration_; }
  // Changes with every change of the pixels on show.
  uint64_t PhotoGeneration() const { return photoGeneration_; }
  // The upright size of the file on show as its header gives it.
  PixelSize ShownSize() const { return shownSize_; }

  // --- reading ahead ---
  const std::string& AheadPath() const { return aheadPath_; }
  bool AheadReady() const { return ahead_.has_value(); }
  bool AheadInFlight() const { return aheadJob_ != 0; }
  void DropAhead();
  // Bytes held by the neighbour read ahead (decoded).
  uint64_t AheadBytes() const;

  // --- what a test or a benchmark looks at ---
  // Jobs whose thread still runs, cancelled or not.
  size_t LiveJobs() const { return jobs_.size(); }
  size_t MostLiveJobs() const { return mostLive_; }
  // Runs on each worker at each stage; may block or throw (tests).
  void SetWorkerHook(std::function<void(WorkerStage, const std::string& path)> hook) {
    hook_ = std::make_shared<const std::function<void(WorkerStage, const std::string&)>>(std::move(hook));
  }

 private:
  enum class Role { None, Current, First, Ahead };
  struct Job {
    uint64_t id = 0;
    Role role = Role::None;  // what it was started for (or taken over as)
    std::atomic<bool> cancel{false};
    // Still a neighbour read ahead: gives way, and stops at the budget.
    std::atomic<bool> ahead{false};
    std::thread thread;
  };
  using Hook = std::shared_ptr<const std::function<void(WorkerStage, const std::string&)>>;
  // What a worker is asked to do.
  struct Work {
    std::string path;
    std::shared_ptr<const ActualSizeFile> file;  // read already
    bool listFolder = false;
    bool ahead = false;
    int shift = 0;  // a first frame at 1 / 2^shift
    PixelSize client{0, 0};
    uint64_t budgetLeft = 0;  // for a neighbour: what the photo on show leaves
    // The whole photo's decode starts a first frame beside itself where one pays.
    bool firstFrame = false;
    // Blocks of a photo let go, written over when the sizes fit.
    Spare spare;
  };
  // What a worker hands back.
  struct Outcome {
    enum Kind { Read, Picture, Failure } kind = Failure;
    std::shared_ptr<const ActualSizeFile> file;
    std::optional<std::vector<FolderEntry>> folder;
    Orientation orientation = 1;
    PixelSize shown{0, 0};
    DecodedPhoto photo;
    FailureKind failure = FailureKind::Read;
    std::string reason;
    bool silent = false;  // a neighbour over the budget
  };
  using Post = std::function<void(Outcome)>;
  static void RunWork(Work& work, const Job& job, const Post& post, const Hook& hook);
  // The first frame decoded beside the whole photo, on a thread of the job's own.
  static void RunFirstFrame(const Work& work, int shift, const std::vector<uint8_t>& jpeg,
                            Orientation o, PixelSize shown, const std::atomic<bool>& stop,
                            const Post& post, const Hook& hook);

  uint64_t Launch(Work work, Role role);
  size_t Alive(Role role) const;
  void StartCurrent(Work work);
  void StartAhead();
  void StartFirstFrame();
  void OnOutcome(uint64_t id, Outcome outcome);
  void OnEnded(uint64_t id);
  Role RoleOf(uint64_t id) const;
  void Show(const std::string& path, std::shared_ptr<const ActualSizeFile> file,
            std::optional<std::vector<FolderEntry>> folder, PixelSize shown, DecodedPhoto photo);
  void ShowFirstFrame(Outcome o);
  void Fail(SessionFailure failure);
  void CancelJob(uint64_t& id);
  void RunPending();
  // With nothing under way, the blocks kept for the next decode go back to
  // the system, with what the workers' allocations left free.
  void ReleaseWhenIdle();

  std::shared_ptr<platform::Dispatcher> dispatcher_;
  Callbacks callbacks_;
  Hook hook_;
  // Tasks posted by workers check this before touching the session.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
  std::map<uint64_t, std::unique_ptr<Job>> jobs_;  // running, cancelled or not
  uint64_t nextJob_ = 1;
  int untold_ = 0;  // failures posted, not yet told
  size_t mostLive_ = 0;

  PhotoState state_ = PhotoState::Empty;
  uint64_t request_ = 0;
  PixelSize client_{0, 0};
  std::string requestedPath_;
  bool requestOpens_ = false;
  bool requestShown_ = false;  // the request under way has a picture on show
  // Its whole photo's job makes the first frame (else the session may).
  bool firstOnWorker_ = false;
  uint64_t currentJob_ = 0, firstJob_ = 0, aheadJob_ = 0;
  // A request waiting for a cancelled job of its kind to end.
  std::optional<Work> pendingCurrent_;
  // The request under way, once its file is read.
  std::shared_ptr<const ActualSizeFile> requestFile_;
  std::optional<std::vector<FolderEntry>> requestFolder_;
  Orientation requestOrientation_ = 1;
  PixelSize requestShownSize_{0, 0};
  PixelSize requestClient_{0, 0};

  IplImageSlot photo_;
  // The last whole photo replaced on show, kept while work is under way:
  // the next decode of its size writes over it instead of having the system
  // clear fresh pages.
  Spare spare_;
  int shift_ = 0;
  std::vector<IplImageSlot> levels_;
  DibImage thumbnail_;
  PixelSize shownSize_{0, 0};
  uint64_t fileGeneration_ = 0;
  uint64_t photoGeneration_ = 0;

  // The neighbour: wanted, on its way, or read.
  std::string aheadPath_;
  std::optional<FileStamp> aheadStamp_;
  struct Ahead {
    std::shared_ptr<const ActualSizeFile> file;
    PixelSize shown{0, 0};
    DecodedPhoto photo;
  };
  std::optional<Ahead> ahead_;
  PreparedDisplay prepared_;
  // The neighbour's file once read, for a step that takes it over in flight.
  std::shared_ptr<const ActualSizeFile> aheadFile_;
  PixelSize aheadShown_{0, 0};
  // The neighbour was refused (over the budget or broken): not tried again
  // until another is asked for.
  bool aheadGivenUp_ = false;
};

}  // namespace kv::viewer
