/*
 * detect_fuzzer.cpp - container detection over memory input, with each
 * combination of the three settings it reads (chosen by the first byte).
 */
#include <cstdint>
#include <cstring>
#include <vector>

#include "containers/detect.h"
#include "fuzz_setup.h"
#include "work_bounds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  WorkScope work(data, size, 1);
  PluginSettings settings = FuzzSettings();
  uint8_t choice = size > 0 ? data[0] : 0;
  settings.J6ISupport = choice & 1;
  settings.PMPSupport = (choice >> 1) & 1;
  settings.SearchMarkerSupport = (choice >> 2) & 1;
  /* An exact-size copy, so that any read past the extent is caught. */
  std::vector<uint8_t> input(data, data + size);
  uint8_t header[kHeaderBlockSize];
  RequestInput in = {0, INVALID_HANDLE_VALUE, 0, input.data(), static_cast<int32_t>(size)};
  int32_t kind = detectContainer(&settings, header, &in);
  if (kind >= 0) {
    const uint8_t *start = in.data;
    const int32_t extent = in.extent;
    if (start < input.data() || extent < 0 || start + extent != input.data() + size) __builtin_trap();
  }
  return 0;
}
