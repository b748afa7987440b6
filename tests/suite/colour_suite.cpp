/*
 * colour_suite.cpp - colour/ on its own: the work limits judged before
 * lcms2 opens a profile, the bounded allocator, the kernels' range and the
 * grid kernels' bytes, every colour of a picture's rows as lcms2 gives it
 * (SIMD and plain, any thread count), grey pictures handed over as 24-bit
 * rows, the cache and the digest it keys by, and the display's profile.
 */
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "attach.h"
#include "base/all_cores.h"
#include "base/sha256.h"
#include "colour/colour.h"
#include "colour/display_profile.h"
#include "colour/kernel_choice.h"
#include "colour/lcms_context.h"
#include "colour/profile_limits.h"
#include "colour_profiles.h"
#include "recorded_kernel.h"
#include "harness.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#endif
#ifdef __SANITIZE_ADDRESS__
extern "C" size_t __sanitizer_get_current_allocated_bytes(void); /* the sanitizer's count */
#endif

namespace {

#if defined(__i386__)
/* convertPixels called with the stack pointer 4 bytes past a 16-byte
 * boundary at the call, where an SSE spill to an aligned slot would fault
 * unless the kernel realigns its own frame. */
__attribute__((noinline)) void MisalignedConvert(const ColourTransform *t, uint8_t *pixels,
                                                 uint32_t count) {
  struct Call {
    const ColourTransform *t;
    uint8_t *pixels;
    uint32_t count;
    void (*convert)(const ColourTransform *, const uint8_t *, uint8_t *, uint32_t);
  } call = {t, pixels, count, convertPixels};
  asm volatile(
      "mov %%esp, %%ebx\n\t"
      "and $-16, %%esp\n\t"
      "sub $12, %%esp\n\t"
      "push 8(%0)\n\t"
      "push 4(%0)\n\t"
      "push 4(%0)\n\t"
      "push (%0)\n\t"
      "call *12(%0)\n\t"
      "mov %%ebx, %%esp\n\t"
      :
      : "S"(&call)
      : "ebx", "eax", "ecx", "edx", "memory", "cc");
}
#endif

using colour::Bytes;
using colour::Put;

Bytes Curve(uint32_t entries) {
  Bytes t = {'c', 'u', 'r', 'v', 0, 0, 0, 0};
  Put(t, {entries});
  t.resize(12 + 2 * size_t{entries});
  return t;
}

/* A lut16 header: its tables and grid are not needed to judge it. */
Bytes Lut16(uint8_t inputs, uint8_t grid, uint16_t entries) {
  Bytes t = {'m', 'f', 't', '2', 0, 0, 0, 0, inputs, 3, grid, 0};
  t.resize(48);
  Put(t, {entries, entries}, 2);
  return t;
}

/* A curve-set element whose three channels share one segmented curve. */
Bytes SegmentedCurves(uint16_t segments) {
  Bytes curve = {'c', 'u', 'r', 'f', 0, 0, 0, 0};
  Put(curve, {segments, 0}, 2);
  for (int i = 1; i < segments; ++i) Put(curve, {0});
  for (int i = 0; i < segments; ++i) {
    curve.insert(curve.end(), {'p', 'a', 'r', 'f', 0, 0, 0, 0, 0, 0, 0, 0});
    Put(curve, {0x3F800000, 0x3F800000, 0, 0}); /* y = x */
  }
  Bytes e = {'c', 'v', 's', 't', 0, 0, 0, 0};
  Put(e, {3, 3}, 2);
  for (int i = 0; i < 3; ++i) Put(e, {36, static_cast<uint32_t>(curve.size())});
  e.insert(e.end(), curve.begin(), curve.end());
  return e;
}

/* lcms2's work is bounded before it opens a profile: the tests' own
 * profiles pass, each count past its limit is refused, and a refused
 * profile is no profile. */
SUITE_CASE(profiles_beyond_the_work_limits_are_refused) {
  suite::AttachOnce();
  const Bytes srgb = colour::Saved(cmsCreate_sRGBProfile());
  Bytes manyTags = srgb;
  for (uint32_t tags = manyTags[131]; tags <= kMostProfileTags; ++tags)
    manyTags = colour::WithTag(manyTags, "zzzz", Curve(1));
  const struct {
    const char *label;
    Bytes profile;
    bool within;
  } cases[] = {
      {"Adobe RGB", colour::Make(colour::kAdobeRgb), true},
      {"Display P3", colour::Make(colour::kDisplayP3), true},
      {"lookup-table RGB", colour::Make(colour::kLutRgb), true},
      {"lookup-table CMYK", colour::Make(colour::kLutCmyk), true},
      {"grey", colour::Make(colour::kGrey18), true},
      {"16 elements", colour::CostlyElements(16), true},
      {"17 elements", colour::CostlyElements(17), false},
      {"7,000 elements", colour::CostlyElements(7000), false},
      {"curve of 4,096 entries", colour::WithTag(srgb, "zzzz", Curve(4096)), true},
      {"curve of 4,097 entries", colour::WithTag(srgb, "zzzz", Curve(4097)), false},
      {"lut16 of 4,097 entries", colour::WithTag(srgb, "A2B0", Lut16(3, 17, 4097)), false},
      {"table of 4 inputs, 33 points", colour::WithTag(srgb, "A2B0", Lut16(4, 33, 256)), true},
      {"table of 4 inputs, 34 points", colour::WithTag(srgb, "A2B0", Lut16(4, 34, 256)), false},
      {"table of 5 inputs", colour::WithTag(srgb, "A2B0", Lut16(5, 2, 256)), false},
      {"16 segments", colour::WithTag(srgb, "D2B0", colour::Elements(1, SegmentedCurves(16))), true},
      {"17 segments", colour::WithTag(srgb, "D2B0", colour::Elements(1, SegmentedCurves(17))), false},
      {"101 tags", manyTags, false},
      {"cut in its tag table", Bytes(srgb.begin(), srgb.begin() + 140), false},
  };
  for (const auto &c : cases) {
    const bool within = profileWithinLimits(c.profile.data(), static_cast<uint32_t>(c.profile.size()));
    if (within != c.within) suite::Report(__FILE__, __LINE__, std::string(c.label) + ": judged wrongly");
  }
  const Bytes costly = colour::CostlyElements(7000);
  ColourSource source = {ColourRgb, costly.data(), static_cast<uint32_t>(costly.size()), false};
  CHECK(acquireColourTransform(1, &source) == nullptr);
}

/* lcms2's allocations are refused before they are counted: over 512 MB, or
 * past the budget, also where the count would wrap. */
SUITE_CASE(colour_memory_is_refused_before_it_is_counted) {
  const struct {
    size_t used, limit;
    uint32_t size;
    bool given;
  } cases[] = {{0, SIZE_MAX, 1u << 20, true},         {0, SIZE_MAX, (512u << 20) + 1, false},
               {SIZE_MAX - 10, SIZE_MAX, 100, false}, {0, 100, 100, true},
               {1, 100, 100, false}};
  for (const auto &c : cases) {
    ContextData data;
    data.budget.used = 0;
    data.budget.limit = SIZE_MAX;
    data.kernel = nullptr;
    data.lutKernel = nullptr;
    cmsContext context = cmsCreateContext(&kMemoryPlugin, &data);
    CHECK(context != nullptr);
    if (!context) continue;
    const size_t before = data.budget.used;
    data.budget.used = c.used;
    data.budget.limit = c.limit;
    void *block = _cmsMalloc(context, c.size);
    CHECK_EQ(block != nullptr, c.given);
    CHECK_EQ(data.budget.used.load(), c.given ? c.used + c.size : c.used);
    _cmsFree(context, block);
    data.budget.used = before;
    data.budget.limit = SIZE_MAX;
    cmsDeleteContext(context);
  }
}

/* A curve whose values leave the kernel's fixed-point range gives no
 * kernel: lcms2's own path then converts. */
SUITE_CASE(matrix_kernel_takes_only_curves_it_can_hold) {
  for (double shift : {0.0, -1e6, 1e6}) {
    const cmsFloat64Number line[4] = {1, 1, 0, shift}; /* y = x + shift */
    cmsToneCurve *in = cmsBuildParametricToneCurve(nullptr, 6, line);
    cmsToneCurve *out = cmsBuildGamma(nullptr, 1.0);
    cmsToneCurve *ins[3] = {in, in, in}, *outs[3] = {out, out, out};
    const cmsFloat64Number m[9] = {0.9, 0.05, 0.05, 0.05, 0.9, 0.05, 0.05, 0.05, 0.9};
    cmsPipeline *pipe = cmsPipelineAlloc(nullptr, 3, 3);
    cmsPipelineInsertStage(pipe, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, ins));
    cmsPipelineInsertStage(pipe, cmsAT_END, cmsStageAllocMatrix(nullptr, 3, 3, m, nullptr));
    cmsPipelineInsertStage(pipe, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, outs));
    MatrixKernel *kernel = makeMatrixKernel(pipe, TYPE_BGR_8, TYPE_BGR_8);
    CHECK_EQ(kernel != nullptr, shift == 0);
    std::free(kernel);
    cmsPipelineFree(pipe);
    cmsFreeToneCurve(in);
    cmsFreeToneCurve(out);
  }
}

