/*
 * kernel_bench.cpp - the colour kernels on their own, natively or under
 * Wine (the Windows build links the same objects as the plug-in).
 *
 *   kernel_bench sweep   every one of the 2^24 RGB colours through each
 *                        matrix-shaper and lookup-table RGB profile's
 *                        kernel, and 2^24 random CMYK colours plus those
 *                        nearest the grid nodes through the CMYK kernels,
 *                        SIMD and plain, against lcms2's own transform;
 *                        prints the colours that differ (0 is the only good
 *                        answer), exit 1 when any do or a kernel is missing
 *   kernel_bench time [REPETITIONS]
 *                        a 6000 x 4000 picture converted (RGB in place,
 *                        CMYK into B G R) through a matrix-shaper, a
 *                        lookup-table RGB and two press CMYK profiles on 1, 2
 *                        and all threads, SIMD and plain, and by lcms2
 *                        alone on one thread: median milliseconds
 */
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "attach.h"
#include "base/all_cores.h"
#include "camera_files.h"
#include "colour/colour.h"
#include "colour/kernel_choice.h"
#include "colour_profiles.h"
#include "recorded_kernel.h"

namespace {

struct Profile {
  const char *name;
  colour::Kind kind;
  bool grid;        /* a grid kernel's, else a matrix shaper's */
  const char *file; /* read from here instead of made as `kind` */
  bool timed;       /* a row of `time` too */
} const kProfiles[] = {{"Adobe RGB", colour::kAdobeRgb, false, nullptr, true},
                       {"Display P3", colour::kDisplayP3, false, nullptr, false},
                       {"ProPhoto", colour::kProPhoto, false, nullptr, false},
                       {"gamma 1.8", colour::kGamma18, false, nullptr, false},
                       {"lookup-table RGB", colour::kLutRgb, true, nullptr, true},
                       {"clipping lookup-table RGB", colour::kClippedRgb, true, nullptr, false},
                       {"lookup-table CMYK", colour::kLutCmyk, true, nullptr, false},
                       {"press CMYK", colour::kPressCmyk, true, nullptr, true},
                       {"Ghostscript's press CMYK", colour::kPressCmyk, true, colour::kSystemPressProfile, true}};

colour::Bytes BytesOf(const Profile &p) {
  return p.file ? camera::ReadWholeFile(p.file) : colour::Make(p.kind);
}

ColourTransform *Acquire(const colour::Bytes &profile, ColourModel model = ColourRgb) {
  ColourSource source = {model, profile.data(), static_cast<uint32_t>(profile.size()), false};
  return acquireColourTransform(1, &source);
}

/* Every RGB colour; for CMYK, 2^24 random colours, then the bytes nearest
 * each node of the 17^4 grid and the next bytes up, in every combination. */
std::vector<uint8_t> Colours(bool cmyk) {
  const size_t all = size_t{1} << 24;
  if (cmyk) return colour::SampleColours(4, all, 17);
  std::vector<uint8_t> in(all * 3);
  for (size_t i = 0; i < all; ++i) {
    in[3 * i] = static_cast<uint8_t>(i);
    in[3 * i + 1] = static_cast<uint8_t>(i >> 8);
    in[3 * i + 2] = static_cast<uint8_t>(i >> 16);
  }
  return in;
}

int Sweep() {
  long failures = 0;
  for (const Profile &p : kProfiles) {
    const bool cmyk = p.kind == colour::kLutCmyk || p.kind == colour::kPressCmyk;
    const std::vector<uint8_t> in = Colours(cmyk);
    const size_t pixels = in.size() / (cmyk ? 4 : 3);
    const colour::Bytes profile = BytesOf(p);
    if (profile.empty()) {
      std::printf("@sweep\t%s: cannot read %s\n", p.name, p.file);
      ++failures;
      continue;
    }
    const colour::Recorded recorded(profile, cmyk ? TYPE_CMYK_8_REV : TYPE_BGR_8);
    if (!recorded.transform || !recorded.reference || (p.grid ? !recorded.data.lutKernel : !recorded.data.kernel)) {
      std::printf("@sweep\t%s: no %s kernel\n", p.name, p.grid ? "grid" : "matrix");
      ++failures;
      continue;
    }
    const colour::Bytes theirs = recorded.Theirs(in.data(), pixels);
    for (int plain = 0; plain < 2; ++plain) {
      forcePlainColourKernels(plain != 0);
      if (!plain && colourKernelLevel() == KernelPlain) continue;
      const colour::Bytes ours = recorded.Run(in.data(), pixels);
      long differ = 0;
      for (size_t i = 0; i < pixels; ++i) differ += std::memcmp(&ours[3 * i], &theirs[3 * i], 3) != 0;
      std::printf("@sweep\t%s, %s kernel: %ld of %zu colours differ from lcms2\n", p.name,
                  plain ? "plain" : !p.grid ? "SSE2" : colourKernelLevel() == KernelSse41 ? "SSE4.1" : "plain",
                  differ, pixels);
      failures += differ;
    }
    forcePlainColourKernels(false);
  }
  return failures ? 1 : 0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

/* CMYK rows converted in bands, as a row pass over all cores would. */
struct CmykPass {
  const ColourTransform *t;
  const uint8_t *in;
  uint8_t *out;
  int32_t width;
};

void CmykPart(void *pass, int32_t first, int32_t end) {
  const CmykPass *p = static_cast<const CmykPass *>(pass);
  const size_t row = static_cast<size_t>(p->width);
  convertPixels(p->t, p->in + 4 * row * first, p->out + 3 * row * first, static_cast<uint32_t>(row * (end - first)));
}

int Time(int repetitions) {
  const int32_t width = 6000, height = 4000;
  const int64_t stride = (width * 3 + 3) & ~3;
  std::vector<uint8_t> source(static_cast<size_t>(stride * height)), work(source.size());
  std::vector<uint8_t> cmyk(size_t{4} * width * height), packed(size_t{3} * width * height);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      uint8_t *p = &source[static_cast<size_t>(y * stride + x * 3)];
      p[0] = static_cast<uint8_t>(x * 255 / width);
      p[1] = static_cast<uint8_t>(y * 255 / height);
      p[2] = static_cast<uint8_t>((x * 7 + y * 13 + (x * y) % 31) & 0xFF);
      uint8_t *q = &cmyk[4 * (size_t{width} * y + x)];
      q[0] = p[0], q[1] = p[1], q[2] = p[2], q[3] = static_cast<uint8_t>(255 - (x + y) % 97);
    }
  auto timed = [&](auto run) {
    std::vector<double> ms;
    for (int r = 0; r < repetitions; ++r) {
      work = source;
      const auto start = std::chrono::steady_clock::now();
      run();
      ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return Median(ms);
  };
  const int32_t most = passThreadsFor(int64_t{width} * height);
  for (const Profile &row : kProfiles) {
    if (!row.timed) continue;
    const bool isCmyk = row.kind == colour::kPressCmyk;
    const colour::Bytes profile = BytesOf(row);
    const char *kernel = row.grid ? "grid" : "matrix";
    ColourTransform *t = Acquire(profile, isCmyk ? ColourCmyk : ColourRgb);
    if (!t) {
      std::printf("@time\t%s: no transform\n", row.name);
      return 1;
    }
    CmykPass pass = {t, cmyk.data(), packed.data(), width};
    for (int plain = 0; plain < 2; ++plain) {
      forcePlainColourKernels(plain != 0);
      for (int32_t threads : {1, 2, most > 2 ? most : 0}) {
        if (threads == 0) continue;
        forcePassThreads(threads);
        const KernelLevel at = colourKernelLevel();
        const char *level = at == KernelPlain ? "plain"
                            : row.kind == colour::kAdobeRgb ? "SSE2"
                            : at == KernelSse41 ? "SSE4.1" : "plain";
        std::printf("@time\t%s %s kernel, %s, %d thread%s: %.1f ms\n", row.name, kernel, level, threads,
                    threads > 1 ? "s" : "", timed([&] {
                      if (isCmyk) splitOverCores(CmykPart, &pass, height, threads);
                      else convertRows(t, work.data(), stride, width, height);
                    }));
      }
    }
    forcePlainColourKernels(false);
    forcePassThreads(0);
    const colour::Recorded alone(profile, isCmyk ? TYPE_CMYK_8_REV : TYPE_BGR_8); /* its lcms2 path */
    std::printf("@time\t%s through lcms2 alone, 1 thread: %.1f ms\n", row.name, timed([&] {
                  if (isCmyk) cmsDoTransform(alone.reference, cmyk.data(), packed.data(), static_cast<cmsUInt32Number>(width) * height);
                  else cmsDoTransformLineStride(alone.reference, work.data(), work.data(), width, height,
                                                static_cast<cmsUInt32Number>(stride),
                                                static_cast<cmsUInt32Number>(stride), 0, 0);
                }));
    releaseColourTransform(t);
  }
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  suite::AttachOnce();
  int result = 2;
  if (argc >= 2 && std::string(argv[1]) == "sweep") result = Sweep();
  else if (argc >= 2 && std::string(argv[1]) == "time") result = Time(argc >= 3 ? std::atoi(argv[2]) : 7);
  else std::fprintf(stderr, "usage: kernel_bench sweep | time [REPETITIONS]\n");
  DetachModule();
  return result;
}
