#include "kvi/actual_size_file.h"

#include "foundation/core/util/bytes.h"
#include "foundation/core/util/file_io.h"
#include "foundation/core/util/memory.h"

namespace kv {
namespace {

constexpr size_t kReservedBytes = 64;
constexpr size_t kRecordBytes = 28;

class Writer {
 public:
  explicit Writer(size_t reserve) { out_.reserve(reserve); }
  void Int(int32_t v) {
    uint8_t b[4];
    PutInt32LE(uint32_t(v), b);
    out_.insert(out_.end(), b, b + 4);
  }
  void Bytes(const uint8_t* p, size_t n) { out_.insert(out_.end(), p, p + n); }
  void Text(const std::string& s) {
    Int(int32_t(s.size()));
    Bytes(reinterpret_cast<const uint8_t*>(s.data()), s.size());
  }
  void Zeros(size_t n) { out_.insert(out_.end(), n, 0); }
  std::vector<uint8_t> Take() { return std::move(out_); }

 private:
  std::vector<uint8_t> out_;
};

// Reads fields front to back; every read is checked against the bytes that
// remain, so no count can make it read past the buffer or allocate more than
// the file holds.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  size_t Remaining() const { return bytes_.size() - pos_; }
  size_t Offset() const { return pos_; }

  bool Int(int32_t& v) {
    if (Remaining() < 4) return false;
    v = GetInt32LE(bytes_.data() + pos_);
    pos_ += 4;
    return true;
  }
  // A count followed by that many bytes. The reasons name the field, never
  // the value read: a broken header's numbers mean nothing to the user.
  bool Block(const char* what, std::vector<uint8_t>* out, std::string& reason) {
    int32_t n = 0;
    if (!Int(n)) return Short(what, reason);
    if (n < 0) {
      reason = std::string(what) + "の長さが負の値です";
      return false;
    }
    if (size_t(n) > Remaining()) {
      reason = std::string(what) + "の長さがﾌｧｲﾙの終わりを越えています (ﾌｧｲﾙが途中で切れています)";
      return false;
    }
    if (out) {
      out->reserve(size_t(n));
      AdviseHugePages(out->data(), size_t(n));
      out->assign(bytes_.data() + pos_, bytes_.data() + pos_ + n);
    }
    pos_ += size_t(n);
    return true;
  }
  bool Text(const char* what, std::string& out, std::string& reason) {
    const size_t start = pos_ + 4;
    if (!Block(what, nullptr, reason)) return false;
    out.assign(reinterpret_cast<const char*>(bytes_.data() + start), pos_ - start);
    return true;
  }
  bool Skip(size_t n) {
    if (Remaining() < n) return false;
    pos_ += n;
    return true;
  }
  bool Short(const char* what, std::string& reason) const {
    reason = std::string(what) + "の前でﾌｧｲﾙが終わっています";
    return false;
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

}  // namespace

std::vector<uint8_t> SerializeActualSizeFile(const ActualSizeFile& f) {
  Writer w(101 + 12 + f.magic.size() + f.formatVersion.size() + f.jpegName.size() +
           kRecordBytes * f.registrations.size() + f.jpegBytes.size() + f.link.size() +
           f.logoBytes.size());
  w.Text(f.magic);
  w.Text(f.formatVersion);
  w.Text(f.jpegName);
  w.Int(int32_t(f.registrations.size()));
  for (const SizeRegistration& r : f.registrations) {
    // The file holds the centre before the length.
    w.Int(r.startX);
    w.Int(r.startY);
    w.Int(r.endX);
    w.Int(r.endY);
    w.Int(r.centerX);
    w.Int(r.centerY);
    w.Int(r.lengthMm);
  }
  w.Zeros(kReservedBytes);
  w.Int(int32_t(f.jpegBytes.size()));
  w.Bytes(f.jpegBytes.data(), f.jpegBytes.size());
  w.Text(f.link);
  w.Int(f.logoWidth);
  w.Int(f.logoHeight);
  w.Int(int32_t(f.logoBytes.size()));
  w.Bytes(f.logoBytes.data(), f.logoBytes.size());
  return w.Take();
}

bool ParseActualSizeFile(std::span<const uint8_t> bytes, ActualSizeFile& out, std::string& reason) {
  Reader r(bytes);
  ActualSizeFile f;
  // The magic text and the version are not compared: files whose structure is
  // sound are shown whatever they say there.
  if (!r.Text("識別文字列", f.magic, reason)) return false;
  if (!r.Text("形式の版", f.formatVersion, reason)) return false;
  if (!r.Text("写真のﾌｧｲﾙ名", f.jpegName, reason)) return false;

  int32_t count = 0;
  if (!r.Int(count)) return r.Short("登録数", reason);
  if (count < 0) {
    reason = "登録数が負の値です";
    return false;
  }
  if (size_t(count) > r.Remaining() / kRecordBytes) {
    reason = "登録数がﾌｧｲﾙに収まる数を超えています";
    return false;
  }
  f.registrations.reserve(size_t(count));
  for (int32_t i = 0; i < count; ++i) {
    SizeRegistration s;
    r.Int(s.startX);
    r.Int(s.startY);
    r.Int(s.endX);
    r.Int(s.endY);
    r.Int(s.centerX);
    r.Int(s.centerY);
    r.Int(s.lengthMm);
    f.registrations.push_back(s);
  }
  if (!r.Skip(kReservedBytes)) return r.Short("予約領域", reason);
  if (!r.Block("写真", &f.jpegBytes, reason)) return false;
  if (!r.Text("ﾘﾝｸ先", f.link, reason)) return false;
  if (!r.Int(f.logoWidth)) return r.Short("ﾛｺﾞの幅", reason);
  if (!r.Int(f.logoHeight)) return r.Short("ﾛｺﾞの高さ", reason);
  if (!r.Block("ﾛｺﾞ", &f.logoBytes, reason)) return false;
  if (r.Remaining() != 0) {
    reason = "ﾛｺﾞの後ろに余分なﾃﾞｰﾀがあります";
    return false;
  }
  // A logo whose length disagrees with its sides is not a reason to refuse
  // the photo; it is simply not shown (HasUsableLogo).
  out = std::move(f);
  return true;
}

bool ReadActualSizeFile(const std::string& path, ActualSizeFile& out, std::string& reason,
                        const std::atomic<bool>* stop) {
  std::vector<uint8_t> bytes;
  // Every count is a signed 32-bit value, so a sound file is well under
  // 3 x 2 GiB plus its head; a larger file cannot be one.
  if (!ReadWholeFile(path, bytes, reason, uint64_t(1) << 32, stop)) return false;
  return ParseActualSizeFile(bytes, out, reason);
}

bool WriteActualSizeFile(const std::string& path, const ActualSizeFile& file, std::string& reason) {
  constexpr size_t kMaxField = 0x7fffffff;
  if (file.jpegName.size() > kMaxField || file.link.size() > kMaxField ||
      file.jpegBytes.size() > kMaxField || file.logoBytes.size() > kMaxField ||
      file.registrations.size() > kMaxField / kRecordBytes) {
    reason = "kviﾌｧｲﾙに収まらない大きさの項目があります";
    return false;
  }
  const std::vector<uint8_t> bytes = SerializeActualSizeFile(file);
  return WriteFileAtomically(path, bytes, reason);
}

bool HasUsableLogo(const ActualSizeFile& file) {
  if (file.logoWidth <= 0 || file.logoHeight <= 0) return false;
  const uint64_t need = uint64_t(file.logoWidth) * uint64_t(file.logoHeight) * 3u;
  return need == file.logoBytes.size();
}

}  // namespace kv