/* The grid kernels give lcms2's own bytes, SSE4.1 and plain, on random
 * colours and those nearest the grid's nodes, whatever grid, intent and
 * white fix lcms2 takes; none is made where lcms2 would keep curves around
 * its grid, finds a matrix shaper, or samples finer than the kernel's
 * steps allow. */
SUITE_CASE(grid_kernels_convert_as_lcms2) {
  suite::AttachOnce();
  const cmsUInt32Number perceptual = INTENT_PERCEPTUAL, absolute = INTENT_ABSOLUTE_COLORIMETRIC;
  const Bytes lutRgb = colour::Make(colour::kLutRgb), press = colour::Make(colour::kPressCmyk);
  const Bytes greyPaper = colour::Saved(colour::Lut(cmsSigRgbData, 3, 9, false, 94));
  const struct {
    const char *label;
    const Bytes &profile;
    bool cmyk;
    cmsUInt32Number intent, flags;
    int points; /* of the grid lcms2 samples; 0: no grid kernel */
  } cases[] = {
      {"lookup-table RGB", lutRgb, false, perceptual, 0, 33},
      {"lookup-table RGB, 17 points", lutRgb, false, perceptual, cmsFLAGS_GRIDPOINTS(17), 17},
      {"lookup-table RGB, absolute", lutRgb, false, absolute, 0, 33},
      {"lookup-table RGB, 65 points", lutRgb, false, perceptual, cmsFLAGS_GRIDPOINTS(65), 0},
      {"lookup-table RGB, grey white, fixed", greyPaper, false, perceptual, 0, 33},
      {"lookup-table RGB, grey white, kept", greyPaper, false, perceptual, cmsFLAGS_NOWHITEONWHITEFIXUP, 33},
      {"lookup-table RGB, clipped, resampled", colour::Make(colour::kClippedRgb), false, perceptual, 0, 33},
      {"press CMYK, grey paper, fixed", press, true, perceptual, 0, 17},
      {"press CMYK, 9 points", press, true, perceptual, cmsFLAGS_GRIDPOINTS(9), 9},
      {"press CMYK, grey paper, kept", press, true, perceptual, cmsFLAGS_NOWHITEONWHITEFIXUP, 17},
      {"press CMYK, absolute", press, true, absolute, 0, 17},
      {"press CMYK, curves kept", press, true, perceptual, cmsFLAGS_CLUT_PRE_LINEARIZATION, 0},
      {"Adobe RGB", colour::Make(colour::kAdobeRgb), false, perceptual, 0, 0},
  };
  for (const auto &c : cases) {
    const bool cmyk = c.cmyk;
    const colour::Recorded recorded(c.profile, cmyk ? TYPE_CMYK_8_REV : TYPE_BGR_8, c.intent, c.flags);
    const std::string label = c.label;
    if (!recorded.transform || (recorded.data.lutKernel != nullptr) != (c.points != 0)) {
      suite::Report(__FILE__, __LINE__, label + ": grid kernel made wrongly");
      continue;
    }
    if (!c.points) continue;
    const Bytes in = colour::SampleColours(cmyk ? 4 : 3, 20000, c.points);
    const size_t pixels = in.size() / (cmyk ? 4 : 3);
    const Bytes theirs = recorded.Theirs(in.data(), pixels);
    for (bool plain : {false, true}) {
      forcePlainColourKernels(plain);
      if (colour::LargestDifference(recorded.Run(in.data(), pixels), theirs) != 0)
        suite::Report(__FILE__, __LINE__, label + (plain ? ", plain" : ", SIMD") + ": differs from lcms2");
    }
    forcePlainColourKernels(false);
  }
}

