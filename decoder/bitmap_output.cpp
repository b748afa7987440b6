/*
 * bitmap_output.cpp - the internal decoder's bitmap output.
 */
#include "decoder/bitmap_output.h"

#include <cstring>

#include "base/all_cores.h"
#include "base/blocks.h"

extern "C" {
#include <jerror.h>
}

namespace {

constexpr int32_t kHeaderSize = 40;
constexpr int32_t kPaletteSize = 256 * 4;
constexpr int32_t kInfoTail = 4; /* zero bytes after header and palette */

/* A CMYK band's rows: as many as fit in kBandBytes, at most kMostBandRows.
 * Each band starts its threads anew, about a millisecond under Wine: 6000 x
 * 4000 through a press profile took 1.61 times the unmanaged decode in
 * bands of 128 rows, 1.88 in 32 and 2.28 in 16 (512: 1.52, for 16 MB). */
constexpr int64_t kBandBytes = int64_t{4} << 20;
constexpr int64_t kMostBandRows = 128;

/* Where picture row `row` lies in the bottom-up bits block. */
uint8_t *rowAt(j_decompress_ptr cinfo, const BitmapOutput *output, int32_t row) {
  const int32_t fromBottom = static_cast<int32_t>(cinfo->output_height) - 1 - row;
  return output->bits + static_cast<size_t>(fromBottom) * static_cast<size_t>(output->rowWidth);
}

uint8_t *bitmapRow(j_decompress_ptr cinfo, BitmapOutput *output) {
  return rowAt(cinfo, output, output->nextRow);
}

/* Grey and BGR rows are already in place: only the padding is written. */
void putRowsInPlace(j_decompress_ptr cinfo, BitmapOutput *output, JDIMENSION rows) {
  for (JDIMENSION k = 0; k < rows; ++k) {
    uint8_t *target = bitmapRow(cinfo, output);
    std::memset(target + output->dataWidth, 0, static_cast<size_t>(output->fillCount));
    ++output->nextRow;
  }
}

/* a x b / 255 rounded to nearest, for bytes a and b: exactly
 * (a * b + 127) / 255, without a division. */
inline uint8_t lightTimes(unsigned a, unsigned b) {
  const unsigned t = a * b + 128;
  return static_cast<uint8_t>((t + (t >> 8)) >> 8);
}

/* A band of four-component rows being converted into the bitmap. */
struct CmykBand {
  j_decompress_ptr cinfo;
  const BitmapOutput *output;
};

/* Four-component data arrives as CMYK or, from YCCK pictures, as the
 * library's YCCK step leaves it. Both are read as Adobe writes them: a
 * sample of 255 is no ink, so the first three samples are the light each
 * colour leaves and the fourth, K, darkens all three alike. */
void convertCmykPart(void *pass, int32_t first, int32_t end) {
  const CmykBand *band = static_cast<const CmykBand *>(pass);
  const BitmapOutput *output = band->output;
  const JDIMENSION width = band->cinfo->output_width;
  const OutputColour &colour = output->colour;
  for (int32_t k = first; k < end; ++k) {
    const JSAMPLE *sample = output->rowBuffer[k];
    uint8_t *target = rowAt(band->cinfo, output, output->nextRow + k);
    if (colour.transform) {
      /* Through the picture's press profile, which reads the same samples. */
      colour.convertPixels(colour.transform, sample, target, width);
      target += 3 * static_cast<size_t>(width);
    } else {
      for (JDIMENSION x = 0; x < width; ++x, sample += 4, target += 3) {
        const unsigned light = sample[3];
        target[0] = lightTimes(sample[2], light);
        target[1] = lightTimes(sample[1], light);
        target[2] = lightTimes(sample[0], light);
      }
    }
    std::memset(target, 0, static_cast<size_t>(output->fillCount));
  }
}

/* The band's rows converted through a profile on as many threads as the
 * whole picture's passes take (none calls the host); a row without one on
 * this thread. */
void putCmykRows(j_decompress_ptr cinfo, BitmapOutput *output, JDIMENSION rows) {
  if (rows == 0) return;
  CmykBand band = {cinfo, output};
  const int32_t threads =
      rows > 1 ? passThreadsFor(int64_t{cinfo->output_width} * cinfo->output_height) : 1;
  splitOverCores(convertCmykPart, &band, static_cast<int32_t>(rows), threads);
  output->nextRow += static_cast<int32_t>(rows);
}

int32_t resolution(j_decompress_ptr cinfo, UINT16 density) {
  return cinfo->density_unit == 2 ? static_cast<int32_t>(density) * 100 : density;
}

/* Writes header and palette, gives the host's callback its last chance to
 * stop (the percentage stays at 99 here), and unlocks both blocks. */
void finishBitmap(j_decompress_ptr cinfo, BitmapOutput *output) {
  BITMAPINFOHEADER header = {};
  header.biSize = kHeaderSize;
  header.biWidth = static_cast<LONG>(cinfo->output_width);
  header.biHeight = static_cast<LONG>(cinfo->output_height);
  header.biPlanes = 1;
  header.biBitCount = static_cast<WORD>(output->bitCount);
  header.biCompression = BI_RGB;
  header.biSizeImage = static_cast<DWORD>(output->pictureSize);
  header.biXPelsPerMeter = resolution(cinfo, cinfo->X_density);
  header.biYPelsPerMeter = resolution(cinfo, cinfo->Y_density);
  header.biClrUsed = output->bitCount == 8 ? 256 : 0;
  std::memcpy(output->info, &header, sizeof header);
  if (output->bitCount == 8) {
    uint8_t *entry = output->info + kHeaderSize;
    for (int i = 0; i < 256; ++i, entry += 4) {
      entry[0] = entry[1] = entry[2] = static_cast<uint8_t>(i);
      entry[3] = 0;
    }
  }

  if (cinfo->progress != nullptr) {
    for (JDIMENSION k = 0; k < cinfo->output_height; ++k) {
      cinfo->progress->pass_counter = static_cast<long>(k);
      cinfo->progress->pass_limit = static_cast<long>(cinfo->output_height);
      (*cinfo->progress->progress_monitor)(reinterpret_cast<j_common_ptr>(cinfo));
    }
  }

  LocalUnlock(output->bitsHandle);
  LocalUnlock(output->infoHandle);
  output->bits = nullptr;
  output->info = nullptr;
}

}  // namespace

