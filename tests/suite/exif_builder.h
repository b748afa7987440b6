/*
 * exif_builder.h - synthetic inputs for the Exif suites: APP1 payloads with
 * chosen IFD0, Exif IFD and IFD1 entries in either byte order, blobs (JPEG
 * or pixel data) that entries point at, and whole JPEG streams carrying
 * such segments, so that the marker readers run inside libjpeg's own header
 * parser.
 */
#ifndef MOVRELA_TEST_EXIF_BUILDER_H
#define MOVRELA_TEST_EXIF_BUILDER_H

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "attach.h"
#include "base/jpeg.h"
#include "jpeg_maker.h"

namespace exifbuild {

typedef std::vector<uint8_t> Bytes;

enum Directory { kIfd0 = 0, kExifIfd = 1, kIfd1 = 2 };

class ExifBuilder {
 public:
  explicit ExifBuilder(bool bigEndian = true) : big_(bigEndian) {}

  /* ASCII text with its terminating zero (count = length + 1). */
  ExifBuilder &ascii(Directory d, uint16_t tag, const std::string &text) {
    Bytes data(text.begin(), text.end());
    data.push_back(0);
    return add(d, tag, 2, static_cast<uint32_t>(data.size()), data);
  }
  /* Bytes of a given type with an explicit count (no terminator added). */
  ExifBuilder &bytes(Directory d, uint16_t tag, uint16_t type, const Bytes &data, uint32_t count) {
    return add(d, tag, type, count, data);
  }
  ExifBuilder &shorts(Directory d, uint16_t tag, const std::vector<uint16_t> &values,
                      uint16_t type = 3) {
    Bytes data;
    for (uint16_t v : values) put16(&data, v);
    return add(d, tag, type, static_cast<uint32_t>(values.size()), data);
  }
  ExifBuilder &longs(Directory d, uint16_t tag, const std::vector<uint32_t> &values) {
    Bytes data;
    for (uint32_t v : values) put32(&data, v);
    return add(d, tag, 4, static_cast<uint32_t>(values.size()), data);
  }
  /* Numerator/denominator pairs, stored as 32-bit numbers (type 5 or 10). */
  ExifBuilder &rationals(Directory d, uint16_t tag,
                         const std::vector<std::pair<int64_t, int64_t>> &values,
                         uint16_t type = 5) {
    Bytes data;
    for (const auto &v : values) {
      put32(&data, static_cast<uint32_t>(v.first));
      put32(&data, static_cast<uint32_t>(v.second));
    }
    return add(d, tag, type, static_cast<uint32_t>(values.size()), data);
  }
  /* An entry whose 4-byte value field is `value`, written as a 32-bit
   * number in the builder's order: offsets that point anywhere. */
  ExifBuilder &raw(Directory d, uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    Entry e{tag, type, count, {}, kFixed, value, 0};
    dirs_[d].push_back(e);
    return *this;
  }
  /* An entry whose value is the offset of blob `blob` plus `delta`. */
  ExifBuilder &pointer(Directory d, uint16_t tag, int blob, int32_t delta = 0, uint16_t type = 4,
                       uint32_t count = 1) {
    Entry e{tag, type, count, {}, kBlob, static_cast<uint32_t>(delta), blob};
    dirs_[d].push_back(e);
    return *this;
  }
  /* Data placed after the directories, in the order added. */
  int blob(const Bytes &data) {
    blobs_.push_back(data);
    return static_cast<int>(blobs_.size()) - 1;
  }
  /* Writes IFD1 even without entries, or leaves it out although it has
   * some (IFD0's next offset is then 0). */
  ExifBuilder &writeIfd1(bool write) {
    ifd1Mode_ = write ? 1 : -1;
    return *this;
  }

