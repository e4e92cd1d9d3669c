#include "tools/kvitool/kvitool.h"

#include <algorithm>
#include <initializer_list>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <ostream>

#include "authoring/model/batch_publish.h"
#include "authoring/model/marker_detect.h"
#include "authoring/model/project_file.h"
#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/image/orientation.h"
#include "foundation/core/image/photo_import.h"
#include "foundation/core/util/encoding.h"
#include "foundation/core/util/file_io.h"
#include "kvi/actual_size_file.h"
#include "kvi/upright.h"
#include "print/print_layout.h"
#include "web/publish/web_folder.h"
#ifdef KV_KVITOOL_PDF
#include "print/marker_sheet.h"
#include "print/print_page.h"
#endif

namespace kv {
namespace {

constexpr char kUsage[] =
    "usage: kvitool info FILE\n"
    "       kvitool check FILE\n"
    "       kvitool extract FILE OUT\n"
    "       kvitool make --photo PHOTO [--reg SX,SY,EX,EY,MM]... [--marker MM] [--link TEXT]\n"
    "                    [--logo-rgb FILE --logo-size WxH] -o OUT\n"
    "               (PHOTO: JPEG, HEIC/HEIF or PNG; --jpeg is the same as --photo;\n"
    "                --marker: a registration per printed marker of MM millimetres)\n"
    "       kvitool marker-sheet OUT.pdf [--size MM] [--page A4|Letter]\n"
    "               (markers of MM millimetres, 50 by default, to print at real size)\n"
    "       kvitool batch FOLDER (--marker MM | --project P.kvp) -o DIR [--overwrite]\n"
    "                    [--link TEXT] [--logo-rgb FILE --logo-size WxH]\n"
    "               (every photo of FOLDER to DIR/NAME.kvi, one line each; exit 1 if any failed)\n"
    "       kvitool pdf FILE OUT.pdf [--registration N] [--page A4|A3|Letter]\n"
    "               (the photo at registration N's real size, N from 1; A4 by default)\n"
    "       kvitool web FILE DIR [--replace]\n"
    "               (a folder for a web host or a disk: the page for browsers and FILE)\n";

int Usage(std::ostream& err, const std::string& why) {
  err << "kvitool: " << why << "\n" << kUsage;
  return kToolUsage;
}

// Options that take one value each, given at most once; flags; and the plain
// arguments in their order. Empty when all is well, else what to tell.
struct ValueOption {
  const char* name;
  std::optional<std::string>* value;
};
struct FlagOption {
  const char* name;
  bool* set;
};
std::string ReadOptions(const std::vector<std::string>& args, std::initializer_list<ValueOption> options,
                        std::initializer_list<FlagOption> flags, std::vector<std::string>& plain) {
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    const auto o = std::find_if(options.begin(), options.end(),
                                [&](const ValueOption& x) { return a == x.name; });
    if (o != options.end()) {
      if (i + 1 >= args.size()) return a + " needs a value";
      if (*o->value) return a + " is given twice";
      *o->value = args[++i];
      continue;
    }
    const auto f =
        std::find_if(flags.begin(), flags.end(), [&](const FlagOption& x) { return a == x.name; });
    if (f != flags.end()) {
      *f->set = true;
    } else if (a.size() > 1 && a[0] == '-') {
      return "unknown option " + a;
    } else {
      plain.push_back(a);
    }
  }
  return {};
}

int Refuse(std::ostream& err, const std::string& subject, const std::string& why) {
  err << "kvitool: " << subject << ": " << why << "\n";
  return kToolRefused;
}

// A whole decimal 32-bit value, nothing before or after it.
std::optional<int32_t> ParseInt(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int32_t v = 0;
  const char* end = text.data() + text.size();
  const auto [p, ec] = std::from_chars(text.data(), end, v);
  if (ec != std::errc() || p != end || text.empty()) return std::nullopt;
  return v;
}

std::vector<std::string_view> Split(std::string_view text, char sep) {
  std::vector<std::string_view> parts;
  size_t from = 0;
  for (;;) {
    const size_t at = text.find(sep, from);
    parts.push_back(text.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
    if (at == std::string_view::npos) return parts;
    from = at + 1;
  }
}

bool LoadKvi(const std::string& path, ActualSizeFile& file, std::ostream& err) {
  std::string reason;
  if (ReadActualSizeFile(path, file, reason)) return true;
  Refuse(err, path, reason);
  return false;
}

// The texts of a file as UTF-8; a text that is not valid Shift-JIS is
// refused rather than shown with guessed characters.
struct Utf8Texts {
  std::string magic, formatVersion, jpegName, link;
};

bool ToUtf8(const ActualSizeFile& f, Utf8Texts& t, std::string& reason) {
  const struct {
    const char* what;
    const std::string& from;
    std::string& to;
  } fields[] = {{"magic text", f.magic, t.magic},
                {"format version", f.formatVersion, t.formatVersion},
                {"photo name", f.jpegName, t.jpegName},
                {"link", f.link, t.link}};
  for (const auto& field : fields) {
    std::optional<std::string> u = Cp932ToUtf8(field.from);
    if (!u) {
      reason = std::string("the ") + field.what + " is not valid Shift-JIS text";
      return false;
    }
    field.to = std::move(*u);
  }
  return true;
}

int Info(const std::string& path, std::ostream& out, std::ostream& err) {
  ActualSizeFile f;
  if (!LoadKvi(path, f, err)) return kToolRefused;
  Utf8Texts t;
  std::string reason;
  if (!ToUtf8(f, t, reason)) return Refuse(err, path, reason);
  out << "{\n"
      << "  \"magic\": " << JsonString(t.magic) << ",\n"
      << "  \"formatVersion\": " << JsonString(t.formatVersion) << ",\n"
      << "  \"jpegName\": " << JsonString(t.jpegName) << ",\n"
      << "  \"registrations\": [";
  for (size_t i = 0; i < f.registrations.size(); ++i) {
    const SizeRegistration& r = f.registrations[i];
    out << (i ? ",\n" : "\n") << "    {\"startX\": " << r.startX << ", \"startY\": " << r.startY
        << ", \"endX\": " << r.endX << ", \"endY\": " << r.endY << ", \"centerX\": " << r.centerX
        << ", \"centerY\": " << r.centerY << ", \"lengthMm\": " << r.lengthMm << "}";
  }
  out << (f.registrations.empty() ? "],\n" : "\n  ],\n")
      << "  \"jpegLength\": " << f.jpegBytes.size() << ",\n"
      << "  \"orientation\": " << ReadExifOrientation(f.jpegBytes.data(), f.jpegBytes.size())
      << ",\n"
      << "  \"link\": " << JsonString(t.link) << ",\n"
      << "  \"logoWidth\": " << f.logoWidth << ",\n"
      << "  \"logoHeight\": " << f.logoHeight << ",\n"
      << "  \"logoLength\": " << f.logoBytes.size() << "\n"
      << "}\n";
  return kToolOk;
}

int Check(const std::string& path, std::ostream& out, std::ostream& err) {
  ActualSizeFile f;
  if (!LoadKvi(path, f, err)) return kToolRefused;
  out << "layout: sound, " << f.registrations.size() << " registration"
      << (f.registrations.size() == 1 ? "" : "s") << ", " << f.jpegBytes.size()
      << " JPEG bytes\n";
  DibImage photo;
  std::string why;
  bool decodes = true;
  if (f.jpegBytes.empty()) {
    out << "jpeg: none embedded\n";
  } else if (DecodeJpegBuffer(f.jpegBytes.data(), f.jpegBytes.size(), photo, why) == 1) {
    out << "jpeg: decodes, " << photo.width << " x " << photo.height << "\n";
  } else {
    out << "jpeg: does not decode\n";
    decodes = false;
  }
  if (HasUsableLogo(f)) {
    out << "logo: " << f.logoWidth << " x " << f.logoHeight << "\n";
  } else {
    out << "logo: not shown (" << f.logoWidth << " x " << f.logoHeight << " with "
        << f.logoBytes.size() << " bytes)\n";
  }
  Utf8Texts t;
  std::string reason;
  if (!ToUtf8(f, t, reason)) out << "text: " << reason << "\n";
  // The viewer could not show this file's photo: the file is refused.
  if (!decodes) return Refuse(err, path, why);
  // A registration that can give no scale would leave the viewer with no
  // true size at that point. Files store them on the photo as stored, so
  // the decoded (unturned) size bounds them.
  size_t unusable = 0;
  for (size_t i = 0; i < f.registrations.size(); ++i) {
    const SizeRegistration& r = f.registrations[i];
    const char* what = nullptr;
    switch (FindRegistrationFault(r, photo.HasImage() ? photo.width : 0,
                                  photo.HasImage() ? photo.height : 0)) {
      case RegistrationFault::None: break;
      case RegistrationFault::NoLength: what = "length is not above 0 mm"; break;
      case RegistrationFault::SamePoints: what = "start and end are the same point"; break;
      case RegistrationFault::OutsidePhoto: what = "a point lies outside the photo"; break;
    }
    if (!what) continue;
    ++unusable;
    out << "registration " << i + 1 << ": unusable, " << what << "\n";
  }
  if (unusable > 0)
    return Refuse(err, path,
                  std::to_string(unusable) + " registration" + (unusable == 1 ? "" : "s") +
                      " can give no scale");
  return kToolOk;
}

int Extract(const std::string& path, const std::string& target, std::ostream& err) {
  ActualSizeFile f;
  if (!LoadKvi(path, f, err)) return kToolRefused;
  std::string reason;
  if (!WriteFileAtomically(target, f.jpegBytes, reason)) return Refuse(err, target, reason);
  return kToolOk;
}

// Messages meant for a message box break lines with '\r'; a shell line
// keeps them on one.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  return text;
}

// The markers are found on the photo as shown; the file keeps its
// registrations as stored.
bool AddMarkerRegistrations(ActualSizeFile& f, DibImage decoded, int32_t sizeMm, std::string& why) {
  const Orientation o = ShowUpright(f.jpegBytes).orientation;
  const PixelSize stored{decoded.width, decoded.height};
  if (!OrientImage(decoded, o)) {
    why = "not enough memory to turn the photo upright";
    return false;
  }
  authoring::MarkerDetector detector;
  const authoring::MarkerOutcome found =
      authoring::RegistrationsFromMarkers(detector.Detect(decoded), sizeMm);
  if (!found.Ok()) {
    why = OneLine(found.refusal);
    return false;
  }
  for (const SizeRegistration& r : RegistrationsToStored(found.registrations, o, stored))
    f.registrations.push_back(r);
  return true;
}

int Make(const std::vector<std::string>& args, std::ostream& err) {
  std::optional<std::string> photo, link, logoPath, logoSize, target, markerText;
  std::vector<std::string> regs;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::optional<std::string>& slot) {
      if (i + 1 >= args.size()) return Usage(err, a + " needs a value");
      if (slot) return Usage(err, a + " is given twice");
      slot = args[++i];
      return kToolOk;
    };
    int status = kToolOk;
    if (a == "--photo" || a == "--jpeg") {
      status = value(photo);
    } else if (a == "--marker") {
      status = value(markerText);
    } else if (a == "--link") {
      status = value(link);
    } else if (a == "--logo-rgb") {
      status = value(logoPath);
    } else if (a == "--logo-size") {
      status = value(logoSize);
    } else if (a == "-o") {
      status = value(target);
    } else if (a == "--reg") {
      if (i + 1 >= args.size()) return Usage(err, "--reg needs a value");
      regs.push_back(args[++i]);
    } else {
      return Usage(err, "unknown option " + a);
    }
    if (status != kToolOk) return status;
  }
  if (!photo) return Usage(err, "make needs --photo PHOTO");
  std::optional<int32_t> markerMm;
  if (markerText) {
    markerMm = ParseInt(*markerText);
    if (!markerMm || !authoring::CheckMarkerSize(*markerMm).empty())
      return Usage(err, "--marker " + *markerText + " is not a marker size in whole millimetres (" +
                            std::to_string(authoring::kMinMarkerMm) + " to " +
                            std::to_string(authoring::kMaxMarkerMm) + ")");
  }
  if (!target) return Usage(err, "make needs -o OUT");
  if (logoPath.has_value() != logoSize.has_value())
    return Usage(err, "--logo-rgb and --logo-size go together");

  ActualSizeFile f;
  for (const std::string& text : regs) {
    const std::vector<std::string_view> parts = Split(text, ',');
    int32_t v[5] = {};
    bool ok = parts.size() == 5;
    for (size_t k = 0; ok && k < 5; ++k) {
      const std::optional<int32_t> n = ParseInt(parts[k]);
      ok = n.has_value();
      if (ok) v[k] = *n;
    }
    if (!ok) return Usage(err, "--reg " + text + " is not five whole numbers SX,SY,EX,EY,MM");
    f.registrations.push_back(MakeRegistration(v[0], v[1], v[2], v[3], v[4]));
  }

  std::string reason;
  std::vector<uint8_t> original;
  if (!ReadWholeFile(*photo, original, reason, 0x7fffffff)) return Refuse(err, *photo, reason);
  if (original.empty()) return Refuse(err, *photo, "the photo file is empty");
  if (!PhotoToJpeg(std::move(original), f.jpegBytes, reason)) return Refuse(err, *photo, reason);
  DibImage decoded;
  if (DecodeJpegBuffer(f.jpegBytes.data(), f.jpegBytes.size(), decoded) != 1)
    return Refuse(err, *photo, "not a JPEG that decodes");
  if (markerMm) {
    std::string why;
    if (!AddMarkerRegistrations(f, std::move(decoded), *markerMm, why))
      return Refuse(err, *photo, why);
  }

  const std::string name = std::filesystem::path(*photo).filename().string();
  std::optional<std::string> cp932 = Utf8ToCp932(name);
  if (!cp932) return Refuse(err, *photo, "the file name cannot be written in Shift-JIS");
  f.jpegName = std::move(*cp932);
  if (link) {
    cp932 = Utf8ToCp932(*link);
    if (!cp932) return Refuse(err, "--link", "the text cannot be written in Shift-JIS");
    f.link = std::move(*cp932);
  }

  if (logoPath) {
    const std::vector<std::string_view> sides = Split(*logoSize, 'x');
    const std::optional<int32_t> w = sides.size() == 2 ? ParseInt(sides[0]) : std::nullopt;
    const std::optional<int32_t> h = sides.size() == 2 ? ParseInt(sides[1]) : std::nullopt;
    if (!w || !h || *w <= 0 || *h <= 0)
      return Usage(err, "--logo-size " + *logoSize + " is not WxH with both sides above 0");
    const uint64_t need = uint64_t(*w) * uint64_t(*h) * 3;
    if (need > 0x7fffffff) return Refuse(err, "--logo-size", "the logo is too large");
    if (!ReadWholeFile(*logoPath, f.logoBytes, reason, need + 1))
      return Refuse(err, *logoPath, reason);
    if (f.logoBytes.size() != need) {
      return Refuse(err, *logoPath,
                    "holds " + std::to_string(f.logoBytes.size()) + " bytes; a " +
                        std::to_string(*w) + " x " + std::to_string(*h) +
                        " RGB logo needs " + std::to_string(need));
    }
    f.logoWidth = *w;
    f.logoHeight = *h;
  }

  if (!WriteActualSizeFile(*target, f, reason)) return Refuse(err, *target, reason);
  return kToolOk;
}

