/*
 * make_cmyk.cpp - writes four-component JPEG files for the decoder's
 * comparison with djpeg, which cjpeg cannot make: CMYK with and without an
 * Adobe marker, and YCCK.
 *
 * usage: make_cmyk OUT_DIR
 */
#include <cstdio>
#include <string>

#include "jpeg_maker.h"

int main(int argc, char **argv) {
  if (argc < 2) return 2;
  struct Kind {
    const char *name;
    J_COLOR_SPACE stored;
    bool adobe;
  } kinds[] = {{"cmyk-adobe", JCS_CMYK, true}, {"cmyk-plain", JCS_CMYK, false}, {"ycck", JCS_YCCK, true}};
  for (const Kind &k : kinds) {
    maker::Picture p;
    p.width = 67;
    p.height = 45;
    p.input = JCS_CMYK;
    p.stored = k.stored;
    p.adobe = k.adobe;
    p.pixel = [](int x, int y, uint8_t *s) {
      s[0] = static_cast<uint8_t>(x * 255 / 66);
      s[1] = static_cast<uint8_t>(y * 255 / 44);
      s[2] = static_cast<uint8_t>((x + y) * 7);
      s[3] = static_cast<uint8_t>(255 - (x ^ y) * 3);
    };
    std::vector<uint8_t> jpeg = maker::Encode(p);
    std::string name = std::string(argv[1]) + "/" + k.name + ".jpg";
    FILE *f = std::fopen(name.c_str(), "wb");
    if (!f || std::fwrite(jpeg.data(), 1, jpeg.size(), f) != jpeg.size()) return 1;
    std::fclose(f);
  }
  return 0;
}