  /* "Exif" 0 0 and the TIFF structure. */
  Bytes payload() const {
    Layout layout = arrange();
    Bytes tiff(layout.end, 0);
    put16At(&tiff, 0, big_ ? 0x4D4D : 0x4949);
    put16At(&tiff, 2, 42);
    put32At(&tiff, 4, layout.dir[kIfd0]);
    for (int d = 0; d < 3; ++d) {
      if (!layout.present[d]) continue;
      std::vector<Entry> entries = withExifPointer(d);
      uint32_t at = layout.dir[d];
      put16At(&tiff, at, static_cast<uint16_t>(entries.size()));
      for (size_t i = 0; i < entries.size(); ++i) {
        const Entry &e = entries[i];
        uint32_t pos = at + 2 + 12 * static_cast<uint32_t>(i);
        put16At(&tiff, pos, e.tag);
        put16At(&tiff, pos + 2, e.type);
        put32At(&tiff, pos + 4, e.count);
        if (e.kind == kFixed) {
          put32At(&tiff, pos + 8, e.value);
        } else if (e.kind == kBlob) {
          put32At(&tiff, pos + 8, layout.blob[static_cast<size_t>(e.blob)] + e.value);
        } else if (e.kind == kExifPointer) {
          put32At(&tiff, pos + 8, layout.dir[kExifIfd]);
        } else if (e.data.size() <= 4) {
          std::memcpy(&tiff[pos + 8], e.data.data(), e.data.size());
        } else {
          uint32_t where = layout.data[d][i];
          put32At(&tiff, pos + 8, where);
          std::memcpy(&tiff[where], e.data.data(), e.data.size());
        }
      }
      uint32_t next = (d == kIfd0 && layout.present[kIfd1]) ? layout.dir[kIfd1] : 0;
      put32At(&tiff, at + 2 + 12 * static_cast<uint32_t>(entries.size()), next);
    }
    for (size_t b = 0; b < blobs_.size(); ++b)
      std::memcpy(&tiff[layout.blob[b]], blobs_[b].data(), blobs_[b].size());
    Bytes out(6 + tiff.size(), 0);
    std::memcpy(out.data(), "Exif", 4);
    std::memcpy(out.data() + 6, tiff.data(), tiff.size());
    return out;
  }

  /* Offset of a blob from the TIFF header. */
  uint32_t blobOffset(int blob) const { return arrange().blob[static_cast<size_t>(blob)]; }

 private:
  enum Kind { kData, kFixed, kBlob, kExifPointer };
  struct Entry {
    uint16_t tag, type;
    uint32_t count;
    Bytes data;
    Kind kind;
    uint32_t value; /* kFixed: the field; kBlob: delta */
    int blob;
  };
  struct Layout {
    bool present[3];
    uint32_t dir[3];
    std::vector<uint32_t> data[3];
    std::vector<uint32_t> blob;
    uint32_t end;
  };

  ExifBuilder &add(Directory d, uint16_t tag, uint16_t type, uint32_t count, const Bytes &data) {
    dirs_[d].push_back(Entry{tag, type, count, data, kData, 0, 0});
    return *this;
  }

  /* IFD0 gets the Exif IFD pointer (tag 0x8769) last when the Exif IFD has
   * entries. */
  std::vector<Entry> withExifPointer(int d) const {
    std::vector<Entry> entries = dirs_[d];
    if (d == kIfd0 && !dirs_[kExifIfd].empty())
      entries.push_back(Entry{0x8769, 4, 1, {}, kExifPointer, 0, 0});
    return entries;
  }

  Layout arrange() const {
    Layout l{};
    l.present[kIfd0] = true;
    l.present[kExifIfd] = !dirs_[kExifIfd].empty();
    l.present[kIfd1] = ifd1Mode_ > 0 || (ifd1Mode_ == 0 && !dirs_[kIfd1].empty());
    uint32_t at = 8;
    for (int d = 0; d < 3; ++d) {
      if (!l.present[d]) continue;
      std::vector<Entry> entries = withExifPointer(d);
      l.dir[d] = at;
      at += 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
      for (const Entry &e : entries) {
        if (e.kind == kData && e.data.size() > 4) {
          l.data[d].push_back(at);
          at += static_cast<uint32_t>((e.data.size() + 1) & ~size_t{1});
        } else {
          l.data[d].push_back(0);
        }
      }
    }
    for (const Bytes &b : blobs_) {
      l.blob.push_back(at);
      at += static_cast<uint32_t>(b.size());
    }
    l.end = at;
    return l;
  }