#ifdef KV_KVITOOL_PDF
const char* PaperName(print::PaperSize paper) {
  switch (paper) {
    case print::PaperSize::kA3: return "A3";
    case print::PaperSize::kLetter: return "Letter";
    case print::PaperSize::kA4: break;
  }
  return "A4";
}
#endif

int Pdf(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> paths;
  std::optional<std::string> regText, pageText;
  const std::string wrong =
      ReadOptions(args, {{"--registration", &regText}, {"--page", &pageText}}, {}, paths);
  if (!wrong.empty()) return Usage(err, wrong);
  if (paths.size() != 2) return Usage(err, "pdf takes FILE and OUT.pdf");
  int32_t number = 1;
  if (regText) {
    const std::optional<int32_t> n = ParseInt(*regText);
    if (!n || *n < 1) return Usage(err, "--registration " + *regText + " is not a number from 1");
    number = *n;
  }
  print::PaperSize paper = print::PaperSize::kA4;
  if (pageText) {
    const std::optional<print::PaperSize> p = print::PaperSizeByName(*pageText);
    if (!p) return Usage(err, "--page " + *pageText + " is not A4, A3 or Letter");
    paper = *p;
  }

  const std::string& path = paths[0];
  const std::string& target = paths[1];
  ActualSizeFile f;
  if (!LoadKvi(path, f, err)) return kToolRefused;
  if (f.registrations.empty())
    return Refuse(err, path, print::RefusalText(print::Refusal::kNoRegistration));
  if (size_t(number) > f.registrations.size()) {
    return Refuse(err, path,
                  "there is no registration " + std::to_string(number) + "; the file has " +
                      std::to_string(f.registrations.size()));
  }
#ifdef KV_KVITOOL_PDF
  const int32_t index = number - 1;
  const print::RealSizeRequest request{
      print::Unowned(f), std::filesystem::path(path).filename().string(), index, {}, {}};
  const print::PrintOutcome r = print::WriteRealSizePdf(request, paper, target);
  if (r.refusal != print::Refusal::kNone) return Refuse(err, path, print::RefusalText(r.refusal));
  if (!r.failure.empty()) return Refuse(err, target, r.failure);
  const ImageRect& c = r.layout.crop;
  out << target << ": " << PaperName(paper) << (r.landscape ? " landscape" : " portrait")
      << ", registration " << number << " of " << f.registrations.size() << " ("
      << f.registrations[size_t(index)].lengthMm << " mm), photo pixels " << c.x << "," << c.y
      << " " << c.width << " x " << c.height << " of " << r.photoWidth << " x " << r.photoHeight
      << "\n";
  return kToolOk;
#else
  (void)out;
  (void)paper;
  return Refuse(err, target, "this kvitool was built without Qt and cannot write PDF");
#endif
}