/* A grey picture that comes as 24-bit rows is converted through its grey
 * profile when its three channels are equal, and kept when they are not. */
SUITE_CASE(grey_profiles_apply_to_equal_24_bit_rows) {
  suite::AttachOnce();
  const Bytes grey = colour::Make(colour::kGrey18);
  ColourSource source = {ColourGrey, grey.data(), static_cast<uint32_t>(grey.size()), false};
  ColourTransform *transform = acquireColourTransform(1, &source);
  CHECK(transform != nullptr);
  const uint8_t levels[2] = {40, 200};
  const Bytes want = colour::Transformed(grey, TYPE_GRAY_8, levels, 2);
  for (bool equal : {true, false}) {
    BitmapHandles bitmap = {LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, sizeof(BITMAPINFOHEADER)),
                            LocalAlloc(LMEM_MOVEABLE, 8)};
    auto *h = static_cast<BITMAPINFOHEADER *>(LocalLock(bitmap.info));
    *h = {sizeof(BITMAPINFOHEADER), 2, 1, 1, 24, BI_RGB, 8, 0, 0, 0, 0};
    LocalUnlock(bitmap.info);
    const Bytes pixels = {40, 40, 40, 200, 200, static_cast<uint8_t>(equal ? 200 : 201), 0, 0};
    std::memcpy(LocalLock(bitmap.bits), pixels.data(), 8);
    LocalUnlock(bitmap.bits);
    CHECK_EQ(transform && convertBitmap(transform, &bitmap), equal);
    const uint8_t *got = static_cast<const uint8_t *>(LocalLock(bitmap.bits));
    const Bytes expected = equal ? Bytes{want[0], want[1], want[2], want[3], want[4], want[5]}
                                 : Bytes(pixels.begin(), pixels.begin() + 6);
    CHECK(Bytes(got, got + 6) == expected);
    LocalUnlock(bitmap.bits);
    LocalFree(bitmap.info);
    LocalFree(bitmap.bits);
  }
  releaseColourTransform(transform);
}

