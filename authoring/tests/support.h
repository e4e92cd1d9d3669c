#pragma once
// A program folder with the authoring tool's settings and logo, photos made
// by the tests, and a view host that records what the view asked for.
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "authoring/model/kovasand_document.h"
#include "authoring/model/kovasand_view.h"
#include "viewer/tests/test_files.h"

namespace kv::authoring::testing {

using viewer::testing::PatternPhoto;
using viewer::testing::RecordingMessages;
using viewer::testing::TempDir;

inline void WriteText(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A logo of 2 x 1 pixels and its settings.
inline void WriteProgramFiles(const TempDir& program, int32_t cx = 2, int32_t cy = 1,
                              size_t logoBytes = 6) {
  WriteText(program.File(kSettingsFileName), "[link]\nhttps://example.com/\n[cx]\n" +
                                                 std::to_string(cx) + "\n[cy]\n" +
                                                 std::to_string(cy) + "\nEOF\n");
  WriteText(program.File(kLogoFileName), std::string(logoBytes, '\x7f'));
}

inline std::string WritePhoto(const TempDir& dir, const std::string& name, int32_t w, int32_t h,
                              int tag = 0) {
  const std::vector<uint8_t> jpeg = EncodeJpeg(PatternPhoto(w, h, tag), 95);
  const std::string path = dir.File(name);
  WriteText(path, std::string(jpeg.begin(), jpeg.end()));
  return path;
}

class RecordingHost : public KovasandViewHost {
 public:
  void InvalidateView() override { ++invalidated; }
  void RedrawNavigator() override { ++navigatorRedrawn; }
  void RefillList() override { ++refilled; }
  void ScrollRangeChanged() override { ++scrollChanged; }
  std::optional<int32_t> AskMeasuredLength(int32_t imageLengthPx) override {
    asked.push_back(imageLengthPx);
    return answer;
  }
  int invalidated = 0, navigatorRedrawn = 0, refilled = 0, scrollChanged = 0;
  std::vector<int32_t> asked;
  std::optional<int32_t> answer = 100;
};

// Records the notification codes in the order they arrive.
class CodeRecorder : public platform::ViewBase {
 public:
  void OnNotify(const std::string&, int code) override { codes.push_back(code); }
  std::vector<int> codes;
};

}  // namespace kv::authoring::testing
