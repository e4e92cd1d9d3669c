#include "viewer/model/calibration.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

#include "foundation/core/util/file_io.h"
#include "foundation/core/util/geometry.h"
#include "foundation/core/util/text.h"
#include "platform/private_profile.h"

namespace kv::viewer {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kMaxCoordinate = 1000000;
// What a caller's 8-byte buffer receives.
constexpr size_t kValueBuffer = 8;

// A whole decimal number (optional sign), nothing else.
std::optional<int32_t> StrictNumber(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  if (i == text.size()) return std::nullopt;
  for (size_t j = i; j < text.size(); ++j)
    if (text[j] < '0' || text[j] > '9') return std::nullopt;
  return TextToLong(text);
}

std::optional<int32_t> ReadValue(const std::string& path, const char* section,
                                 const std::string& key, const std::string& fallback,
                                 int32_t lo, int32_t hi) {
  const std::string text =
      platform::GetPrivateProfileString(section, key, fallback, path, kValueBuffer);
  const std::optional<int32_t> v = StrictNumber(text);
  if (!v || *v < lo || *v > hi) return std::nullopt;
  return v;
}

int32_t ReadKey(const std::string& path, const char* key, int32_t fallback, int32_t lo,
                int32_t hi) {
  return ReadValue(path, kSettingsSection, key, IntToText(fallback), lo, hi).value_or(fallback);
}

using KeyValues = std::vector<std::pair<std::string, std::string>>;

KeyValues FiveKeys(const std::string& prefix, const DisplayCalibration& c) {
  return {{prefix + "pt1x", IntToText(c.pt1x)},
          {prefix + "pt1y", IntToText(c.pt1y)},
          {prefix + "pt2x", IntToText(c.pt2x)},
          {prefix + "pt2y", IntToText(c.pt2y)},
          {prefix + "sizedisplay", IntToText(c.sizedisplay)}};
}

std::string PixelsText(int32_t w, int32_t h) { return IntToText(w) + "x" + IntToText(h); }

// "WIDTHxHEIGHT", both above 0.
std::optional<std::pair<int32_t, int32_t>> ParsePixels(std::string_view text) {
  const size_t x = text.find('x');
  if (x == std::string_view::npos) return std::nullopt;
  const std::optional<int32_t> w = StrictNumber(text.substr(0, x));
  const std::optional<int32_t> h = StrictNumber(text.substr(x + 1));
  if (!w || !h || *w <= 0 || *h <= 0) return std::nullopt;
  return std::pair{*w, *h};
}

// Room for a monitor key and its resolution.
constexpr size_t kMonitorValueBuffer = 256;

// Keeps whatever else the file holds; all keys go in one replacement so a
// failure leaves the old file whole. A file not there yet starts from
// `seed` (the preset it will hide from then on).
bool WriteKeys(const std::string& path, const char* section, const KeyValues& keys,
               std::string& reason, const std::string& seed = "") {
  std::error_code ec;
  const fs::path parent = fs::path(path).parent_path();
  if (!parent.empty() && !fs::exists(parent, ec)) fs::create_directories(parent, ec);
  std::string contents;
  const std::string& from = fs::exists(path, ec) || seed.empty() ? path : seed;
  if (fs::exists(from, ec)) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(from, bytes, reason, platform::kMaxPrivateProfileBytes)) return false;
    contents.assign(bytes.begin(), bytes.end());
  }
  for (const auto& [key, value] : keys) {
    std::optional<std::string> next =
        platform::SetProfileValue(contents, section, key, value);
    if (!next) {
      reason = "設定ﾌｧｲﾙを更新できませんでした";
      return false;
    }
    contents = std::move(*next);
  }
  const auto* data = reinterpret_cast<const uint8_t*>(contents.data());
  return WriteFileAtomically(path, std::span<const uint8_t>(data, contents.size()), reason);
}

std::string KeyPart(std::string_view text) {
  std::string out(text.substr(0, kMaxScreenKeyPart));
  for (char& ch : out) {
    const bool ok = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') ||
                    (ch >= '0' && ch <= '9') || ch == '.' || ch == '_' || ch == '-';
    if (!ok) ch = '_';
  }
  return out;
}

}  // namespace

double ScreenDistance(const DisplayCalibration& c) {
  return PointDistance(c.pt1x, c.pt1y, c.pt2x, c.pt2y);
}

std::optional<double> ScreenMillimetresPerPixel(const DisplayCalibration& c) {
  const double d = ScreenDistance(c);
  if (c.sizedisplay <= 0 || !(d > 0.0)) return std::nullopt;
  return double(c.sizedisplay) / d;
}

bool IsUncalibrated(const DisplayCalibration& c) {
  return c.pt1x == 100 && c.pt1y == 100 && c.pt2x == 400 && c.pt2y == 100;
}

