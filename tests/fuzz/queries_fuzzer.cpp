/*
 * queries_fuzzer.cpp - the two header queries over memory input:
 * IsSupported over a 2048-byte block (the input's first 2048 bytes, zero
 * filled) and GetPictureInfo over the input as it is. Every block either
 * query hands back is freed; nothing may be left.
 */
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_setup.h"
#include "work_bounds.h"
#include "plugin/exports.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  WorkScope work(data, size, 2);
  FuzzSettings();
  std::vector<uint8_t> block(2048, 0);
  std::memcpy(block.data(), data, size < block.size() ? size : block.size());
  int32_t supported = IsSupported(nullptr, reinterpret_cast<UINT_PTR>(block.data()));
  if (supported != 0 && supported != 1) __builtin_trap();

  std::vector<char> input(data, data + size);
  PictureInfo info;
  std::memset(&info, 0, sizeof info);
  int32_t result = GetPictureInfo(input.data(), static_cast<int32_t>(size), 1, &info);
  if (result == Success && info.textHandle) LocalFree(info.textHandle);
  if (result != Success && info.textHandle) __builtin_trap(); /* untouched on failure */
  if (StandinLiveLocalBlocks() != 0) __builtin_trap();
  return 0;
}
