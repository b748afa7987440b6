/*
 * kernel_bench.cpp - the colour kernels on their own, natively or under
 * Wine (the Windows build links the same objects as the plug-in).
 *
 *   kernel_bench sweep   every one of the 2^24 RGB colours through each
 *                        matrix-shaper profile's kernel, SIMD and plain,
 *                        against lcms2's own transform; prints the colours
 *                        that differ (0 is the only good answer), exit 1
 *                        when any do
 *   kernel_bench time [REPETITIONS]
 *                        a 6000 x 4000 bitmap converted in place on 1, 2
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
#include "colour/colour.h"
#include "colour/kernel_choice.h"
#include "colour_profiles.h"

namespace {

struct Profile {
  const char *name;
  colour::Kind kind;
} const kProfiles[] = {{"Adobe RGB", colour::kAdobeRgb},
                       {"Display P3", colour::kDisplayP3},
                       {"ProPhoto", colour::kProPhoto},
                       {"gamma 1.8", colour::kGamma18}};

ColourTransform *Acquire(const colour::Bytes &profile) {
  ColourSource source = {ColourRgb, profile.data(), static_cast<uint32_t>(profile.size()), false};
  return acquireColourTransform(1, &source);
}

int Sweep() {
  const size_t all = size_t{1} << 24;
  std::vector<uint8_t> in(all * 3), ours(all * 3);
  for (size_t i = 0; i < all; ++i) {
    in[3 * i] = static_cast<uint8_t>(i);
    in[3 * i + 1] = static_cast<uint8_t>(i >> 8);
    in[3 * i + 2] = static_cast<uint8_t>(i >> 16);
  }
  long failures = 0;
  for (const Profile &p : kProfiles) {
    const colour::Bytes profile = colour::Make(p.kind);
    const colour::Bytes theirs = colour::Transformed(profile, TYPE_BGR_8, in.data(), all);
    ColourTransform *t = Acquire(profile);
    if (!t) {
      std::printf("%s: no transform\n", p.name);
      ++failures;
      continue;
    }
    for (int plain = 0; plain < 2; ++plain) {
      forcePlainColourKernels(plain != 0);
      if (!plain && colourKernelLevel() == KernelPlain) continue;
      convertPixels(t, in.data(), ours.data(), static_cast<uint32_t>(all));
      long differ = 0;
      for (size_t i = 0; i < all; ++i)
        differ += std::memcmp(&ours[3 * i], &theirs[3 * i], 3) != 0;
      std::printf("@sweep\t%s, %s kernel: %ld of 16777216 colours differ from lcms2\n", p.name,
                  plain ? "plain" : "SIMD", differ);
      failures += differ;
    }
    forcePlainColourKernels(false);
    releaseColourTransform(t);
  }
  return failures ? 1 : 0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

int Time(int repetitions) {
  const int32_t width = 6000, height = 4000;
  const int64_t stride = (width * 3 + 3) & ~3;
  std::vector<uint8_t> source(static_cast<size_t>(stride * height)), work(source.size());
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      uint8_t *p = &source[static_cast<size_t>(y * stride + x * 3)];
      p[0] = static_cast<uint8_t>(x * 255 / width);
      p[1] = static_cast<uint8_t>(y * 255 / height);
      p[2] = static_cast<uint8_t>((x * 7 + y * 13 + (x * y) % 31) & 0xFF);
    }
  const colour::Bytes profile = colour::Make(colour::kAdobeRgb);
  ColourTransform *t = Acquire(profile);
  if (!t) return 1;
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
  for (int plain = 0; plain < 2; ++plain) {
    forcePlainColourKernels(plain != 0);
    for (int32_t threads : {1, 2, most > 2 ? most : 0}) {
      if (threads == 0) continue;
      forcePassThreads(threads);
      std::printf("@time\tAdobe RGB matrix kernel, %s, %d thread%s: %.1f ms\n",
                  colourKernelLevel() == KernelPlain ? "plain" : "SIMD", threads,
                  threads > 1 ? "s" : "",
                  timed([&] { convertRows(t, work.data(), stride, width, height); }));
    }
  }
  forcePlainColourKernels(false);
  forcePassThreads(0);
  const colour::Bytes again = colour::Make(colour::kAdobeRgb);
  cmsHPROFILE from = cmsOpenProfileFromMem(again.data(), static_cast<cmsUInt32Number>(again.size()));
  cmsHPROFILE to = cmsCreate_sRGBProfile();
  cmsHTRANSFORM lcms = cmsCreateTransform(from, TYPE_BGR_8, to, TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
  std::printf("@time\tAdobe RGB through lcms2 alone, 1 thread: %.1f ms\n", timed([&] {
                cmsDoTransformLineStride(lcms, work.data(), work.data(), width, height,
                                         static_cast<cmsUInt32Number>(stride),
                                         static_cast<cmsUInt32Number>(stride), 0, 0);
              }));
  cmsDeleteTransform(lcms);
  cmsCloseProfile(from);
  cmsCloseProfile(to);
  releaseColourTransform(t);
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