// The folder a browser shows FILE from at real size; files already there
// are replaced only when asked to.
int Web(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const bool replace = args.size() == 4 && args[3] == "--replace";
  if (args.size() != 3 && !replace) return Usage(err, "web takes FILE DIR [--replace]");
  const std::string& path = args[1];
  const std::string& folder = args[2];
  std::vector<uint8_t> bytes;
  std::string reason;
  if (!ReadWholeFile(path, bytes, reason, uint64_t(1) << 32)) return Refuse(err, path, reason);
  const std::string name = std::filesystem::path(path).filename().string();
  if (!web::PublishWebFolder(folder, name, bytes, replace, reason)) {
    if (!replace && !web::ExistingFiles(folder, name).empty())
      reason += " (--replace replaces them)";
    return Refuse(err, folder, reason);
  }
  out << folder << "/index.html: opens " << name << "\n";
  return kToolOk;
}

int MarkerSheet(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> paths;
  std::optional<std::string> sizeText, pageText;
  const std::string wrong = ReadOptions(args, {{"--size", &sizeText}, {"--page", &pageText}}, {}, paths);
  if (!wrong.empty()) return Usage(err, wrong);
  if (paths.size() != 1) return Usage(err, "marker-sheet takes OUT.pdf");
  int32_t size = authoring::kDefaultMarkerMm;
  if (sizeText) {
    const std::optional<int32_t> n = ParseInt(*sizeText);
    if (!n || !authoring::CheckMarkerSize(*n).empty())
      return Usage(err, "--size " + *sizeText + " is not a marker size in whole millimetres (" +
                            std::to_string(authoring::kMinMarkerMm) + " to " +
                            std::to_string(authoring::kMaxMarkerMm) + ")");
    size = *n;
  }
  print::PaperSize paper = print::PaperSize::kA4;
  if (pageText) {
    const std::optional<print::PaperSize> p = print::PaperSizeByName(*pageText);
    if (!p || *p == print::PaperSize::kA3) return Usage(err, "--page " + *pageText + " is not A4 or Letter");
    paper = *p;
  }
#ifdef KV_KVITOOL_PDF
  const print::MarkerSheetOutcome r = print::WriteMarkerSheetPdf(size, paper, paths[0]);
  if (!r.Done()) return Refuse(err, paths[0], r.failure);
  out << paths[0] << ": " << r.markers << " marker" << (r.markers == 1 ? "" : "s") << " of "
      << size << " mm (" << authoring::kMarkerFamily << ")\n";
  return kToolOk;
#else
  (void)out;
  (void)paper;
  (void)size;
  return Refuse(err, paths[0], "this kvitool was built without Qt and cannot write PDF");
#endif
}


