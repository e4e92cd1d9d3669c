#pragma once
// The ".kvi" file: a flat sequence of length-prefixed fields, 32-bit
// little-endian integers, texts as CP932 bytes.
#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "kvi/size_registration.h"

namespace kv {

// The link a new installation publishes until its author sets their own:
// a web address that means nothing private on a reader's machine.
inline constexpr const char* kDefaultLogoLink = "https://www.example.com/";

struct ActualSizeFile {
  std::string magic = "Kovalindra";
  std::string formatVersion = "1.0";
  std::string jpegName;          // CP932, file name without folder
  RegistrationList registrations;
  std::vector<uint8_t> jpegBytes;
  std::string link;              // CP932
  int32_t logoWidth = 0;
  int32_t logoHeight = 0;
  std::vector<uint8_t> logoBytes;  // RGB, top-down, no padding
};

// The exact bytes of the file, in the order of the layout.
std::vector<uint8_t> SerializeActualSizeFile(const ActualSizeFile& file);

// Parses into `out` only when the whole buffer is a sound file; otherwise
// returns false with a one-line English reason naming what is wrong and
// leaves `out` untouched.
bool ParseActualSizeFile(std::span<const uint8_t> bytes, ActualSizeFile& out, std::string& reason);

// Reads a whole file (refusing one larger than the format can hold) and parses it.
// `stop` ends the read between chunks (false, with kStoppedReason).
bool ReadActualSizeFile(const std::string& path, ActualSizeFile& out, std::string& reason,
                        const std::atomic<bool>* stop = nullptr);

// Writes to a temporary file beside `path`, then renames it over `path`;
// a failed write leaves any existing file as it was.
bool WriteActualSizeFile(const std::string& path, const ActualSizeFile& file, std::string& reason);

// True when the logo block is a usable picture: both sides above 0 and
// exactly width x height x 3 bytes.
bool HasUsableLogo(const ActualSizeFile& file);

}  // namespace kv
