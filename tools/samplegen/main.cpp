// Writes the bundled sample photo and its ".kvi" file into a folder, or,
// with --program-files, the authoring tool's default logo and settings.
#include <iostream>
#include <optional>
#include <span>
#include <string>

#include "foundation/core/image/jpeg_encode.h"
#include "foundation/core/util/encoding.h"
#include "foundation/core/util/file_io.h"
#include "kvi/actual_size_file.h"
#include "tools/samplegen/scene.h"

namespace {

// "kovafunc.dll" (the logo's raw pixels) and "kovasand.ini" (its size and
// the neutral address it links to until the author sets their own).
int WriteProgramFiles(const std::string& folder) {
  const std::vector<uint8_t> logo = kv::sample::DrawLogo();
  const std::string ini = std::string("[link]\n") + kv::kDefaultLogoLink + "\n[cx]\n" + std::to_string(kv::sample::kLogoWidth) +
                          "\n[cy]\n" + std::to_string(kv::sample::kLogoHeight) + "\nEOF\n";
  std::string reason;
  if (!kv::WriteFileAtomically(folder + "/kovafunc.dll", logo, reason) ||
      !kv::WriteFileAtomically(
          folder + "/kovasand.ini",
          std::span(reinterpret_cast<const uint8_t*>(ini.data()), ini.size()), reason)) {
    std::cerr << "kv_samplegen: " << reason << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--program-files") return WriteProgramFiles(argv[2]);
  if (argc != 2) {
    std::cerr << "usage: kv_samplegen FOLDER | kv_samplegen --program-files FOLDER\n";
    return 2;
  }
  const std::string folder = argv[1];
  const std::vector<uint8_t> jpeg = kv::EncodeJpeg(kv::sample::DrawPhoto(), 92);
  if (jpeg.empty()) {
    std::cerr << "kv_samplegen: the photo could not be encoded\n";
    return 1;
  }
  std::string reason;
  if (!kv::WriteFileAtomically(folder + "/sample.jpg", jpeg, reason) ||
      !kv::WriteActualSizeFile(folder + "/sample.kvi", kv::sample::MakeFile(jpeg), reason)) {
    std::cerr << "kv_samplegen: " << reason << "\n";
    return 1;
  }
  return 0;
}
