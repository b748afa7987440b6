/*
 * pictures_fuzzer.cpp - GetPicture and GetPreview over memory input, with
 * the reference decoder as the wrapped plug-in and the internal decoder as
 * the fall-back, the broken-file prompt off. Every block handed back is
 * freed; nothing may be left.
 */
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_setup.h"
#include "work_bounds.h"
#include "plugin/exports.h"

namespace {

void Prepare() {
  static bool ready = false;
  if (ready) return;
  FuzzDecoder(QUOREL_PATH);
  store::SetNumber("Software\\Doru\\movrela", "ExifPreviewLevel", 14); /* every thumbnail kind */
  ready = true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  WorkScope work(data, size, 2);
  if (size == 0 || !SmallEnough(data, size)) return 0;
  Prepare();
  std::vector<char> input(data, data + size);
  for (int preview = 0; preview <= 1; ++preview) {
    HLOCAL info = nullptr, bits = nullptr;
    int32_t result = preview ? GetPreview(input.data(), static_cast<int32_t>(size), 1, &info, &bits,
                                          nullptr, 0)
                             : GetPicture(input.data(), static_cast<int32_t>(size), 1, &info, &bits,
                                          nullptr, 0);
    if (result == Success && (!info || !bits)) __builtin_trap();
    if (info) LocalFree(info);
    if (bits) LocalFree(bits);
  }
  if (StandinLiveLocalBlocks() != 0) __builtin_trap();
  return 0;
}
