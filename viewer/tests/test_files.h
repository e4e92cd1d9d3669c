#pragma once
// Photos and ".kvi" files made by the tests themselves.
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/core/image/jpeg_encode.h"
#include "kvi/actual_size_file.h"
#include "platform/services.h"

namespace kv::viewer::testing {

// A three-byte photo of w x h, zeroed, for a test to paint.
inline DibImage BlankPhoto(int32_t w, int32_t h) {
  DibImage img(w, h);
  img.padBytes = DibPadBytes(w);
  img.byteSize = uint32_t(img.Stride() * size_t(h));
  img.pixels = std::make_unique<uint8_t[]>(img.byteSize);
  return img;
}

// A photo whose colour tells where a pixel came from: blue = x, green = y
// (both modulo 256), red = 40 + 100 * tag.
inline DibImage PatternPhoto(int32_t w, int32_t h, int tag = 0) {
  DibImage img = BlankPhoto(w, h);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = img.Row(y);
    for (int32_t x = 0; x < w; ++x) {
      row[x * 3 + 0] = uint8_t(x);
      row[x * 3 + 1] = uint8_t(y);
      row[x * 3 + 2] = uint8_t(40 + 100 * tag);
    }
  }
  return img;
}

inline ActualSizeFile MakeKvi(int32_t w, int32_t h, RegistrationList regs, int tag = 0,
                              int32_t logoW = 0, int32_t logoH = 0) {
  ActualSizeFile f;
  f.jpegName = "photo.jpg";
  f.registrations = std::move(regs);
  f.jpegBytes = EncodeJpeg(PatternPhoto(w, h, tag), 95);
  f.link = "https://example.org/";
  f.logoWidth = logoW;
  f.logoHeight = logoH;
  f.logoBytes.resize(size_t(logoW) * size_t(logoH) * 3);
  for (size_t i = 0; i < f.logoBytes.size(); ++i) f.logoBytes[i] = uint8_t(i * 7 + 1);
  return f;
}

inline void WriteKvi(const std::string& path, const ActualSizeFile& f) {
  std::string reason;
  if (!WriteActualSizeFile(path, f, reason)) throw std::runtime_error(reason);
}

class TempDir {
 public:
  TempDir() {
    static int counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("kv_view_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string Folder() const { return path_.string() + "/"; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Records message boxes instead of showing them.
class RecordingMessages : public platform::MessageService {
 public:
  platform::MsgResult Show(const std::string& text, platform::MsgIcon icon,
                           platform::MsgButtons buttons) override {
    shown.push_back(text);
    icons.push_back(icon);
    if (buttons == platform::MsgButtons::OkEscapeCancels && escapeAt == shown.size() - 1)
      return platform::MsgResult::Cancel;
    const bool question =
        buttons == platform::MsgButtons::YesNo || buttons == platform::MsgButtons::YesNoCancel ||
        buttons == platform::MsgButtons::YesNoDefaultNo;
    return question ? answer : platform::MsgResult::Ok;
  }
  std::vector<std::string> shown;
  std::vector<platform::MsgIcon> icons;
  // What a question is answered with.
  platform::MsgResult answer = platform::MsgResult::Yes;
  // The message (counted in `shown`) closed with Esc, if any.
  std::optional<size_t> escapeAt;
};

// The interface thread's queue as a test runs it: workers post, the test
// runs what was posted until what it waits for has happened.
class QueueDispatcher : public platform::Dispatcher {
 public:
  void Post(std::function<void()> task) override {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
    ready_.notify_one();
  }
  // False when nothing the workers post makes `done` true within a minute
  // (or `limit`).
  template <typename Done>
  bool RunUntil(const Done& done,
                std::chrono::steady_clock::duration limit = std::chrono::minutes(1)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      std::function<void()> task;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        // Polled too: a worker that fails posts nothing.
        if (!ready_.wait_for(lock, std::chrono::milliseconds(5), [&] { return !tasks_.empty(); })) {
          if (std::chrono::steady_clock::now() > end) return false;
          continue;
        }
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> tasks_;
};

}  // namespace kv::viewer::testing
