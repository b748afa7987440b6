/*
 * decode_bench.cpp - decodes a JPEG file with the internal decoder, as
 * GetPicture's fall-back does (file input), a given number of times, and
 * frees the bitmap each time. Timed and measured from outside
 * (scripts/bench-decode.sh) against djpeg on the same file.
 *
 * usage: decode_bench FILE [TIMES]
 */
#include <cstdio>
#include <cstdlib>

#include "decoder/internal_decoder.h"
#include "exif/reader.h"
#include "base/module_state.h"
#include "plugin/process_attach.h"
#include "settings/settings.h"

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: decode_bench FILE [TIMES]\n");
    return 2;
  }
  int times = argc > 2 ? std::atoi(argv[2]) : 1;
  AttachModule(StandinSelfModule());
  PluginSettings settings;
  LoadSettings(g_module.instance, &settings);
  settings.IgnorePixelAspectRatio = 0;
  for (int i = 0; i < times; ++i) {
    HLOCAL info = nullptr, bits = nullptr;
    DecodeRequest request = {};
    request.input = argv[1];
    request.fileInput = 1;
    request.infoHandleOut = &info;
    request.bitsHandleOut = &bits;
    request.settings = &settings;
    ResultCode result = decodeInternally(&request, readExifOrientation);
    if (result != Success) {
      std::fprintf(stderr, "decode_bench: result %d\n", result);
      return 1;
    }
    LocalFree(info);
    LocalFree(bits);
  }
  return 0;
}
