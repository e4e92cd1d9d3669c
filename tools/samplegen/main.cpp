// Writes the bundled sample photo and its ".kvi" file into a folder.
#include <iostream>
#include <string>

#include "foundation/core/image/jpeg_encode.h"
#include "foundation/core/util/file_io.h"
#include "kvi/actual_size_file.h"
#include "tools/samplegen/scene.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: kv_samplegen FOLDER\n";
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