DisplayCalibration ReadCalibration(const std::string& path) {
  const DisplayCalibration def;
  DisplayCalibration c;
  c.pt1x = ReadKey(path, "pt1x", def.pt1x, -kMaxCoordinate, kMaxCoordinate);
  c.pt1y = ReadKey(path, "pt1y", def.pt1y, -kMaxCoordinate, kMaxCoordinate);
  c.pt2x = ReadKey(path, "pt2x", def.pt2x, -kMaxCoordinate, kMaxCoordinate);
  c.pt2y = ReadKey(path, "pt2y", def.pt2y, -kMaxCoordinate, kMaxCoordinate);
  c.sizedisplay = ReadKey(path, "sizedisplay", def.sizedisplay, kMinCalibrationMm,
                          kMaxCalibrationMm);
  if (c.pt1x == c.pt2x && c.pt1y == c.pt2y) {
    c.pt1x = def.pt1x;
    c.pt1y = def.pt1y;
    c.pt2x = def.pt2x;
    c.pt2y = def.pt2y;
  }
  return c;
}

bool WriteCalibration(const std::string& path, const DisplayCalibration& c, std::string& reason) {
  return WriteKeys(path, kSettingsSection, FiveKeys("", c), reason);
}

std::string ScreenKey(const ScreenId& screen) {
  return KeyPart(screen.name) + "." + KeyPart(screen.manufacturer) + "." +
         KeyPart(screen.model) + "." + PixelsText(screen.widthPx, screen.heightPx);
}

std::string MonitorKey(const ScreenId& screen) {
  return KeyPart(screen.name) + "." + KeyPart(screen.manufacturer) + "." +
         KeyPart(screen.model) + "." + PixelsText(screen.widthMm, screen.heightMm) + "mm";
}

std::optional<DisplayCalibration> ReadScreenCalibration(const std::string& path,
                                                        const std::string& key) {
  const std::string prefix = key + ".";
  auto value = [&](const char* name, int32_t lo, int32_t hi) {
    return ReadValue(path, kScreensSection, prefix + name, "", lo, hi);
  };
  const auto x1 = value("pt1x", -kMaxCoordinate, kMaxCoordinate);
  const auto y1 = value("pt1y", -kMaxCoordinate, kMaxCoordinate);
  const auto x2 = value("pt2x", -kMaxCoordinate, kMaxCoordinate);
  const auto y2 = value("pt2y", -kMaxCoordinate, kMaxCoordinate);
  const auto mm = value("sizedisplay", kMinCalibrationMm, kMaxCalibrationMm);
  if (!x1 || !y1 || !x2 || !y2 || !mm || (*x1 == *x2 && *y1 == *y2)) return std::nullopt;
  return DisplayCalibration{*x1, *y1, *x2, *y2, *mm};
}

bool WriteScreenCalibration(const std::string& path, const std::string& monitorKey,
                            const DisplayCalibration& c, int32_t widthPx, int32_t heightPx,
                            std::string& reason) {
  KeyValues keys = FiveKeys(monitorKey + ".", c);
  keys.emplace_back(monitorKey + ".pixels", PixelsText(widthPx, heightPx));
  return WriteKeys(path, kScreensSection, keys, reason);
}

CalibrationStore::CalibrationStore(std::string readPath, std::string writePath)
    : readPath_(std::move(readPath)), writePath_(std::move(writePath)) {
  fiveKeys_ = ReadCalibration(readPath_);
  const std::string tie = platform::GetPrivateProfileString(kSettingsSection, kMonitorKeyName, "",
                                                            readPath_, kMonitorValueBuffer);
  const size_t at = tie.rfind('@');
  const auto pixels = at == std::string::npos ? std::nullopt : ParsePixels(tie.substr(at + 1));
  if (pixels && at > 0 && !IsUncalibrated(fiveKeys_)) {
    fiveKeysMonitor_ = tie.substr(0, at);
    fiveKeysWidth_ = pixels->first;
    fiveKeysHeight_ = pixels->second;
  }
}

void CalibrationStore::SetPrimary(const ScreenId& primary) {
  if (primarySeen_) return;
  primarySeen_ = true;
  if (!fiveKeysMonitor_.empty() || IsUncalibrated(fiveKeys_)) return;
  fiveKeysMonitor_ = MonitorKey(primary);
  fiveKeysWidth_ = primary.widthPx;
  fiveKeysHeight_ = primary.heightPx;
  // Not being able to record the tie changes nothing in this run; the next
  // start ties them again.
  std::string reason;
  WriteKeys(writePath_, kSettingsSection,
            {{kMonitorKeyName, fiveKeysMonitor_ + "@" + PixelsText(fiveKeysWidth_, fiveKeysHeight_)}},
            reason, readPath_);
}

