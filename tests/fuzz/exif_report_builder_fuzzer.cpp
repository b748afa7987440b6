/*
 * exif_report_builder_fuzzer.cpp - the report builder over any values: the
 * three strings, every rational (any bit pattern, infinities and NaN
 * included) and every SHORT value come from the input, in both languages.
 * With n counting the values present, the text must fit the block's size.
 */
#include <cstdint>
#include <cstring>
#include <vector>

#include "exif/report.h"
#include "fuzz_setup.h"
#include "work_bounds.h"

namespace {

struct Input {
  const uint8_t *data;
  size_t size;
  size_t at = 0;
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | (at < size ? data[at++] : 0);
    return v;
  }
  double f64() {
    uint64_t bits = static_cast<uint64_t>(u32()) << 32 | u32();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
  }
  RationalValue rational(int *n) {
    uint32_t count = u32() % 4;
    RationalValue v = {count, f64(), 0};
    if (count > 1) v.second = f64();
    if (count != 0) ++*n;
    return v;
  }
  /* A string of the input, stored in `store` (reserved beforehand, so
   * that it never moves); absent for one length in 300. */
  ExifText text(std::vector<char> *store, int *n) {
    uint32_t length = u32() % 300;
    if (length == 299) return ExifText{nullptr, 0};
    size_t start = store->size();
    for (uint32_t i = 0; i < length; ++i) {
      char c = static_cast<char>(at < size ? data[at++] : 'x');
      store->push_back(c == 0 ? ' ' : c);
    }
    ++*n;
    return ExifText{store->data() + start, length};
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  WorkScope work(data, size, 1);
  FuzzSettings();
  Input in{data, size};
  std::vector<char> strings;
  strings.reserve(3 * 300);
  ExifReportData d = {};
  int n = 0;
  d.maker = in.text(&strings, &n);
  d.model = in.text(&strings, &n);
  d.date = in.text(&strings, &n);
  d.compressedBpp = in.rational(&n);
  d.shutter = in.rational(&n);
  d.exposureTime = in.rational(&n);
  d.fNumber = in.rational(&n);
  d.exposureBias = in.rational(&n);
  d.focalLength = in.rational(&n);
  d.presentFlags = in.u32() & 31;
  for (uint32_t bit = 1; bit <= 16; bit <<= 1)
    if (d.presentFlags & bit) ++n;
  d.exposureProgram = in.u32();
  d.iso = in.u32() & 0xFFFF;
  d.meteringMode = in.u32();
  d.lightSource = in.u32();
  d.flash = in.u32();
  d.makerNoteFlags = in.u32() & kHasNikonWhiteBalance;
  d.nikonWhiteBalance = in.u32();
  for (ReportLanguage language : {ReportEnglish, ReportJapanese}) {
    HLOCAL handle = nullptr;
    uint32_t length = 0;
    if (!buildExifReport(language, &d, n, &handle, &length)) continue;
    const char *text = static_cast<const char *>(LocalLock(handle));
    if (length != exifReportSize(&d, n) || std::strlen(text) > length) __builtin_trap();
    /* Nothing was cut: the text ends with a complete line. */
    size_t used = std::strlen(text);
    if (used > 0 && (used < 2 || text[used - 2] != '\r' || text[used - 1] != '\n')) __builtin_trap();
    LocalUnlock(handle);
    LocalFree(handle);
  }
  return 0;
}
