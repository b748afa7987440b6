/*
 * decoder_fuzzer.cpp - the internal decoder over memory input. Pictures
 * whose header declares more than a few million pixels are passed over, so
 * that runs stay fast and within the fuzzer's memory limit.
 */
#include <cstdint>
#include <vector>

#include "decoder/internal_decoder.h"
#include "exif/reader.h"
#include "fuzz_setup.h"
#include "work_bounds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  WorkScope work(data, size, 1);
  if (!SmallEnough(data, size)) return 0;
  const PluginSettings &settings = FuzzSettings();
  std::vector<char> input(data, data + size);
  HLOCAL info = nullptr, bits = nullptr;
  DecodeRequest request = {};
  request.input = input.data();
  request.len = static_cast<int32_t>(size);
  request.fileInput = 0;
  request.infoHandleOut = &info;
  request.bitsHandleOut = &bits;
  request.settings = &settings;
  ResultCode result = decodeInternally(&request, readExifOrientation);
  if (result == Success) {
    if (!info || !bits) __builtin_trap();
    LocalFree(info);
    LocalFree(bits);
  } else if (info || bits) {
    __builtin_trap(); /* handles written on failure */
  }
  if (StandinLiveLocalBlocks() != 0) __builtin_trap();
  return 0;
}
