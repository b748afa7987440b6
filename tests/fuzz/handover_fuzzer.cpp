/*
 * handover_fuzzer.cpp - what the wrapped decoder gets, read by plain
 * libjpeg. GetPicture runs over memory input, then over the same bytes as
 * a file, with the fake decoder as the wrapped plug-in; the stream it was
 * handed each time is then read scan by scan by this build's libjpeg.a
 * with its own source, marker readers and error manager, and each scan is
 * judged by a reading of the progression rule of its own (not the
 * product's takeScan, which a rule grown too lax would pass twice). A scan
 * libjpeg reads there that breaks the rule, or a 101st, is a scan the walk
 * before delegation did not see as libjpeg does: the target aborts.
 */
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/jpeg.h"
#include "camera_files.h"
#include "fake_decoder.h"
#include "fuzz_setup.h"
#include "plugin/exports.h"
#include "work_bounds.h"

namespace {

constexpr uint64_t kMostPixels = 256 * 256; /* libjpeg reads every scan in full */
constexpr int kMostScans = 300;

FakeLastInputFn g_lastInput;
FakeLastCallFn g_lastCall;
FakeCallCountFn g_callCount;

void Prepare() {
  if (g_lastInput) return;
  FuzzDecoder(FAKE_PATH);
  HMODULE fake = LoadLibraryA(FAKE_PATH);
  g_lastInput = reinterpret_cast<FakeLastInputFn>(GetProcAddress(fake, "FakeLastInput"));
  g_lastCall = reinterpret_cast<FakeLastCallFn>(GetProcAddress(fake, "FakeLastCall"));
  g_callCount = reinterpret_cast<FakeCallCountFn>(GetProcAddress(fake, "FakeCallCount"));
  if (!g_lastInput || !g_lastCall || !g_callCount) std::abort();
}

struct PlainErrors {
  jpeg_error_mgr pub; /* comes first */
  jmp_buf jump;
};

void PlainExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<PlainErrors *>(cinfo->err)->jump, 1); }
void PlainMessage(j_common_ptr) {}

/* The progression rule, read on its own: every scan brings coefficients
 * not sent before, or one more bit of those sent; in a sequential stream
 * each component comes in one scan only; at most 100 scans. Per component
 * and coefficient it keeps the set of bits sent so far. */
struct RuleOracle {
  uint16_t sentBits[MAX_COMPONENTS][64] = {};
  uint32_t sequentialHeld = 0; /* one bit per component */
  int scans = 0;

  bool take(const jpeg_decompress_struct &d) {
    if (++scans > 100) return false;
    for (int i = 0; i < d.comps_in_scan; ++i) {
      const int c = d.cur_comp_info[i]->component_index;
      if (!d.progressive_mode) {
        if (sequentialHeld & (1u << c)) return false;
        sequentialHeld |= 1u << c;
        continue;
      }
      const uint16_t bit = static_cast<uint16_t>(1u << d.Al);
      for (int k = d.Ss; k <= d.Se; ++k) {
        uint16_t &sent = sentBits[c][k];
        if (d.Ah == 0) { /* first scan of k: bits Al and up */
          if (sent != 0) return false;
          sent = static_cast<uint16_t>(~(bit - 1));
        } else { /* refinement: bit Al, right below the lowest sent */
          if (d.Ah != d.Al + 1 || !(sent & (bit << 1)) || (sent & bit)) return false;
          sent |= bit;
        }
      }
    }
    return true;
  }
};

/* Whether every scan libjpeg reads in `bytes`, up to kMostScans, keeps the
 * rule; libjpeg's errors end the reading. */
bool LibjpegScansKeepTheRule(const uint8_t *bytes, size_t size) {
  jpeg_decompress_struct cinfo;
  PlainErrors errors;
  cinfo.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = PlainExit;
  errors.pub.output_message = PlainMessage;
  jpeg_create_decompress(&cinfo);
  RuleOracle rule;
  volatile bool kept = true;
  if (setjmp(errors.jump) == 0) {
    jpeg_mem_src(&cinfo, bytes, static_cast<unsigned long>(size));
    if (jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK && jpeg_has_multiple_scans(&cinfo)) {
      cinfo.buffered_image = TRUE;
      jpeg_start_decompress(&cinfo);
      kept = rule.take(cinfo);
      for (int scans = 1; kept && scans < kMostScans;) {
        const int got = jpeg_consume_input(&cinfo);
        if (got == JPEG_REACHED_EOI || got == JPEG_SUSPENDED) break;
        if (got == JPEG_REACHED_SOS) kept = rule.take(cinfo), ++scans;
      }
    }
  }
  jpeg_destroy_decompress(&cinfo);
  return kept;
}

/* GetPicture over the input, as a block or (`file` given) by name, then
 * the stream the fake decoder was handed, read by plain libjpeg. */
void HandOver(const uint8_t *data, size_t size, const camera::TempFile *file) {
  const int32_t before = g_callCount(FakeGetPicture);
  {
    WorkScope work(data, size, 1);
    std::vector<char> input(data, data + size);
    std::string name = file ? "Z:" + file->path : std::string();
    if (file) input.assign(name.begin(), name.end() + 1);
    HLOCAL info = nullptr, bits = nullptr;
    GetPicture(input.data(), file ? 0 : static_cast<int32_t>(size), file ? 0 : 1, &info, &bits, nullptr, 0);
    if (info) LocalFree(info);
    if (bits) LocalFree(bits);
    if (StandinLiveLocalBlocks() != 0) __builtin_trap();
  }
  if (g_callCount(FakeGetPicture) == before) return;
  const uint8_t *handed = nullptr;
  int32_t length = 0;
  if (!file) {
    length = g_lastInput(FakeGetPicture, &handed);
  } else {
    /* The fake got the file's name and the stream's offset in it. */
    static FakeCall call;
    g_lastCall(FakeGetPicture, &call);
    if (call.len < 0 || static_cast<size_t>(call.len) > size) __builtin_trap();
    handed = data + call.len;
    length = static_cast<int32_t>(size - call.len);
  }
  if (length > 0 && !LibjpegScansKeepTheRule(handed, static_cast<size_t>(length))) {
    std::fprintf(stderr, "handed over: libjpeg reads a scan the walk did not hold to the rule (%s input)\n",
                 file ? "file" : "memory");
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0 || !SmallEnough(data, size, kMostPixels)) return 0;
  Prepare();
  HandOver(data, size, nullptr);
  const camera::TempFile file(camera::Data(data, data + size));
  if (file.ok) HandOver(data, size, &file);
  return 0;
}