#ifndef _WIN32
/* The display's profile is known by its path, size and time written: the
 * same version is not read again (new bytes under an old size and time go
 * unseen), and a new time brings the new profile's colours. */
SUITE_CASE(display_profile_is_read_again_only_when_its_file_changes) {
  suite::AttachOnce();
  const std::string file = std::string(StandinRootFolder()) + "/display.icc";
  const Bytes picture = colour::Make(colour::kDisplayP3);
  const Bytes pro = colour::Make(colour::kProPhoto), gamma = colour::Make(colour::kGamma18);
  CHECK_EQ(pro.size(), gamma.size());
  const uint8_t pixel[3] = {30, 120, 220};
  const struct {
    const Bytes *display;
    time_t written;
    const Bytes *seen;
  } steps[] = {{&pro, 1700000000, &pro}, {&gamma, 1700000000, &pro}, {&gamma, 1700000001, &gamma}};
  std::filesystem::create_directories(StandinRootFolder());
  StandinSetDisplayProfile(file.c_str());
  for (const auto &step : steps) {
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char *>(step.display->data()), static_cast<long>(step.display->size()));
    const utimbuf times = {step.written, step.written};
    CHECK(utime(file.c_str(), &times) == 0);
    ColourSource source = {ColourRgb, picture.data(), static_cast<uint32_t>(picture.size()), false};
    ColourTransform *transform = acquireColourTransform(2, &source);
    CHECK(transform != nullptr);
    uint8_t out[3] = {};
    if (transform) convertPixels(transform, pixel, out, 1);
    releaseColourTransform(transform);
    CHECK(Bytes(out, out + 3) == colour::Transformed(picture, TYPE_BGR_8, pixel, 1, *step.seen));
  }
  StandinSetDisplayProfile(nullptr);
  std::remove(file.c_str());
}
#endif

