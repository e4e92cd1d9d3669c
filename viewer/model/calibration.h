#pragma once
// The monitor calibration: two points of the view's client area (device
// pixels) and the real length between them in millimetres, kept in the
// settings file "Kovalindra.ini".
#include <cstdint>
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
// desktop's usual 96.
double EstimatedMmPerDevicePixel(double dotsPerInch);

// Millimetres per device pixel from the physical size a screen reports, or
// nothing when the report is not plausible: a side of 0, sides whose ratio
// is not the pixels' (within 5 %), or a density outside 50 to 600 dpi.
std::optional<double> EstimateFromScreen(double widthMm, double heightMm, int32_t widthPx,
                                         int32_t heightPx);

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

// A screen as the toolkit names it, with its size in device pixels.
struct ScreenId {
  std::string name, manufacturer, model;
  int32_t widthPx = 0, heightPx = 0;
  bool operator==(const ScreenId&) const = default;
};

// Screens other than the primary keep their calibrations in a section of
// their own, as keys "<screen key>.pt1x" ... "<screen key>.sizedisplay":
// the five keys of section "Kovalindra" stay the primary screen's, which is
// all the other platform's program reads. The size is part of the key
// because the points are in device pixels of that resolution.
inline constexpr const char* kScreensSection = "Kovalindra.screens";
inline constexpr size_t kMaxScreenKeyPart = 24;
// "name.manufacturer.model.WIDTHxHEIGHT", each text part cut to
// kMaxScreenKeyPart bytes and every byte outside [A-Za-z0-9._-] made '_',
// so that any name the toolkit gives is a valid, readable settings key.
std::string ScreenKey(const ScreenId& screen);
// A screen's own calibration: none when its entry is missing or any of its
// five values is not valid (then the primary's keys apply).
std::optional<DisplayCalibration> ReadScreenCalibration(const std::string& path,
                                                        const std::string& screenKey);
// Writes the screen's five entries only; false with a reason on failure.
bool WriteScreenCalibration(const std::string& path, const std::string& screenKey,
                            const DisplayCalibration& c, std::string& reason);

// Where the settings live: the program's folder when a file can be written
// there, otherwise the user's configuration folder (created when needed).
using kv::IsFolderWritable;
using kv::SettingsLocation;
std::string SettingsWritePath(const SettingsLocation& where);
// The file to read: the one writes go to when it exists, else the program
// folder's (a preset shipped with an installed program).
std::string SettingsReadPath(const SettingsLocation& where);

}  // namespace kv::viewer