// The registrations of a project's photo as shown, and that photo's shown
// size: what a fixed rig gives every photo of the folder.
bool ProjectRegistrations(const std::string& project, authoring::BatchRequest::Fixed& fixed,
                          std::string& why) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(project, bytes, why, uint64_t(16) << 20)) return false;
  std::string parseWhy;
  const std::optional<authoring::ProjectContent> parsed = authoring::ParseProjectFile(bytes, parseWhy);
  if (!parsed) {
    why = "not a sound Kovasand project (.kvp): " + parseWhy;
    return false;
  }
  const authoring::ProjectContent& content = *parsed;
  if (content.registrations.empty()) {
    why = "the project has no registration";
    return false;
  }
  const std::optional<std::string> ref = Cp932ToUtf8(content.jpegReference);
  if (!ref || ref->empty()) {
    why = "the project names no photo";
    return false;
  }
  // A project reached through a link names its photo beside its target.
  const std::string folder = std::filesystem::path(ResolveLinks(project)).parent_path().string();
  const std::string photo =
      authoring::ResolvePhotoReference(*ref, folder.empty() ? std::string() : folder + "/");
  std::vector<uint8_t> original, jpeg;
  if (!ReadWholeFile(photo, original, why, 0x7fffffff)) {
    why = photo + ": " + why;
    return false;
  }
  if (!PhotoToJpeg(std::move(original), jpeg, why)) {
    why = photo + ": " + why;
    return false;
  }
  const std::optional<PixelSize> stored = ReadJpegSize(jpeg.data(), jpeg.size());
  if (!stored) {
    why = photo + ": no JPEG size";
    return false;
  }
  for (size_t i = 0; i < content.registrations.size(); ++i)
    if (FindRegistrationFault(content.registrations[i], stored->width, stored->height) !=
        RegistrationFault::None) {
      why = "registration " + std::to_string(i + 1) + " can never give a scale";
      return false;
    }
  const UprightPhoto shown = ShowUpright(jpeg, content.registrations);
  fixed.upright = shown.registrations;
  fixed.uprightSize = shown.shown;
  return true;
}

