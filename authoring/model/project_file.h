#pragma once
// The ".kvp" project file and the authoring tool's settings file: short
// line-oriented CP932 texts. Writers end every line with a line feed;
// readers accept line feed or carriage return plus line feed and ignore
// lines they do not know. A project is read strictly: a file cut short or
// holding values no program wrote is refused, never half taken.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kvi/size_registration.h"

namespace kv::authoring {

// What a project file holds. The reference is the photo's path relative to
// the project's folder, CP932 bytes as in the file; empty means no photo.
struct ProjectContent {
  std::string jpegReference;
  RegistrationList registrations;
  // The photo's size as shown (upright), so that a moved photo can be
  // recognised; 0 x 0 unknown. Written as "[SIZE]", width, height, which
  // the other platform's reader passes over as lines it does not know.
  int32_t photoWidth = 0;
  int32_t photoHeight = 0;
};

// The file's bytes: header, count, reference, one block per registration
// (centre before length), "EOF".
std::string FormatProjectFile(const ProjectContent& content);

// Tags may come in any order; a later "[JPEG]" replaces the reference;
// value lines are read whole (the other platform's writer never makes them
// longer than its paths). Refused (nullopt, with the reason in Japanese,
// naming the block, field and line): no tag at all, a missing "[COUNT]" or
// one that disagrees with the "[DATA]" blocks, a tag without its value
// lines, a value that is not a whole number in its field's range, no "EOF".
std::optional<ProjectContent> ParseProjectFile(std::span<const uint8_t> bytes,
                                               std::string& reason);

// The photo's reference as stored: relative to the project's folder, with
// "../" for a photo outside it; empty for no photo. Paths are UTF-8 with '/'
// separators; projectFolder ends with '/'.
std::string MakePhotoReference(const std::string& jpegPath, const std::string& projectFolder);

// The photo's full path from a stored reference (UTF-8): '\\' from the other
// platform's files reads as a separator, "." and ".." are resolved; an empty
// reference, or a drive-letter one without a file name, gives an empty path
// (no photo).
std::string ResolvePhotoReference(const std::string& referenceUtf8, const std::string& projectFolder);

// The folder of a UTF-8 path with '/' separators, ending with '/' (empty
// for a bare name), and the name after its last '/'.
std::string FolderOf(const std::string& path);
std::string FileNameOf(const std::string& path);

// "kovasand.ini": the logo's size and its link. `tags` counts the sections
// met; the file is accepted only with exactly three.
struct KovasandSettings {
  int32_t cx = 0;
  int32_t cy = 0;
  std::string link;  // CP932
  int tags = 0;
};
KovasandSettings ParseSettingsFile(std::span<const uint8_t> bytes);

// Splits at line feeds, dropping one carriage return before each; a last
// line without its line feed counts.
std::vector<std::string_view> SplitLines(std::string_view text);

}  // namespace kv::authoring
