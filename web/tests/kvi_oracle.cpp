// The desktop reader's verdict on files, as JSON, for the page's tests to
// compare with the page's own reader: every field of an accepted file (texts
// as their bytes and as text), the reason of a refused one, the turn the
// photo is shown with and the registrations as shown.
//   kv_web_oracle kvi FILE...     one JSON object per line
//   kv_web_oracle jpeg FILE...    orientation and size of bare JPEGs
//   kv_web_oracle cp932           every one- and two-byte code as text or null
//   kv_web_oracle orient          registrations of a 7 x 5 photo in each turn
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "foundation/core/image/orientation.h"
#include "foundation/core/util/encoding.h"
#include "foundation/core/util/file_io.h"
#include "kvi/actual_size_file.h"

namespace {

std::string Json(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += char(c);
    }
  }
  return out + "\"";
}

std::string Hex(const uint8_t* p, size_t n) {
  static const char* d = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out += d[p[i] >> 4];
    out += d[p[i] & 15];
  }
  return out;
}

std::string Text(const std::string& cp932) {
  const std::optional<std::string> u = kv::Cp932ToUtf8(cp932);
  return "{\"hex\":" + Json(Hex(reinterpret_cast<const uint8_t*>(cp932.data()), cp932.size())) +
         ",\"text\":" + (u ? Json(*u) : "null") + "}";
}

std::string Registrations(const kv::RegistrationList& list) {
  std::string out = "[";
  for (const kv::SizeRegistration& r : list) {
    if (out.size() > 1) out += ",";
    out += "[" + std::to_string(r.startX) + "," + std::to_string(r.startY) + "," +
           std::to_string(r.endX) + "," + std::to_string(r.endY) + "," +
           std::to_string(r.lengthMm) + "," + std::to_string(r.centerX) + "," +
           std::to_string(r.centerY) + "]";
  }
  return out + "]";
}

std::string Photo(const std::vector<uint8_t>& jpeg) {
  const std::optional<kv::PixelSize> size = kv::ReadJpegSize(jpeg.data(), jpeg.size());
  return "\"exif\":" + std::to_string(kv::ReadExifOrientation(jpeg.data(), jpeg.size())) +
         ",\"orientation\":" + std::to_string(kv::ShownOrientation(jpeg.data(), jpeg.size())) +
         ",\"size\":" +
         (size ? "[" + std::to_string(size->width) + "," + std::to_string(size->height) + "]"
               : std::string("null"));
}

int Kvi(int argc, char** argv) {
  for (int i = 2; i < argc; ++i) {
    std::vector<uint8_t> bytes;
    std::string reason;
    if (!kv::ReadWholeFile(argv[i], bytes, reason, uint64_t(1) << 32)) {
      std::cerr << argv[i] << ": " << reason << "\n";
      return 1;
    }
    kv::ActualSizeFile f;
    if (!kv::ParseActualSizeFile(bytes, f, reason)) {
      std::cout << "{\"ok\":false,\"reason\":" << Json(reason) << "}\n";
      continue;
    }
    const kv::Orientation o = kv::ShownOrientation(f.jpegBytes.data(), f.jpegBytes.size());
    const std::optional<kv::PixelSize> size =
        kv::ReadJpegSize(f.jpegBytes.data(), f.jpegBytes.size());
    std::cout << "{\"ok\":true,\"magic\":" << Text(f.magic)
              << ",\"formatVersion\":" << Text(f.formatVersion)
              << ",\"jpegName\":" << Text(f.jpegName) << ",\"link\":" << Text(f.link)
              << ",\"registrations\":" << Registrations(f.registrations)
              << ",\"shown\":"
              << Registrations(size ? kv::RegistrationsToShown(f.registrations, o, *size)
                                    : f.registrations)
              << ",\"jpegLength\":" << f.jpegBytes.size() << "," << Photo(f.jpegBytes)
              << ",\"logoWidth\":" << f.logoWidth << ",\"logoHeight\":" << f.logoHeight
              << ",\"logoLength\":" << f.logoBytes.size()
              << ",\"usableLogo\":" << (kv::HasUsableLogo(f) ? "true" : "false") << "}\n";
  }
  return 0;
}

int Jpeg(int argc, char** argv) {
  for (int i = 2; i < argc; ++i) {
    std::vector<uint8_t> bytes;
    std::string reason;
    if (!kv::ReadWholeFile(argv[i], bytes, reason, uint64_t(1) << 32)) {
      std::cerr << argv[i] << ": " << reason << "\n";
      return 1;
    }
    std::cout << "{" << Photo(bytes) << "}\n";
  }
  return 0;
}

int Cp932() {
  std::cout << "[";
  bool first = true;
  auto one = [&](unsigned code, const std::string& bytes) {
    const std::optional<std::string> u = kv::Cp932ToUtf8(bytes);
    std::cout << (first ? "" : ",") << "[" << code << "," << (u ? Json(*u) : "null") << "]";
    first = false;
  };
  for (unsigned b = 0; b < 256; ++b) one(b, std::string(1, char(b)));
  for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
    if (lead > 0x9F && lead < 0xE0) continue;
    for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      one(lead << 8 | trail, std::string{char(lead), char(trail)});
    }
  }
  std::cout << "]\n";
  return 0;
}

int Orient() {
  const kv::PixelSize stored{7, 5};
  const kv::RegistrationList list = {kv::MakeRegistration(0, 0, 6, 4, 10),
                                     kv::MakeRegistration(1, 3, 5, 0, 25),
                                     kv::MakeRegistration(6, 1, 2, 2, -3)};
  std::cout << "[";
  for (kv::Orientation o = 1; o <= 8; ++o) {
    std::cout << (o > 1 ? "," : "") << "{\"orientation\":" << o
              << ",\"stored\":" << Registrations(list)
              << ",\"shown\":" << Registrations(kv::RegistrationsToShown(list, o, stored)) << "}";
  }
  std::cout << "]\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "kvi") return Kvi(argc, argv);
  if (mode == "jpeg") return Jpeg(argc, argv);
  if (mode == "cp932") return Cp932();
  if (mode == "orient") return Orient();
  std::cerr << "usage: kv_web_oracle kvi|jpeg FILE... | cp932 | orient\n";
  return 2;
}
