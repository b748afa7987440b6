/*
 * apply.cpp - a transform's use on pixels, rows, palettes and finished
 * bitmaps: our matrix or grid kernel where one was recorded, lcms2
 * otherwise.
 */
#include <cstring>

#include "base/all_cores.h"
#include "colour/colour_transform.h"

ColourModel colourInput(const ColourTransform *transform) { return transform->model; }

void convertPixels(const ColourTransform *transform, const uint8_t *in, uint8_t *out,
                   uint32_t pixels) {
  if (transform->data.kernel) runMatrixKernel(transform->data.kernel, in, out, pixels);
  else if (transform->data.lutKernel) runLutKernel(transform->data.lutKernel, in, out, pixels);
  else cmsDoTransform(transform->transform, in, out, pixels);
}

namespace {

/* Rows of one bitmap being converted in place. */
struct RowPass {
  const ColourTransform *transform;
  uint8_t *bits;
  int64_t stride;
  int32_t width;
};

void convertRowPart(void *pass, int32_t first, int32_t end) {
  const RowPass *p = static_cast<const RowPass *>(pass);
  uint8_t *row = p->bits + first * p->stride;
  const ContextData &kernels = p->transform->data;
  if (kernels.kernel || kernels.lutKernel) {
    for (int32_t y = first; y < end; ++y, row += p->stride)
      if (kernels.kernel) runMatrixKernel(kernels.kernel, row, row, static_cast<uint32_t>(p->width));
      else runLutKernel(kernels.lutKernel, row, row, static_cast<uint32_t>(p->width));
    return;
  }
  cmsDoTransformLineStride(p->transform->transform, row, row, static_cast<cmsUInt32Number>(p->width),
                           static_cast<cmsUInt32Number>(end - first),
                           static_cast<cmsUInt32Number>(p->stride),
                           static_cast<cmsUInt32Number>(p->stride), 0, 0);
}

}  // namespace

void convertRows(const ColourTransform *transform, uint8_t *bits, int64_t stride, int32_t width,
                 int32_t rows) {
  RowPass pass = {transform, bits, stride, width};
  splitOverCores(convertRowPart, &pass, rows, passThreadsFor(int64_t{width} * rows));
}

void convertPalette(const ColourTransform *transform, uint8_t *entries, uint32_t count) {
  if (transform->model == ColourCmyk || count > 256) return;
  uint8_t in[256 * 3] = {}, out[256 * 3];
  const int inBytes = transform->model == ColourGrey ? 1 : 3;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t *e = entries + 4 * i;
    if (inBytes == 1)
      in[i] = static_cast<uint8_t>((e[0] + e[1] + e[2] + 1) / 3);
    else
      std::memcpy(in + 3 * i, e, 3);
  }
  convertPixels(transform, in, out, count);
  for (uint32_t i = 0; i < count; ++i) std::memcpy(entries + 4 * i, out + 3 * i, 3);
}

namespace {

/* A grey picture handed over as 24-bit rows (by a wrapped decoder, or as a
 * colour thumbnail): converted through the grey transform, level by level,
 * when every pixel's three channels are equal; else left as it is. */
bool convertGreyRows(const ColourTransform *transform, uint8_t *bits, int64_t stride, int32_t width,
                     int32_t rows) {
  uint8_t *row = bits;
  for (int32_t y = 0; y < rows; ++y, row += stride)
    for (int32_t x = 0; x < 3 * width; x += 3)
      if (row[x] != row[x + 1] || row[x] != row[x + 2]) return false;
  uint8_t levels[256], table[256 * 3];
  for (int i = 0; i < 256; ++i) levels[i] = static_cast<uint8_t>(i);
  cmsDoTransform(transform->transform, levels, table, 256);
  row = bits;
  for (int32_t y = 0; y < rows; ++y, row += stride)
    for (int32_t x = 0; x < 3 * width; x += 3) std::memcpy(row + x, table + 3 * row[x], 3);
  return true;
}

}  // namespace

bool convertBitmap(const ColourTransform *transform, BitmapHandles *bitmap) {
  if (!transform || !bitmap || !bitmap->info || !bitmap->bits) return false;
  BITMAPINFOHEADER *header =
      static_cast<BITMAPINFOHEADER *>(lockAtLeast(bitmap->info, sizeof(BITMAPINFOHEADER)));
  if (!header) return false;
  bool done = false;
  const BITMAPINFOHEADER h = *header;
  const bool plain = h.biSize >= sizeof(BITMAPINFOHEADER) && h.biCompression == BI_RGB &&
                     h.biWidth > 0 && h.biHeight > 0 && h.biPlanes == 1;
  if (plain && h.biBitCount == 8) {
    const uint32_t count = h.biClrUsed == 0 || h.biClrUsed > 256 ? 256 : h.biClrUsed;
    if (LocalSize(bitmap->info) >= h.biSize + 4 * SIZE_T{count}) {
      convertPalette(transform, reinterpret_cast<uint8_t *>(header) + h.biSize, count);
      done = transform->model != ColourCmyk;
    }
  } else if (plain && h.biBitCount == 24 && transform->model != ColourCmyk) {
    const int64_t stride = rowStride(h.biWidth, 24);
    const int64_t bytes = blockBytes(stride, h.biHeight);
    uint8_t *bits = bytes < 0 ? nullptr
                              : static_cast<uint8_t *>(
                                    lockAtLeast(bitmap->bits, static_cast<SIZE_T>(bytes)));
    if (bits && transform->model == ColourRgb) {
      convertRows(transform, bits, stride, h.biWidth, h.biHeight);
      done = true;
    } else if (bits) {
      done = convertGreyRows(transform, bits, stride, h.biWidth, h.biHeight);
    }
    if (bits) LocalUnlock(bitmap->bits);
  }
  LocalUnlock(bitmap->info);
  return done;
}