int Batch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> folders;
  std::optional<std::string> markerText, project, target, link, logoPath, logoSize;
  bool overwrite = false;
  const std::string wrong = ReadOptions(args,
                                        {{"--marker", &markerText},
                                         {"--project", &project},
                                         {"-o", &target},
                                         {"--link", &link},
                                         {"--logo-rgb", &logoPath},
                                         {"--logo-size", &logoSize}},
                                        {{"--overwrite", &overwrite}}, folders);
  if (!wrong.empty()) return Usage(err, wrong);
  if (folders.size() != 1) return Usage(err, "batch takes one FOLDER");
  if (markerText.has_value() == project.has_value())
    return Usage(err, "batch needs either --marker MM or --project P.kvp");
  if (!target) return Usage(err, "batch needs -o DIR");
  if (logoPath.has_value() != logoSize.has_value())
    return Usage(err, "--logo-rgb and --logo-size go together");

  authoring::BatchRequest request;
  request.targetFolder = *target;
  request.overwrite = overwrite;
  std::string why;
  if (markerText) {
    const std::optional<int32_t> mm = ParseInt(*markerText);
    if (!mm || !authoring::CheckMarkerSize(*mm).empty())
      return Usage(err, "--marker " + *markerText + " is not a marker size in whole millimetres (" +
                            std::to_string(authoring::kMinMarkerMm) + " to " +
                            std::to_string(authoring::kMaxMarkerMm) + ")");
    request.markerMm = *mm;
  } else {
    authoring::BatchRequest::Fixed fixed;
    if (!ProjectRegistrations(*project, fixed, why)) return Refuse(err, *project, why);
    request.fixed = std::move(fixed);
  }
  if (link) {
    const std::optional<std::string> cp932 = Utf8ToCp932(*link);
    if (!cp932) return Refuse(err, "--link", "the text cannot be written in Shift-JIS");
    request.link = *cp932;
  }
  if (logoPath) {
    const std::vector<std::string_view> sides = Split(*logoSize, 'x');
    const std::optional<int32_t> w = sides.size() == 2 ? ParseInt(sides[0]) : std::nullopt;
    const std::optional<int32_t> h = sides.size() == 2 ? ParseInt(sides[1]) : std::nullopt;
    if (!w || !h || *w <= 0 || *h <= 0 || uint64_t(*w) * uint64_t(*h) * 3 > 0x7fffffff)
      return Usage(err, "--logo-size " + *logoSize + " is not WxH with both sides above 0");
    const uint64_t need = uint64_t(*w) * uint64_t(*h) * 3;
    if (!ReadWholeFile(*logoPath, request.logoBytes, why, need + 1)) return Refuse(err, *logoPath, why);
    if (request.logoBytes.size() != need)
      return Refuse(err, *logoPath, "holds " + std::to_string(request.logoBytes.size()) +
                                        " bytes; the logo needs " + std::to_string(need));
    request.logoWidth = *w;
    request.logoHeight = *h;
  }

  std::error_code ec;
  if (!std::filesystem::is_directory(folders[0], ec)) return Refuse(err, folders[0], "not a folder");
  const std::vector<std::string> photos = authoring::ListPhotos(folders[0]);
  if (photos.empty()) return Refuse(err, folders[0], "holds no photo (JPEG, HEIC/HEIF, PNG)");
  const std::vector<std::string> existing = authoring::ExistingTargets(photos, *target);
  if (!existing.empty() && !overwrite)
    return Refuse(err, *target,
                  std::to_string(existing.size()) + " of the files exist already (" +
                      std::filesystem::path(existing[0]).filename().string() +
                      (existing.size() > 1 ? ", ..." : "") + "); --overwrite replaces them");
  const std::vector<authoring::BatchItem> items = authoring::PublishFolder(
      request, photos, nullptr, [&](size_t, size_t, const authoring::BatchItem& item) {
        if (item.done)
          out << "ok      " << item.photo << " -> " << item.target << " (" << item.registrations
              << " registration" << (item.registrations == 1 ? "" : "s") << ")\n";
        else
          out << "failed  " << item.photo << ": " << OneLine(item.reason) << "\n";
        out.flush();
      });
  const size_t failed = size_t(std::count_if(items.begin(), items.end(),
                                             [](const authoring::BatchItem& i) { return !i.done; }));
  out << items.size() - failed << " of " << items.size() << " photos published";
  if (failed) out << ", " << failed << " failed";
  out << "\n";
  return failed ? kToolRefused : kToolOk;
}

}  // namespace