  void put16(Bytes *out, uint16_t v) const {
    if (big_) { out->push_back(static_cast<uint8_t>(v >> 8)); out->push_back(static_cast<uint8_t>(v)); }
    else { out->push_back(static_cast<uint8_t>(v)); out->push_back(static_cast<uint8_t>(v >> 8)); }
  }
  void put32(Bytes *out, uint32_t v) const {
    if (big_) { put16(out, static_cast<uint16_t>(v >> 16)); put16(out, static_cast<uint16_t>(v)); }
    else { put16(out, static_cast<uint16_t>(v)); put16(out, static_cast<uint16_t>(v >> 16)); }
  }
  void put16At(Bytes *out, uint32_t at, uint16_t v) const {
    Bytes b;
    put16(&b, v);
    std::memcpy(&(*out)[at], b.data(), 2);
  }
  void put32At(Bytes *out, uint32_t at, uint32_t v) const {
    Bytes b;
    put32(&b, v);
    std::memcpy(&(*out)[at], b.data(), 4);
  }

  bool big_;
  std::vector<Entry> dirs_[3];
  std::vector<Bytes> blobs_;
  int ifd1Mode_ = 0;
};

/* A marker segment: FF `marker`, the length field (payload + 2, or the
 * given value), the payload. */
inline Bytes segment(uint8_t marker, const Bytes &payload, int lengthField = -1) {
  uint32_t length = lengthField < 0 ? static_cast<uint32_t>(payload.size() + 2)
                                    : static_cast<uint32_t>(lengthField);
  Bytes out = {0xFF, marker, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

inline Bytes app1(const Bytes &payload) { return segment(0xE1, payload); }

/* An Exif payload written entry by entry, big-endian, IFD0 at 8 unless
 * moved: for structures the builder cannot express (repeated, cyclic or
 * far-out pointers, counts beyond the bytes). */
struct RawTiff {
  Bytes bytes{'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8};
  void u16(uint32_t v) {
    bytes.push_back(static_cast<uint8_t>(v >> 8));
    bytes.push_back(static_cast<uint8_t>(v));
  }
  void u32(uint32_t v) { u16(v >> 16), u16(v & 0xFFFF); }
  void entry(uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    u16(tag), u16(type), u32(count), u32(value);
  }
  void ifd0At(uint32_t offset) {
    for (int i = 0; i < 4; ++i) bytes[10 + i] = static_cast<uint8_t>(offset >> (24 - 8 * i));
  }
};

/* IFD0 with `a` pointers to one Exif IFD, whose `b` maker-note entries all
 * point to one Nikon maker note of `m` white-balance entries (value 2). */
inline RawTiff RepeatedPointers(uint32_t a, uint32_t b, uint32_t m) {
  RawTiff t;
  const uint32_t exif = 8 + 2 + 12 * a + 4, note = exif + 2 + 12 * b + 4;
  t.u16(a);
  for (uint32_t i = 0; i < a; ++i) t.entry(0x8769, 4, 1, exif);
  t.u32(0);
  t.u16(b);
  for (uint32_t i = 0; i < b; ++i) t.entry(0x927C, 7, 10 + 12 * m, note);
  t.u32(0);
  for (char c : std::string("Nikon")) t.bytes.push_back(static_cast<uint8_t>(c));
  t.bytes.insert(t.bytes.end(), {0, 2, 0});
  t.u16(m);
  for (uint32_t i = 0; i < m; ++i) t.entry(7, 3, 1, 2u << 16);
  return t;
}
inline Bytes comment(const std::string &text) {
  return segment(0xFE, Bytes(text.begin(), text.end()));
}

/* A small valid baseline JPEG (16 x 8 grey, quality 75), made once with
 * libjpeg. */
inline const Bytes &tinyJpeg() {
  static Bytes jpeg;
  if (!jpeg.empty()) return jpeg;
  /* Our memory layer under libjpeg takes the module state's AllocationLock. */
  suite::AttachOnce();
  maker::Picture grey;
  grey.width = 16;
  grey.height = 8;
  grey.input = JCS_GRAYSCALE;
  grey.quality = 75;
  jpeg = maker::Encode(grey);
  return jpeg;
}

/* tinyJpeg with `segments` inserted right after its start-of-image marker. */
inline Bytes jpegWith(const std::vector<Bytes> &segments) {
  return maker::WithSegments(tinyJpeg(), segments);
}

}  // namespace exifbuild

#endif /* MOVRELA_TEST_EXIF_BUILDER_H */
