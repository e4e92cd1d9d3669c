#pragma once
// A folder ready to upload to any static web host or to open from disk: the
// viewer page, its scripts and one ".kvi" file that the page opens at fit.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kv::web {

// One file of the page, by its path inside the folder ("js/kvi.js").
struct PageFile {
  const char* path;
  const uint8_t* data;
  size_t size;
};
// The page's files as they were when the program was built.
std::span<const PageFile> PageFiles();

// Every name a folder for kviName ("photo.kvi") gets, page files first.
// The ".kvi" is there for web hosts and links; "<name>.js" holds the same
// bytes for a folder opened from disk, where a page may read no file itself.
std::vector<std::string> PublishedNames(const std::string& kviName);

// Those of PublishedNames that are already in the folder.
std::vector<std::string> ExistingFiles(const std::string& folder, const std::string& kviName);

// Writes the folder (made if missing) for the given ".kvi" bytes. Refuses,
// writing nothing, a file that is not a sound ".kvi" with a photo, a name
// that is not a plain ".kvi" file name, and, unless replace, a folder that
// already holds any of PublishedNames. Each file is written beside its
// target and renamed, so a failure leaves earlier files as they were.
bool PublishWebFolder(const std::string& folder, const std::string& kviName,
                      std::span<const uint8_t> kvi, bool replace, std::string& reason);

}  // namespace kv::web
