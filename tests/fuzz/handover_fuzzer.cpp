/*
 * handover_fuzzer.cpp - what the wrapped decoder gets, read by plain
 * libjpeg. GetPicture runs over memory input with the fake decoder as the
 * wrapped plug-in; the bytes it was handed are then read scan by scan by
 * this build's libjpeg.a with its own source, marker readers and error
 * manager. A scan libjpeg reads there that breaks the progression rule, or
 * a 101st, is a scan the walk before delegation did not see as libjpeg
 * does: the target aborts.
 */
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/jpeg.h"
#include "decoder/progression.h"
#include "fake_decoder.h"
#include "fuzz_setup.h"
#include "plugin/exports.h"
#include "work_bounds.h"

namespace {

constexpr uint64_t kMostPixels = 256 * 256; /* libjpeg reads every scan in full */
constexpr int kMostScans = 300;

FakeLastInputFn g_lastInput;
FakeCallCountFn g_callCount;

void Prepare() {
  if (g_lastInput) return;
  FuzzSettings();
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Doru\\movrela", 0, nullptr, 0, KEY_SET_VALUE,
                      nullptr, &key, nullptr) == ERROR_SUCCESS) {
    const char *decoder = FAKE_PATH;
    RegSetValueExA(key, "JPEGPlug-in", 0, REG_SZ, reinterpret_cast<const BYTE *>(decoder),
                   static_cast<DWORD>(std::strlen(decoder) + 1));
    const DWORD off = 0;
    RegSetValueExA(key, "ReportDialog", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&off), sizeof off);
    RegCloseKey(key);
  }
  HMODULE fake = LoadLibraryA(FAKE_PATH);
  g_lastInput = reinterpret_cast<FakeLastInputFn>(GetProcAddress(fake, "FakeLastInput"));
  g_callCount = reinterpret_cast<FakeCallCountFn>(GetProcAddress(fake, "FakeCallCount"));
  if (!g_lastInput || !g_callCount) std::abort();
}

struct PlainErrors {
  jpeg_error_mgr pub; /* comes first */
  jmp_buf jump;
};

void PlainExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<PlainErrors *>(cinfo->err)->jump, 1); }
void PlainMessage(j_common_ptr) {}

bool TakeCurrentScan(j_decompress_ptr cinfo, Progression *p) {
  int components[MAX_COMPS_IN_SCAN];
  const int n = cinfo->comps_in_scan < MAX_COMPS_IN_SCAN ? cinfo->comps_in_scan : MAX_COMPS_IN_SCAN;
  for (int i = 0; i < n; ++i) components[i] = cinfo->cur_comp_info[i]->component_index;
  return takeScan(p, cinfo->progressive_mode != 0, components, n, cinfo->Ss, cinfo->Se, cinfo->Ah,
                  cinfo->Al);
}

/* Whether every scan libjpeg reads in `bytes`, up to kMostScans, keeps the
 * rule; libjpeg's errors end the reading. */
bool LibjpegScansKeepTheRule(const uint8_t *bytes, size_t size) {
  jpeg_decompress_struct cinfo;
  PlainErrors errors;
  cinfo.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = PlainExit;
  errors.pub.output_message = PlainMessage;
  jpeg_create_decompress(&cinfo);
  Progression p;
  startProgression(&p);
  volatile bool kept = true;
  if (setjmp(errors.jump) == 0) {
    jpeg_mem_src(&cinfo, bytes, static_cast<unsigned long>(size));
    if (jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK && jpeg_has_multiple_scans(&cinfo)) {
      cinfo.buffered_image = TRUE;
      jpeg_start_decompress(&cinfo);
      kept = TakeCurrentScan(&cinfo, &p);
      for (int scans = 1; kept && scans < kMostScans;) {
        const int got = jpeg_consume_input(&cinfo);
        if (got == JPEG_REACHED_EOI || got == JPEG_SUSPENDED) break;
        if (got == JPEG_REACHED_SOS) kept = TakeCurrentScan(&cinfo, &p), ++scans;
      }
    }
  }
  jpeg_destroy_decompress(&cinfo);
  return kept;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0 || !SmallEnough(data, size, kMostPixels)) return 0;
  Prepare();
  const int32_t before = g_callCount(FakeGetPicture);
  {
    WorkScope work(data, size, 1);
    std::vector<char> input(data, data + size);
    HLOCAL info = nullptr, bits = nullptr;
    GetPicture(input.data(), static_cast<int32_t>(size), 1, &info, &bits, nullptr, 0);
    if (info) LocalFree(info);
    if (bits) LocalFree(bits);
    if (StandinLiveLocalBlocks() != 0) __builtin_trap();
  }
  if (g_callCount(FakeGetPicture) == before) return 0;
  const uint8_t *handed = nullptr;
  const int32_t length = g_lastInput(FakeGetPicture, &handed);
  if (length > 0 && !LibjpegScansKeepTheRule(handed, static_cast<size_t>(length))) {
    std::fprintf(stderr, "handed over: libjpeg reads a scan the walk did not hold to the rule\n");
    std::abort();
  }
  return 0;
}