std::string JsonString(const std::string& utf8) {
  std::string s = "\"";
  for (const char c : utf8) {
    const unsigned char u = static_cast<unsigned char>(c);
    switch (c) {
      case '"': s += "\\\""; break;
      case '\\': s += "\\\\"; break;
      case '\n': s += "\\n"; break;
      case '\r': s += "\\r"; break;
      case '\t': s += "\\t"; break;
      default:
        if (u < 0x20 || u == 0x7f) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", u);
          s += buf;
        } else {
          s += c;
        }
    }
  }
  return s + "\"";
}

int RunKvitool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return Usage(err, "no command");
  const std::string& cmd = args[0];
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    out << kUsage;
    return kToolOk;
  }
  if (cmd == "info" || cmd == "check") {
    if (args.size() != 2) return Usage(err, cmd + " takes one FILE");
    return cmd == "info" ? Info(args[1], out, err) : Check(args[1], out, err);
  }
  if (cmd == "extract") {
    if (args.size() != 3) return Usage(err, "extract takes FILE OUT");
    return Extract(args[1], args[2], err);
  }
  if (cmd == "make") return Make(args, err);
  if (cmd == "pdf") return Pdf(args, out, err);
  if (cmd == "web") return Web(args, out, err);
  if (cmd == "marker-sheet") return MarkerSheet(args, out, err);
  if (cmd == "batch") return Batch(args, out, err);
  return Usage(err, "unknown command " + cmd);
}

}  // namespace kv
