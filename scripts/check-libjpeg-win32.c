/*
 * Checks the cross-built libjpeg-turbo the way product code uses it:
 * <windows.h> first, then jpeglib.h. Compiles as C and as C++.
 *
 * Build time: the static asserts fail when these headers give a different
 * ABI from the one the library was built with (jconfig.h makes boolean an
 * unsigned char on Windows; rpcndr.h agrees, so either include order works).
 *
 * Run time (under Wine): jpeg_CreateDecompress() compares our struct size
 * with the library's own, and an image is encoded and decoded in memory
 * through the SIMD code paths (or the plain C ones with JSIMD_FORCENONE=1).
 * Exit status 0 means all is well.
 */
#include <stdio.h>
#include <windows.h>
#include "jpeglib.h"

#include <stdlib.h>

#ifdef __cplusplus
#define STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

STATIC_ASSERT(JPEG_LIB_VERSION == 62, "libjpeg API must be version 6b");
STATIC_ASSERT(sizeof(struct jpeg_decompress_struct) == 432,
              "jpeg_decompress_struct differs from the library's layout");

#ifdef __cplusplus
extern "C" {
#endif
/* Internal to libjpeg-turbo, exported by the static library: whether the
   SIMD inverse DCT is in use on this CPU. */
int jsimd_can_idct_islow(void);
#ifdef __cplusplus
}
#endif

#define W 61 /* odd sizes exercise the partial-block and edge code */
#define H 37

/* A smooth colour field; JPEG at high quality keeps it close. */
static void make_image(JSAMPLE *rgb)
{
  int x, y;
  for (y = 0; y < H; y++)
    for (x = 0; x < W; x++) {
      JSAMPLE *p = rgb + 3 * (y * W + x);
      p[0] = (JSAMPLE)(x * 255 / (W - 1));
      p[1] = (JSAMPLE)(y * 255 / (H - 1));
      p[2] = (JSAMPLE)(128 + (x - y) / 2);
    }
}

static unsigned long encode(const JSAMPLE *rgb, unsigned char **jpg)
{
  struct jpeg_compress_struct c;
  struct jpeg_error_mgr err;
  unsigned long size = 0;

  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  jpeg_mem_dest(&c, jpg, &size);
  c.image_width = W;
  c.image_height = H;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c); /* YCbCr with 2x2 chroma subsampling */
  jpeg_set_quality(&c, 95, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = (JSAMPROW)(rgb + 3 * W * c.next_scanline);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  return size;
}

/* Decodes into rgb; returns 0 unless the header does not describe the image. */
static int decode(const unsigned char *jpg, unsigned long size, JSAMPLE *rgb)
{
  struct jpeg_decompress_struct d;
  struct jpeg_error_mgr err;
  int ok;

  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d); /* exits with a message on a struct size mismatch */
  jpeg_mem_src(&d, jpg, size);
  jpeg_read_header(&d, TRUE);
  d.out_color_space = JCS_RGB;
  jpeg_start_decompress(&d);
  ok = d.output_width == W && d.output_height == H && d.output_components == 3;
  while (ok && d.output_scanline < d.output_height) {
    JSAMPROW row = rgb + 3 * W * d.output_scanline;
    jpeg_read_scanlines(&d, &row, 1);
  }
  if (ok)
    jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return ok;
}

int main(void)
{
  static JSAMPLE in[W * H * 3], out[W * H * 3];
  unsigned char *jpg = NULL;
  unsigned long size;
  int i, diff, max_diff = 0;
  long sum_diff = 0;

  printf("libjpeg-turbo %d, sizeof(struct jpeg_decompress_struct) = %u, "
         "sizeof(boolean) = %u, SIMD idct: %s\n",
         LIBJPEG_TURBO_VERSION_NUMBER,
         (unsigned)sizeof(struct jpeg_decompress_struct),
         (unsigned)sizeof(boolean), jsimd_can_idct_islow() ? "yes" : "no");

  make_image(in);
  size = encode(in, &jpg);
  if (size < 100 || jpg[0] != 0xFF || jpg[1] != 0xD8) {
    fprintf(stderr, "encoder produced no JPEG (%lu bytes)\n", size);
    return 1;
  }
  if (!decode(jpg, size, out)) {
    fprintf(stderr, "decoded image has the wrong size or components\n");
    return 1;
  }
  free(jpg);

  for (i = 0; i < W * H * 3; i++) {
    diff = abs((int)in[i] - (int)out[i]);
    sum_diff += diff;
    if (diff > max_diff)
      max_diff = diff;
  }
  printf("round trip %dx%d: %lu bytes, max error %d, mean error %.2f\n", W, H,
         size, max_diff, (double)sum_diff / (W * H * 3));
  /* Quality 95 on a smooth field stays within a few levels; broken colour
     conversion, DCT or upsampling code is off by far more. */
  if (max_diff > 16 || sum_diff > 2L * W * H * 3) {
    fprintf(stderr, "round trip error too large\n");
    return 1;
  }
  return 0;
}
