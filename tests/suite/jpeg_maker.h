/*
 * jpeg_maker.h - encodes small JPEG pictures in memory with libjpeg, for
 * tests that need a picture of a particular kind: grey, colour, CMYK or
 * YCCK, progressive, arithmetic-coded, with restart markers, with chosen
 * JFIF densities or none. Pixels come from a function of (x, y).
 */
#ifndef MOVRELA_TEST_JPEG_MAKER_H
#define MOVRELA_TEST_JPEG_MAKER_H

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <vector>

#include "base/jpeg.h"

namespace maker {

struct Picture {
  int width = 16;
  int height = 16;
  J_COLOR_SPACE input = JCS_RGB;        /* JCS_RGB, JCS_GRAYSCALE or JCS_CMYK */
  J_COLOR_SPACE stored = JCS_UNKNOWN;   /* e.g. JCS_YCCK for CMYK input; default: libjpeg's */
  bool adobe = true;                    /* an Adobe marker with CMYK or YCCK data */
  bool progressive = false;
  /* Progressive, one scan per coefficient and component: 64 scans for a
   * grey picture, 190 for a colour one (valid, but more than encoders write). */
  bool scanPerCoefficient = false;
  std::vector<jpeg_scan_info> scans; /* a scan script of its own, when not empty */
  bool arithmetic = false;
  int restartRows = 0;
  bool jfif = true;
  int densityUnit = 0;
  int xDensity = 1;
  int yDensity = 1;
  int quality = 95;
  /* Fills the samples of pixel (x, y): 1, 3 or 4 of them. */
  std::function<void(int x, int y, uint8_t *samples)> pixel = [](int x, int y, uint8_t *s) {
    s[0] = static_cast<uint8_t>(x * 16);
    s[1] = static_cast<uint8_t>(y * 16);
    s[2] = static_cast<uint8_t>(128);
    s[3] = 0;
  };
};

inline std::vector<uint8_t> Encode(const Picture &p) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char *buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(p.width);
  cinfo.image_height = static_cast<JDIMENSION>(p.height);
  cinfo.input_components = p.input == JCS_GRAYSCALE ? 1 : p.input == JCS_CMYK ? 4 : 3;
  cinfo.in_color_space = p.input;
  jpeg_set_defaults(&cinfo);
  if (p.stored != JCS_UNKNOWN) jpeg_set_colorspace(&cinfo, p.stored);
  if (!p.adobe) cinfo.write_Adobe_marker = FALSE;
  jpeg_set_quality(&cinfo, p.quality, TRUE);
  if (p.progressive) jpeg_simple_progression(&cinfo);
  std::vector<jpeg_scan_info> scans;
  if (p.scanPerCoefficient) {
    jpeg_scan_info dc = {cinfo.num_components, {0, 1, 2, 3}, 0, 0, 0, 0};
    scans.push_back(dc);
    for (int c = 0; c < cinfo.num_components; ++c)
      for (int k = 1; k < 64; ++k) scans.push_back(jpeg_scan_info{1, {c, 0, 0, 0}, k, k, 0, 0});
    cinfo.scan_info = scans.data();
    cinfo.num_scans = static_cast<int>(scans.size());
  }
  if (!p.scans.empty()) {
    cinfo.scan_info = p.scans.data();
    cinfo.num_scans = static_cast<int>(p.scans.size());
  }
  cinfo.arith_code = p.arithmetic ? TRUE : FALSE;
  cinfo.restart_in_rows = p.restartRows;
  cinfo.write_JFIF_header = p.jfif ? TRUE : FALSE;
  cinfo.density_unit = static_cast<UINT8>(p.densityUnit);
  cinfo.X_density = static_cast<UINT16>(p.xDensity);
  cinfo.Y_density = static_cast<UINT16>(p.yDensity);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<uint8_t> row(static_cast<size_t>(p.width) * cinfo.input_components);
  while (cinfo.next_scanline < cinfo.image_height) {
    int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < p.width; ++x) {
      uint8_t samples[4] = {0, 0, 0, 0};
      p.pixel(x, y, samples);
      for (int c = 0; c < cinfo.input_components; ++c)
        row[static_cast<size_t>(x) * cinfo.input_components + c] = samples[c];
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

/* `jpeg` recoded without loss (the same coefficients, so the same pixels)
 * into `scans`, or libjpeg's progression when there are none; the segments
 * between its SOI and its frame stay in front. */
inline std::vector<uint8_t> Recoded(const std::vector<uint8_t> &jpeg,
                                    const std::vector<jpeg_scan_info> &scans = {}) {
  jpeg_decompress_struct in;
  jpeg_compress_struct out;
  jpeg_error_mgr errors;
  in.err = out.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&in);
  jpeg_create_compress(&out);
  jpeg_mem_src(&in, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&in, TRUE);
  jvirt_barray_ptr *coefficients = jpeg_read_coefficients(&in);
  unsigned char *buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&out, &buffer, &size);
  jpeg_copy_critical_parameters(&in, &out);
  out.write_JFIF_header = FALSE;
  if (scans.empty()) jpeg_simple_progression(&out);
  else out.scan_info = scans.data(), out.num_scans = static_cast<int>(scans.size());
  jpeg_write_coefficients(&out, coefficients);
  jpeg_finish_compress(&out);
  jpeg_finish_decompress(&in);
  jpeg_destroy_compress(&out);
  jpeg_destroy_decompress(&in);
  size_t frame = 2;
  while (jpeg[frame + 1] < 0xC0 || jpeg[frame + 1] > 0xCF || jpeg[frame + 1] == 0xC4 ||
         jpeg[frame + 1] == 0xC8 || jpeg[frame + 1] == 0xCC)
    frame += 2 + (static_cast<size_t>(jpeg[frame + 2]) << 8 | jpeg[frame + 3]);
  std::vector<uint8_t> recoded(buffer, buffer + size);
  std::free(buffer);
  recoded.insert(recoded.begin() + 2, jpeg.begin() + 2, jpeg.begin() + static_cast<long>(frame));
  return recoded;
}