#ifdef __SANITIZE_ADDRESS__
/* The cache keeps transforms, not profiles: eight 2 MB profiles leave no
 * more live memory than their eight transforms. */
SUITE_CASE(cached_transforms_keep_no_profile_bytes) {
  suite::AttachOnce();
  closeColourCache();
  openColourCache();
  const size_t before = __sanitizer_get_current_allocated_bytes();
  for (uint8_t i = 0; i < 8; ++i) {
    const Bytes p = colour::WithTag(colour::Make(colour::kAdobeRgb), "zzzz", Bytes(2u << 20, i));
    ColourSource source = {ColourRgb, p.data(), static_cast<uint32_t>(p.size()), false};
    ColourTransform *transform = acquireColourTransform(1, &source);
    CHECK(transform != nullptr);
    releaseColourTransform(transform);
  }
  const size_t held = __sanitizer_get_current_allocated_bytes() - before;
  if (held > (4u << 20)) suite::Report(__FILE__, __LINE__, "the cache holds " + std::to_string(held) + " bytes");
}
#endif

/* The cache's digest: the standard's test vectors, on both sides of the
 * one-block and two-block tails. */
SUITE_CASE(sha256_gives_the_standard_vectors) {
  const std::string million(1000000, 'a');
  const struct {
    std::string text;
    const char *hex;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {million, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto &c : cases) {
    const Sha256Digest d = sha256(reinterpret_cast<const uint8_t *>(c.text.data()),
                                  static_cast<uint32_t>(c.text.size()));
    char hex[65];
    for (int i = 0; i < 32; ++i) std::snprintf(hex + 2 * i, 3, "%02x", d.bytes[i]);
    if (std::string(hex) != c.hex) suite::Report(__FILE__, __LINE__, "digest of " + c.text.substr(0, 8));
  }
}

/* Rows of matrix-shaper and lookup-table pictures are converted exactly as
 * lcms2's own transform converts them, on a third of all colours, by the
 * SIMD and the plain kernel alike and whatever the number of threads. The 32-bit build
 * also calls the kernel from a stack that is 16-byte aligned plus 4, as a
 * 32-bit Windows caller may. */
SUITE_CASE(rgb_profiles_convert_every_colour_as_lcms2) {
  suite::AttachOnce();
  const int32_t width = 256, rows = 256 * 86; /* red 0, 3, ... 255 */
  std::vector<uint8_t> in(size_t{width} * rows * 3), ours(in.size());
  for (size_t i = 0; i < in.size() / 3; ++i) {
    in[3 * i] = static_cast<uint8_t>(i);
    in[3 * i + 1] = static_cast<uint8_t>(i >> 8);
    in[3 * i + 2] = static_cast<uint8_t>(i >> 16 & 0xFF) * 3;
  }
  for (colour::Kind kind : {colour::kAdobeRgb, colour::kDisplayP3, colour::kProPhoto, colour::kGamma18,
                            colour::kLutRgb}) {
    const colour::Bytes profile = colour::Make(kind);
    const colour::Bytes theirs = colour::Transformed(profile, TYPE_BGR_8, in.data(), in.size() / 3);
    ColourSource source = {ColourRgb, profile.data(), static_cast<uint32_t>(profile.size()), false};
    ColourTransform *transform = acquireColourTransform(1, &source);
    CHECK(transform != nullptr);
    if (!transform) continue;
    for (int plain = 0; plain < 2; ++plain)
      for (int32_t threads : {1, 2, 3, 8}) {
        forcePlainColourKernels(plain != 0);
        forcePassThreads(threads);
        ours = in;
        convertRows(transform, ours.data(), width * 3, width, rows);
        CHECK_EQ(colour::LargestDifference(ours, theirs), 0);
      }
#if defined(__i386__)
    ours.assign(in.begin(), in.begin() + 3 * 1001);
    forcePlainColourKernels(false);
    MisalignedConvert(transform, ours.data(), 1001);
    CHECK(std::equal(ours.begin(), ours.end(), theirs.begin()));
#endif
    forcePlainColourKernels(false);
    forcePassThreads(0);
    releaseColourTransform(transform);
  }
}

/* The cache gives the same profile's transform again, keeps 8, and frees
 * an evicted one only when its last request lets go (the sanitizers see a
 * use after it is freed). */
SUITE_CASE(colour_transforms_are_cached_and_outlive_eviction) {
  suite::AttachOnce();
  std::vector<colour::Bytes> profiles;
  for (int i = 0; i < 10; ++i) {
    cmsToneCurve *curve = cmsBuildGamma(nullptr, 1.5 + 0.1 * i);
    profiles.push_back(colour::Saved(colour::Matrix({0.3127, 0.3290, 1}, {{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}}, curve)));
  }
  auto acquire = [&](int i) {
    ColourSource source = {ColourRgb, profiles[i].data(), static_cast<uint32_t>(profiles[i].size()), false};
    return acquireColourTransform(1, &source);
  };
  ColourTransform *held = acquire(0);
  CHECK(held != nullptr);
  ColourTransform *again = acquire(0);
  CHECK(again == held);
  releaseColourTransform(again);
  for (int i = 1; i < 10; ++i) releaseColourTransform(acquire(i)); /* evicts the first */
  uint8_t pixel[3] = {10, 100, 200}, out[3];
  if (held) convertPixels(held, pixel, out, 1);
  ColourTransform *fresh = acquire(0); /* made anew: the held one was evicted */
  CHECK(fresh != nullptr && fresh != held);
  releaseColourTransform(fresh);
  releaseColourTransform(held);
}

#ifndef _WIN32
/* The display's profile comes only from a regular disk file, and at once
 * whatever else its path names (a FIFO would wait for a writer for ever);
 * its identity follows the file's size and time written. */
SUITE_CASE(display_profile_only_from_a_regular_file) {
  const std::string dir = std::string(StandinRootFolder()) + "/display", file = dir + "/p3.icc";
  const colour::Bytes p3 = colour::Make(colour::kDisplayP3);
  auto put = [&](size_t extra, time_t when) { /* p3 and `extra` bytes, written at `when` */
    colour::Bytes bytes(p3);
    bytes.resize(p3.size() + extra);
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()), bytes.size());
    const utimbuf times = {when, when};
    return utime(file.c_str(), &times) == 0;
  };
  std::filesystem::create_directories(dir + "/folder");
  std::ofstream(dir + "/empty").flush();
  std::filesystem::create_symlink(file, dir + "/link");
  CHECK(put(0, 1700000000) && mkfifo((dir + "/fifo").c_str(), 0600) == 0);
  for (const std::string &path : {file, "\\\\.\\" + file, "//./" + file, dir + "/folder", dir + "/fifo",
                                  std::string("/dev/zero"), dir + "/link", dir + "/empty", dir + "/none"}) {
    StandinSetDisplayProfile(path.c_str());
    alarm(10); /* a read that waits ends the suite instead of hanging it */
    DisplayProfile profile = {nullptr, 0};
    DisplayProfileIdentity identity;
    const bool found = queryDisplayProfile(&identity), wanted = path == file;
    if (found) readDisplayProfileAs(identity, &profile);
    alarm(0);
    if (found != wanted || (profile.bytes && colour::Bytes(profile.bytes, profile.bytes + profile.size) == p3) != wanted)
      suite::Report(__FILE__, __LINE__, path + ": wrongly found or read");
    freeDisplayProfile(&profile);
  }
  StandinSetDisplayProfile(file.c_str());
  DisplayProfileIdentity kept, now;
  CHECK(queryDisplayProfile(&kept));
  const struct { size_t extra; time_t when; bool same; } changes[] = {
      {0, 1700000000, true}, {0, 1700000001, false}, {1, 1700000000, false}};
  for (const auto &change : changes) {
    DisplayProfile profile;
    CHECK(put(change.extra, change.when) && queryDisplayProfile(&now));
    CHECK_EQ(sameDisplayProfile(kept, now), change.same);
    CHECK_EQ(readDisplayProfileAs(kept, &profile), change.same); /* not the bytes of another */
    freeDisplayProfile(&profile);
    CHECK(readDisplayProfileAs(now, &profile) && profile.size == p3.size() + change.extra);
    freeDisplayProfile(&profile);
  }
  StandinSetDisplayProfile(nullptr);
  std::filesystem::remove_all(dir);
}
#endif

}  // namespace

SUITE_MAIN()
