#pragma once
// The monitor calibration: two points of the view's client area (device
// pixels) and the real length between them in millimetres, kept in the
// settings file "Kovalindra.ini".
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "foundation/core/util/file_io.h"

namespace kv::viewer {

struct DisplayCalibration {
  int32_t pt1x = 100;
  int32_t pt1y = 100;
  int32_t pt2x = 400;
  int32_t pt2y = 100;
  int32_t sizedisplay = 210;
  bool operator==(const DisplayCalibration&) const = default;
};

inline constexpr int32_t kA4WidthMm = 210;
inline constexpr int32_t kMinCalibrationMm = 1;
inline constexpr int32_t kMaxCalibrationMm = 1000000;
// A click closer than this to the anchor does not make a calibration.
inline constexpr double kMinCalibrationPixels = 8.0;
// Where the left end of the reference is laid: 100 pixels in from the left
// and up from the bottom of the client area.
inline constexpr int32_t kAnchorInset = 100;

double ScreenDistance(const DisplayCalibration& c);
// sizedisplay / distance; none when the length is not above 0 or the points
// coincide.
std::optional<double> ScreenMillimetresPerPixel(const DisplayCalibration& c);
// The stored points are the defaults: nobody has calibrated this monitor.
bool IsUncalibrated(const DisplayCalibration& c);

// The client width a calibration over lengthMm needs at a density of
// mmPerDevicePixel: the anchor's inset, the length, and room to click past
// its end. 0 for a density that is no density.
int32_t CalibrationWidthNeeded(int32_t lengthMm, double mmPerDevicePixel);
// Millimetres per device pixel for a screen reporting dotsPerInch (per
// device pixel): the report when it is plausible (50 to 600), else the
// fallback density.
double EstimatedMmPerDevicePixel(double dotsPerInch);

// The one density the program assumes for a screen that reports nothing
// plausible: the desktop's usual 96 dots per inch of logical pixels.
inline constexpr double kFallbackDotsPerInch = 96.0;
double FallbackMmPerDevicePixel(double devicePixelRatio);

// Millimetres per device pixel from the physical size a screen reports, or
// nothing when the report is not plausible: a side of 0, sides whose ratio
// is not the pixels' (within 5 %), or a density outside 50 to 600 dpi.
std::optional<double> EstimateFromScreen(double widthMm, double heightMm, int32_t widthPx,
                                         int32_t heightPx);

// A calibration's density that is most likely a mis-click: outside 50 to
// 600 dpi, or more than 25 % away from the screen's own plausible report.
inline constexpr double kMinPlausibleDpi = 50.0;
inline constexpr double kMaxPlausibleDpi = 600.0;
inline constexpr double kReportTolerance = 0.25;
bool CalibrationLooksWrong(double mmPerDevicePixel, std::optional<double> reportedMmPerDevicePixel);

// The settings file's name, section and keys.
inline constexpr const char* kSettingsFileName = "Kovalindra.ini";
inline constexpr const char* kSettingsSection = "Kovalindra";

// Reads the five keys (at most 7 characters of each count). A missing file
// or key, a value that is not a number, a length outside 1 to 1000000 or a
// coordinate beyond a million pixels reads as the default; two points that
// coincide read as the default points.
DisplayCalibration ReadCalibration(const std::string& path);
// Writes the five keys; false with a reason when the file was not written.
bool WriteCalibration(const std::string& path, const DisplayCalibration& c, std::string& reason);

// A screen as the toolkit names it, with its size in device pixels and
// the physical size it reports (0 when it reports none).
struct ScreenId {
  std::string name, manufacturer, model;
  int32_t widthPx = 0, heightPx = 0;
  int32_t widthMm = 0, heightMm = 0;
  bool operator==(const ScreenId&) const = default;
};

// A calibration belongs to the monitor it was made on. The five keys of
// section "Kovalindra" (all the other platform's program reads) describe
// the monitor named by the key "monitor" beside them, as
// "<monitor key>@WIDTHxHEIGHT" with the resolution they were made at; every
// other monitor keeps its calibration in section "Kovalindra.screens" as
// "<monitor key>.pt1x" ... "<monitor key>.sizedisplay" and
// "<monitor key>.pixels" = "WIDTHxHEIGHT". The points are device pixels, so
// a calibration made at another resolution is not used.
inline constexpr const char* kScreensSection = "Kovalindra.screens";
inline constexpr const char* kMonitorKeyName = "monitor";
inline constexpr size_t kMaxScreenKeyPart = 24;
// "name.manufacturer.model.WxHmm" (the reported size in millimetres), each
// text part cut to kMaxScreenKeyPart bytes and every byte outside
// [A-Za-z0-9._-] made '_', so that any name the toolkit gives is a valid,
// readable settings key.
std::string MonitorKey(const ScreenId& screen);
// "name.manufacturer.model.WIDTHxHEIGHT": how entries were keyed before
// they named the monitor apart from its resolution (read, never written).
std::string ScreenKey(const ScreenId& screen);
// An entry of section "Kovalindra.screens" under `key`: none when it is
// missing or any of its five values is not valid.
std::optional<DisplayCalibration> ReadScreenCalibration(const std::string& path,
                                                        const std::string& key);
// Writes the entry's five values and the resolution they count in.
bool WriteScreenCalibration(const std::string& path, const std::string& monitorKey,
                            const DisplayCalibration& c, int32_t widthPx, int32_t heightPx,
                            std::string& reason);

// Whether the monitor on show has a calibration of its own.
enum class CalibrationState { Calibrated, Uncalibrated, ResolutionChanged };

// Every monitor's calibration as read from the settings file and made in
// this run (kept even when the file could not be written).
class CalibrationStore {
 public:
  CalibrationStore(std::string readPath, std::string writePath);
  // Five keys that name no monitor describe the primary one: the first
  // time the primary is known they are tied to it, in the file too.
  void SetPrimary(const ScreenId& primary);
  // The calibration of `screen`: the defaults unless it is Calibrated.
  DisplayCalibration For(const ScreenId& screen, CalibrationState& state);
  // Stores a calibration made on `screen`: in the five keys when they are
  // this monitor's, or when they are nobody's and it is the primary;
  // otherwise in the monitor's own entry. False with a reason when the file
  // was not written (the calibration is used all the same).
  bool Save(const ScreenId& screen, bool primary, const DisplayCalibration& c,
            std::string& reason);
  // The monitor the five keys describe ("" while none).
  const std::string& FiveKeysMonitor() const { return fiveKeysMonitor_; }

 private:
  struct Entry {
    DisplayCalibration calibration;
    int32_t widthPx = 0, heightPx = 0;  // 0: valid at any resolution (an entry keyed by it)
  };
  std::optional<Entry> EntryFor(const ScreenId& screen);

  std::string readPath_, writePath_;
  DisplayCalibration fiveKeys_;
  std::string fiveKeysMonitor_;
  int32_t fiveKeysWidth_ = 0, fiveKeysHeight_ = 0;
  bool primarySeen_ = false;
  // Entries as read or made in this run (none: no entry).
  std::map<std::string, std::optional<Entry>> entries_;
};

// Where the settings live: the program's folder when a file can be written
// there, otherwise the user's configuration folder (created when needed).
using kv::IsFolderWritable;
using kv::SettingsLocation;
std::string SettingsWritePath(const SettingsLocation& where);
// The file to read: the one writes go to when it exists, else the program
// folder's (a preset shipped with an installed program).
std::string SettingsReadPath(const SettingsLocation& where);

}  // namespace kv::viewer