/* A valid progression of `total` (64 to 127) scans for a grey picture: DC,
 * then each AC coefficient alone, the first total - 64 of them at half
 * precision and refined after. */
inline std::vector<jpeg_scan_info> GreyScans(int total) {
  std::vector<jpeg_scan_info> scans = {{1, {0}, 0, 0, 0, 0}};
  for (int k = 1; k < 64; ++k) scans.push_back({1, {0}, k, k, 0, k <= total - 64 ? 1 : 0});
  for (int k = 1; k <= total - 64; ++k) scans.push_back({1, {0}, k, k, 1, 0});
  return scans;
}

/* Where each scan's entropy-coded data ends, scan by scan. */
inline std::vector<size_t> ScanEnds(const std::vector<uint8_t> &jpeg) {
  std::vector<size_t> ends;
  size_t i = 2;
  while (i + 4 <= jpeg.size() && jpeg[i + 1] != 0xD9) {
    const size_t length = static_cast<size_t>(jpeg[i + 2]) << 8 | jpeg[i + 3];
    const bool scan = jpeg[i + 1] == 0xDA;
    i += 2 + length;
    if (!scan) continue;
    for (; i + 1 < jpeg.size(); ++i) {
      size_t j = i + 1;
      while (jpeg[i] == 0xFF && j < jpeg.size() && jpeg[j] == 0xFF) ++j;
      if (jpeg[i] == 0xFF && j < jpeg.size() && jpeg[j] != 0 && (jpeg[j] < 0xD0 || jpeg[j] > 0xD7)) break;
    }
    ends.push_back(i);
  }
  return ends;
}

/* The stream with scans first .. first + count - 1 (from 1) repeated
 * `times` more times right after them: each scan's bytes run from the end
 * of the previous scan's data (the tables defined between included); the
 * first scan's from its own header. libjpeg's encoder writes no such stream. */
inline std::vector<uint8_t> RepeatScans(const std::vector<uint8_t> &jpeg, int first, int count,
                                        int times) {
  const std::vector<size_t> ends = ScanEnds(jpeg);
  size_t from = first > 1 ? ends[static_cast<size_t>(first) - 2] : ends[0];
  if (first == 1)
    while (jpeg[from] != 0xFF || jpeg[from + 1] != 0xDA) --from;
  const long to = static_cast<long>(ends[static_cast<size_t>(first + count) - 2]);
  std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + to);
  for (int t = 0; t < times; ++t)
    out.insert(out.end(), jpeg.begin() + static_cast<long>(from), jpeg.begin() + to);
  out.insert(out.end(), jpeg.begin() + to, jpeg.end());
  return out;
}

/* `jpeg` with `bytes` inserted at `at`. */
inline std::vector<uint8_t> Inserted(std::vector<uint8_t> jpeg, size_t at,
                                     const std::vector<uint8_t> &bytes) {
  jpeg.insert(jpeg.begin() + static_cast<long>(at), bytes.begin(), bytes.end());
  return jpeg;
}

