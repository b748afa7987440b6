/*
 * decoder_fuzzer.cpp - the internal decoder over memory input. Pictures
 * whose header declares more than a few million pixels are passed over, so
 * that runs stay fast and within the fuzzer's memory limit.
 */
#include <cstdint>
#include <vector>

#include "decoder/internal_decoder.h"
#include "fuzz_setup.h"

namespace {

/* True when a frame header declares at most 4 million pixels (or none is
 * found, which the decoder refuses quickly). */
bool SmallEnough(const uint8_t *data, size_t size) {
  for (size_t i = 0; i + 8 < size; ++i) {
    if (data[i] == 0xFF && data[i + 1] >= 0xC0 && data[i + 1] <= 0xCF && data[i + 1] != 0xC4 &&
        data[i + 1] != 0xC8 && data[i + 1] != 0xCC) {
      uint32_t height = (data[i + 5] << 8) | data[i + 6];
      uint32_t width = (data[i + 7] << 8) | data[i + 8];
      if (uint64_t(width) * height > 4000000u) return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
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
  ResultCode result = decodeInternally(&request);
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