BitmapOutput *createBitmapOutput(j_decompress_ptr cinfo) {
  BitmapOutput *output = tryBitmapOutput(cinfo);
  if (output == nullptr) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
  return output;
}

BitmapOutput *tryBitmapOutput(j_decompress_ptr cinfo) {
  BitmapOutput *output = static_cast<BitmapOutput *>(
      (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                 sizeof(BitmapOutput)));
  std::memset(output, 0, sizeof *output);
  output->finish = finishBitmap;
  const bool fourComponents = cinfo->out_color_space == JCS_CMYK;
  if (cinfo->out_color_space == JCS_GRAYSCALE) {
    output->putRows = putRowsInPlace;
    output->bitCount = 8;
  } else if (fourComponents) {
    output->putRows = putCmykRows;
    output->bitCount = 24;
  } else {
    /* The library writes B, G, R, the bitmap's own order. */
    cinfo->out_color_space = JCS_EXT_BGR;
    output->putRows = putRowsInPlace;
    output->bitCount = 24;
  }

  jpeg_calc_output_dimensions(cinfo);
  const int64_t dataWidth = int64_t(cinfo->output_width) * (output->bitCount / 8);
  const int64_t rowWidth = rowStride(cinfo->output_width, output->bitCount);
  const int64_t pictureSize = blockBytes(rowWidth, cinfo->output_height);
  if (pictureSize < 0) return nullptr;
  output->dataWidth = static_cast<int32_t>(dataWidth);
  output->rowWidth = static_cast<int32_t>(rowWidth);
  output->fillCount = output->rowWidth - output->dataWidth;
  output->pictureSize = static_cast<int32_t>(pictureSize);

  /* The library's allocations come first: once the blocks exist, nothing
   * here may fail, since the caller learns of them only from our result. */
  if (fourComponents) {
    output->bandRows = 1;
    output->rowBuffer = (*cinfo->mem->alloc_sarray)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
        cinfo->output_width * static_cast<JDIMENSION>(cinfo->output_components), 1);
  }

  const SIZE_T infoSize = kHeaderSize + (output->bitCount == 8 ? kPaletteSize : 0) + kInfoTail;
  output->bits = static_cast<uint8_t *>(
      allocateLocked(static_cast<SIZE_T>(pictureSize), LMEM_MOVEABLE, &output->bitsHandle));
  if (output->bits)
    output->info = static_cast<uint8_t *>(allocateLocked(infoSize, LMEM_MOVEABLE, &output->infoHandle));
  if (output->bits == nullptr || output->info == nullptr) {
    discardBitmapOutput(output);
    return nullptr;
  }

  output->nextRow = 0;
  return output;
}

void setOutputColour(j_decompress_ptr cinfo, BitmapOutput *output, const OutputColour &colour) {
  output->colour = colour;
  const int64_t sampleRow = int64_t{cinfo->output_width} * 4;
  const int64_t rows = kBandBytes / sampleRow;
  output->bandRows = static_cast<JDIMENSION>(rows < 1 ? 1 : rows > kMostBandRows ? kMostBandRows : rows);
  output->rowBuffer = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                  static_cast<JDIMENSION>(sampleRow), output->bandRows);
}

void readBitmapRows(j_decompress_ptr cinfo, BitmapOutput *output) {
  readBitmapRowsTo(cinfo, output, cinfo->output_height);
}

void readBitmapRowsTo(j_decompress_ptr cinfo, BitmapOutput *output, JDIMENSION end) {
  while (cinfo->output_scanline < end) {
    if (output->rowBuffer == nullptr) {
      /* Straight into the row's bottom-up place in the bits block. */
      JSAMPROW row = bitmapRow(cinfo, output);
      (*output->putRows)(cinfo, output, jpeg_read_scanlines(cinfo, &row, 1));
      continue;
    }
    /* A band of rows into the row buffer, then converted together (a row
     * without a profile: its conversion costs less than a band's trip
     * through the caches). */
    const JDIMENSION left = end - cinfo->output_scanline;
    const JDIMENSION want = left < output->bandRows ? left : output->bandRows;
    JDIMENSION got = 0;
    while (got < want) {
      const JDIMENSION rows = jpeg_read_scanlines(cinfo, output->rowBuffer + got, want - got);
      if (rows == 0) break;
      got += rows;
    }
    (*output->putRows)(cinfo, output, got);
  }
}

void discardBitmapOutput(BitmapOutput *output) {
  if (output == nullptr) return;
  if (output->bitsHandle) {
    if (output->bits) LocalUnlock(output->bitsHandle);
    LocalFree(output->bitsHandle);
  }
  if (output->infoHandle) {
    if (output->info) LocalUnlock(output->infoHandle);
    LocalFree(output->infoHandle);
  }
  output->bitsHandle = output->infoHandle = nullptr;
  output->bits = output->info = nullptr;
}