/* `jpeg` with `segments` placed right after its start-of-image marker. */
inline std::vector<uint8_t> WithSegments(const std::vector<uint8_t> &jpeg,
                                         const std::vector<std::vector<uint8_t>> &segments) {
  std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
  for (const auto &s : segments) out.insert(out.end(), s.begin(), s.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

/* Where the first restart marker of scan `scan` (from 1) lies. */
inline size_t FirstRestart(const std::vector<uint8_t> &jpeg, int scan) {
  size_t i = scan > 1 ? ScanEnds(jpeg)[static_cast<size_t>(scan) - 2] : 0;
  while (jpeg[i] != 0xFF || jpeg[i + 1] != 0xDA) ++i;
  while (jpeg[i] != 0xFF || jpeg[i + 1] < 0xD0 || jpeg[i + 1] > 0xD7) ++i;
  return i;
}

/* Scan 2 of `jpeg` (with restarts), with the tables before it, `copies`
 * times, hidden in scan 1 as the "body" of marker FF 05 at its first
 * restart; with `depth` > 1 the last copy hides the next block the same way. libjpeg's restart resync passes
 * over such a marker and reads every scan in it. */
inline std::vector<uint8_t> HiddenScans(const std::vector<uint8_t> &jpeg, int copies, int depth) {
  const std::vector<size_t> ends = ScanEnds(jpeg);
  std::vector<uint8_t> block;
  for (int level = 0; level < depth; ++level) {
    std::vector<uint8_t> hidden = {0xFF, 0x05, static_cast<uint8_t>((block.size() + 2) >> 8),
                                   static_cast<uint8_t>(block.size() + 2)};
    hidden.insert(hidden.end(), block.begin(), block.end());
    std::vector<uint8_t> scan(jpeg.begin() + static_cast<long>(ends[0]),
                              jpeg.begin() + static_cast<long>(ends[1]));
    block.clear();
    for (int c = 1; c < copies; ++c) block.insert(block.end(), scan.begin(), scan.end());
    if (level > 0) scan = Inserted(scan, FirstRestart(scan, 1), hidden);
    block.insert(block.end(), scan.begin(), scan.end());
  }
  std::vector<uint8_t> hidden = {0xFF, 0x05, static_cast<uint8_t>((block.size() + 2) >> 8),
                                 static_cast<uint8_t>(block.size() + 2)};
  hidden.insert(hidden.end(), block.begin(), block.end());
  return Inserted(jpeg, FirstRestart(jpeg, 1), hidden);
}

/* Streams of several scans: valid ones from libjpeg's encoder (its colour
 * progression of 10 scans, one sequential scan per component, grey
 * progressions of 100 and 101 scans), and floods spliced from them that no
 * valid progression holds, each short of 100 scans. */
struct ScanCase {
  const char *label;
  std::vector<uint8_t> bytes;
  bool valid;
};

inline std::vector<ScanCase> ScanCases(int width = 64, int height = 48) {
  Picture colour;
  colour.width = width;
  colour.height = height;
  colour.progressive = true;
  Picture sequential = colour, grey = colour;
  sequential.progressive = false;
  sequential.scans = {{1, {0}, 0, 63, 0, 0}, {1, {1}, 0, 63, 0, 0}, {1, {2}, 0, 63, 0, 0}};
  grey.input = JCS_GRAYSCALE;
  grey.scans = {{1, {0}, 0, 0, 0, 0}, {1, {0}, 1, 63, 0, 1}, {1, {0}, 1, 63, 1, 0}};
  const std::vector<uint8_t> p = Encode(colour), s = Encode(sequential), pairs = Encode(grey);
  grey.scans = GreyScans(100);
  std::vector<ScanCase> cases = {{"10 scans", p, true}, {"one scan per component", s, true},
                                 {"100 scans", Encode(grey), true}};
  grey.scans = GreyScans(101);
  cases.push_back({"101 scans", Encode(grey), false});
  cases.push_back({"last refinement scan 30 times", RepeatScans(p, 10, 1, 29), false});
  cases.push_back({"luminance AC first scan 30 times", RepeatScans(p, 2, 1, 29), false});
  cases.push_back({"DC scan 30 times", RepeatScans(p, 1, 1, 29), false});
  cases.push_back({"rising-Al pair 15 times", RepeatScans(pairs, 2, 2, 14), false});
  cases.push_back({"sequential luminance scan 30 times", RepeatScans(s, 1, 1, 29), false});
  /* Segments of length 0 or 1, which libjpeg reads on after, before repeats. */
  const std::vector<uint8_t> repeats = RepeatScans(pairs, 2, 1, 29);
  cases.push_back({"COM of length 0 before repeated scans", Inserted(repeats, ScanEnds(pairs)[0], {0xFF, 0xFE, 0, 0}), false});
  cases.push_back({"APP1 of length 1 before repeated scans", Inserted(repeats, ScanEnds(pairs)[0], {0xFF, 0xE1, 0, 1}), false});
  cases.push_back({"DNL of length 0 before repeated scans", Inserted(repeats, ScanEnds(pairs)[0], {0xFF, 0xDC, 0, 0}), false});
  /* Scans hidden in a marker below 0xC0 at a restart, alone and chained. */
  grey.scans = {{1, {0}, 0, 0, 0, 0}, {1, {0}, 1, 63, 0, 1}, {1, {0}, 1, 63, 1, 0}};
  grey.restartRows = 1;
  const std::vector<uint8_t> restarts = Encode(grey);
  const int copies = std::max(2, static_cast<int>(15000 / (ScanEnds(restarts)[1] - ScanEnds(restarts)[0])));
  cases.push_back({"scans hidden at a restart", HiddenScans(restarts, copies, 1), false});
  cases.push_back({"three chained blocks of scans hidden at restarts", HiddenScans(restarts, copies, 3), false});
  cases.push_back({"restart intervals", restarts, true});
  return cases;
}

}  // namespace maker

#endif /* MOVRELA_TEST_JPEG_MAKER_H */
