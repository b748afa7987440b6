/*
 * camera_files.h - J6I and PMP files of our own for the tests: a JPEG
 * stream (made by jpeg_maker.h or read from the corpus) behind a
 * camera header with the fields the plug-in reads. Unused header bytes hold
 * a filler that is neither 0 nor 0xFF, so that a read of the wrong byte or
 * past a field shows. Fields that do not fit a short header are left out.
 *
 *   camera::Data jpeg = maker::Encode(picture);
 *   camera::PmpHeader pmp;
 *   pmp.orientation = 3;
 *   camera::Data file = camera::MakePmp(jpeg, pmp);
 *   camera::TempFile onDisk(file);   // onDisk.path, removed at scope end
 */
#ifndef MOVRELA_TEST_CAMERA_FILES_H
#define MOVRELA_TEST_CAMERA_FILES_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace camera {

typedef std::vector<uint8_t> Data;

constexpr uint8_t kFiller = 0x5A;

struct J6iHeader {
  uint32_t distance = 128; /* header bytes before the stream, stored at 0x38 */
  uint8_t date[6] = {0x97, 0x05, 0x21, 0x13, 0x45, 0x00}; /* BCD, at 0x44 */
};

struct PmpHeader {
  bool longSignature = false; /* 10 12 01 00 (332 or 844) instead of 10 12 00 09 (124) */
  uint32_t distance = 124;    /* header bytes before the stream, stored at 8 */
  uint16_t check1 = 1;        /* at 0x16; 0 suppresses the text */
  uint16_t check2 = 1;        /* at 0x18; 0 suppresses the text */
  uint8_t orientation = 0;    /* at 0x1B: 1, 2, 3 turn the picture */
  uint8_t quality = 0x33;     /* at 0x1D */
  uint16_t width = 640;       /* at 0x28 */
  uint16_t height = 480;      /* at 0x2A */
  std::string comment;        /* at 0x34: up to 18 bytes, zero-terminated when shorter */
  uint8_t shot[6] = {97, 5, 21, 13, 45, 0};  /* at 0x4C, binary */
  uint8_t edited[6] = {97, 5, 22, 8, 0, 0};  /* at 0x54 */
  uint8_t flash = 1;          /* at 0x76 */
};

/* Writes `bytes` at `at` when they fit in the header. */
inline void Put(Data &header, size_t at, const void *bytes, size_t n) {
  const uint8_t *p = static_cast<const uint8_t *>(bytes);
  for (size_t i = 0; i < n && at + i < header.size(); ++i) header[at + i] = p[i];
}

inline void PutBigEndian(Data &header, size_t at, uint32_t value, size_t n) {
  uint8_t bytes[4];
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * (n - 1 - i)));
  Put(header, at, bytes, n);
}

/* Writes the header's fields over the first bytes of `header`, those that
 * fit: a header of its own, or foreign data of any size. */
inline void PutJ6iHeader(Data &header, const J6iHeader &h) {
  const uint8_t signature[7] = {0x80, 0x01, 'D', 'S', 'C', 'I', 'M'};
  Put(header, 0, signature, sizeof signature);
  PutBigEndian(header, 0x38, h.distance, 4);
  Put(header, 0x44, h.date, 6);
}

inline void PutPmpHeader(Data &header, const PmpHeader &h) {
  const uint8_t shortSignature[4] = {0x10, 0x12, 0x00, 0x09};
  const uint8_t longSignature[4] = {0x10, 0x12, 0x01, 0x00};
  Put(header, 0, h.longSignature ? longSignature : shortSignature, 4);
  PutBigEndian(header, 8, h.distance, 4);
  PutBigEndian(header, 0x16, h.check1, 2);
  PutBigEndian(header, 0x18, h.check2, 2);
  Put(header, 0x1B, &h.orientation, 1);
  Put(header, 0x1D, &h.quality, 1);
  PutBigEndian(header, 0x28, h.width, 2);
  PutBigEndian(header, 0x2A, h.height, 2);
  std::string comment = h.comment.substr(0, 18);
  Put(header, 0x34, comment.c_str(), comment.size() < 18 ? comment.size() + 1 : 18);
  Put(header, 0x4C, h.shot, 6);
  Put(header, 0x54, h.edited, 6);
  Put(header, 0x76, &h.flash, 1);
}

inline Data J6iHeaderBytes(const J6iHeader &h) {
  Data header(h.distance, kFiller);
  PutJ6iHeader(header, h);
  return header;
}

inline Data PmpHeaderBytes(const PmpHeader &h) {
  Data header(h.distance, kFiller);
  PutPmpHeader(header, h);
  return header;
}

inline Data Wrap(Data header, const Data &jpeg) {
  header.insert(header.end(), jpeg.begin(), jpeg.end());
  return header;
}

inline Data MakeJ6i(const Data &jpeg, const J6iHeader &h = J6iHeader()) {
  return Wrap(J6iHeaderBytes(h), jpeg);
}

inline Data MakePmp(const Data &jpeg, const PmpHeader &h = PmpHeader()) {
  return Wrap(PmpHeaderBytes(h), jpeg);
}

/* The whole file, or an empty result when it cannot be read. */
inline Data ReadWholeFile(const std::string &path) {
  Data data;
  FILE *f = std::fopen(path.c_str(), "rb");
  if (!f) return data;
  uint8_t chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) data.insert(data.end(), chunk, chunk + n);
  std::fclose(f);
  return data;
}

/* A temporary file holding `data`, removed at the end of the scope. `ok`
 * says whether it was written. */
struct TempFile {
  std::string path;
  bool ok = false;
  explicit TempFile(const Data &data) {
#ifdef _WIN32
    char folder[MAX_PATH], name[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    GetTempFileNameA(folder, "cam", 0, name);
    path = name;
#else
    static int serial = 0;
    const char *tmp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
    path = std::string(tmp) + "/movrela-camera-" + std::to_string(getpid()) + "-" +
           std::to_string(++serial);
#endif
    FILE *f = std::fopen(path.c_str(), "wb");
    ok = f && (data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size());
    if (f) ok = std::fclose(f) == 0 && ok;
  }
  ~TempFile() { std::remove(path.c_str()); }
  TempFile(const TempFile &) = delete;
  TempFile &operator=(const TempFile &) = delete;
};

}  // namespace camera

#endif /* MOVRELA_TEST_CAMERA_FILES_H */
