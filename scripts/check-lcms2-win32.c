/*
 * Checks the cross-built LittleCMS the way product code uses it: <windows.h>
 * first, then lcms2.h. Compiles as C and as C++.
 *
 * Run time (under Wine): the header and the library are the same release;
 * sRGB white and red land on their Lab (D50) values; an sRGB ramp goes to
 * Lab and back to within one level; a damaged profile is refused through
 * the context's error handler rather than by a crash. Exit status 0 means
 * all is well.
 */
#include <windows.h>
#include "lcms2.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

static int g_errors; /* reports received by the context's handler */

static void on_error(cmsContext ctx, cmsUInt32Number code, const char *text)
{
  (void)ctx;
  (void)code;
  (void)text;
  g_errors++;
}

static int within(double a, double b, double tolerance) { return fabs(a - b) <= tolerance; }

int main(void)
{
  cmsContext ctx;
  cmsHPROFILE srgb, lab;
  cmsHTRANSFORM to_lab, to_rgb;
  cmsUInt8Number rgb[256 * 3], back[256 * 3];
  cmsCIELab lab_out[256];
  cmsUInt8Number white_red[6] = {255, 255, 255, 255, 0, 0};
  cmsCIELab wr[2];
  cmsUInt8Number junk[100];
  int i, worst = 0;
  int failed = 0;

  printf("lcms2 header %d, library %d\n", LCMS_VERSION, cmsGetEncodedCMMversion());
  if (cmsGetEncodedCMMversion() != LCMS_VERSION) {
    fprintf(stderr, "header and library differ\n");
    return 1;
  }

  ctx = cmsCreateContext(NULL, NULL);
  cmsSetLogErrorHandlerTHR(ctx, on_error);
  srgb = cmsCreate_sRGBProfileTHR(ctx);
  lab = cmsCreateLab4ProfileTHR(ctx, NULL);
  to_lab = cmsCreateTransformTHR(ctx, srgb, TYPE_RGB_8, lab, TYPE_Lab_DBL,
                                 INTENT_RELATIVE_COLORIMETRIC, 0);
  to_rgb = cmsCreateTransformTHR(ctx, lab, TYPE_Lab_DBL, srgb, TYPE_RGB_8,
                                 INTENT_RELATIVE_COLORIMETRIC, 0);
  if (!srgb || !lab || !to_lab || !to_rgb) {
    fprintf(stderr, "profiles or transforms could not be made\n");
    return 1;
  }

  cmsDoTransform(to_lab, white_red, wr, 2);
  printf("white: L %.2f a %.2f b %.2f; red: L %.2f a %.2f b %.2f\n", wr[0].L, wr[0].a,
         wr[0].b, wr[1].L, wr[1].a, wr[1].b);
  /* sRGB red under D50 (the ICC connection space) is about Lab 54.3/80.8/69.9. */
  if (!within(wr[0].L, 100, 0.1) || !within(wr[0].a, 0, 0.1) || !within(wr[0].b, 0, 0.1) ||
      !within(wr[1].L, 54.3, 0.5) || !within(wr[1].a, 80.8, 0.5) || !within(wr[1].b, 69.9, 0.5)) {
    fprintf(stderr, "Lab values are off\n");
    failed = 1;
  }

  for (i = 0; i < 256; i++) {
    rgb[3 * i] = (cmsUInt8Number)i;
    rgb[3 * i + 1] = (cmsUInt8Number)(255 - i);
    rgb[3 * i + 2] = (cmsUInt8Number)(i * 7);
  }
  cmsDoTransform(to_lab, rgb, lab_out, 256);
  cmsDoTransform(to_rgb, lab_out, back, 256);
  for (i = 0; i < 256 * 3; i++) {
    int d = rgb[i] > back[i] ? rgb[i] - back[i] : back[i] - rgb[i];
    if (d > worst) worst = d;
  }
  printf("sRGB -> Lab -> sRGB: worst difference %d\n", worst);
  if (worst > 1) {
    fprintf(stderr, "round trip is off\n");
    failed = 1;
  }

  /* A profile cut short inside its 128-byte header. */
  memset(junk, 0, sizeof junk);
  memcpy(junk + 36, "acsp", 4);
  if (cmsOpenProfileFromMemTHR(ctx, junk, sizeof junk) != NULL || g_errors == 0) {
    fprintf(stderr, "a damaged profile was not refused through the handler\n");
    failed = 1;
  }

  cmsDeleteTransform(to_lab);
  cmsDeleteTransform(to_rgb);
  cmsCloseProfile(srgb);
  cmsCloseProfile(lab);
  cmsDeleteContext(ctx);
  return failed;
}