std::optional<CalibrationStore::Entry> CalibrationStore::EntryFor(const ScreenId& screen) {
  const std::string key = MonitorKey(screen);
  auto it = entries_.find(key);
  if (it == entries_.end()) {
    // Read once: the file is only written by this run from then on.
    std::optional<Entry> entry;
    if (const auto c = ReadScreenCalibration(readPath_, key)) {
      const auto pixels = ParsePixels(platform::GetPrivateProfileString(
          kScreensSection, key + ".pixels", "", readPath_, kMonitorValueBuffer));
      if (pixels) entry = Entry{*c, pixels->first, pixels->second};
    }
    it = entries_.emplace(key, entry).first;
  }
  if (it->second) return it->second;
  // An entry of the older kind is keyed by the resolution it counts in.
  if (const auto c = ReadScreenCalibration(readPath_, ScreenKey(screen)))
    return Entry{*c, screen.widthPx, screen.heightPx};
  return std::nullopt;
}

DisplayCalibration CalibrationStore::For(const ScreenId& screen, CalibrationState& state) {
  std::optional<Entry> entry;
  if (!fiveKeysMonitor_.empty() && fiveKeysMonitor_ == MonitorKey(screen))
    entry = Entry{fiveKeys_, fiveKeysWidth_, fiveKeysHeight_};
  else
    entry = EntryFor(screen);
  if (!entry) {
    state = CalibrationState::Uncalibrated;
    return DisplayCalibration{};
  }
  if (entry->widthPx != screen.widthPx || entry->heightPx != screen.heightPx) {
    state = CalibrationState::ResolutionChanged;
    return DisplayCalibration{};
  }
  state = CalibrationState::Calibrated;
  return entry->calibration;
}

bool CalibrationStore::Save(const ScreenId& screen, bool primary, const DisplayCalibration& c,
                            std::string& reason) {
  const std::string key = MonitorKey(screen);
  const bool fiveKeys = fiveKeysMonitor_.empty() ? primary : fiveKeysMonitor_ == key;
  if (fiveKeys) {
    fiveKeys_ = c;
    fiveKeysMonitor_ = key;
    fiveKeysWidth_ = screen.widthPx;
    fiveKeysHeight_ = screen.heightPx;
    KeyValues keys = FiveKeys("", c);
    keys.emplace_back(kMonitorKeyName, key + "@" + PixelsText(screen.widthPx, screen.heightPx));
    return WriteKeys(writePath_, kSettingsSection, keys, reason, readPath_);
  }
  entries_[key] = Entry{c, screen.widthPx, screen.heightPx};
  KeyValues keys = FiveKeys(key + ".", c);
  keys.emplace_back(key + ".pixels", PixelsText(screen.widthPx, screen.heightPx));
  return WriteKeys(writePath_, kScreensSection, keys, reason, readPath_);
}

std::string SettingsWritePath(const SettingsLocation& where) {
  return SettingsFileForWriting(where, kSettingsFileName);
}

std::string SettingsReadPath(const SettingsLocation& where) {
  return SettingsFileForReading(where, kSettingsFileName);
}

int32_t CalibrationWidthNeeded(int32_t lengthMm, double mmPerDevicePixel) {
  if (!(mmPerDevicePixel > 0) || lengthMm <= 0) return 0;
  const double px = std::ceil(double(lengthMm) / mmPerDevicePixel);
  return int32_t(std::min(px + kAnchorInset + 20, 1e9));
}

double EstimatedMmPerDevicePixel(double dotsPerInch) {
  const double dpi = dotsPerInch >= kMinPlausibleDpi && dotsPerInch <= kMaxPlausibleDpi
                         ? dotsPerInch
                         : kFallbackDotsPerInch;
  return 25.4 / dpi;
}

double FallbackMmPerDevicePixel(double devicePixelRatio) {
  const double r = devicePixelRatio > 0 && std::isfinite(devicePixelRatio) ? devicePixelRatio : 1.0;
  return 25.4 / (kFallbackDotsPerInch * r);
}

bool CalibrationLooksWrong(double mmPerDevicePixel, std::optional<double> reported) {
  if (!(mmPerDevicePixel > 0) || !std::isfinite(mmPerDevicePixel)) return true;
  const double dpi = 25.4 / mmPerDevicePixel;
  if (dpi < kMinPlausibleDpi || dpi > kMaxPlausibleDpi) return true;
  return reported && *reported > 0 &&
         std::fabs(mmPerDevicePixel - *reported) > kReportTolerance * *reported;
}

std::optional<double> EstimateFromScreen(double widthMm, double heightMm, int32_t widthPx,
                                         int32_t heightPx) {
  if (!(widthMm > 0) || !(heightMm > 0) || widthPx <= 0 || heightPx <= 0) return std::nullopt;
  const double mmX = widthMm / widthPx, mmY = heightMm / heightPx;
  if (std::fabs(mmX - mmY) > 0.05 * std::max(mmX, mmY)) return std::nullopt;
  const double dpi = 25.4 / mmX;
  if (dpi < kMinPlausibleDpi || dpi > kMaxPlausibleDpi) return std::nullopt;
  return mmX;
}

}  // namespace kv::viewer
