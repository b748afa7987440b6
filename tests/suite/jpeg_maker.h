/*
 * jpeg_maker.h - encodes small JPEG pictures in memory with libjpeg, for
 * tests that need a picture of a particular kind: grey, colour, CMYK or
 * YCCK, progressive, arithmetic-coded, with restart markers, with chosen
 * JFIF densities or none. Pixels come from a function of (x, y).
 */
#ifndef MOVRELA_TEST_JPEG_MAKER_H
#define MOVRELA_TEST_JPEG_MAKER_H

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

}  // namespace maker

#endif /* MOVRELA_TEST_JPEG_MAKER_H */
