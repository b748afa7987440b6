/*
 * profile_bench.cpp - what a colour profile costs a request: the time to
 * get its transform (judging, digest, lcms2's making), with the cache
 * emptied before each run, for the tests' own profiles, the costly ones a
 * hostile file can carry, and any ICC files named; then the digest of the
 * largest profile a picture can carry, and the memory the cache keeps after
 * eight such profiles.
 *
 * usage: profile_bench [FILE.icc ...]
 */
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/module_state.h"
#include "base/sha256.h"
#include "camera_files.h"
#include "colour/colour.h"
#include "colour_profiles.h"
#include "plugin/process_attach.h"

namespace {

using colour::Bytes;

/* The pictures' model that the profile's header names (bytes 16 to 19). */
ColourModel ModelOf(const Bytes &profile) {
  const std::string space = profile.size() >= 20 ? std::string(profile.begin() + 16, profile.begin() + 20) : "";
  return space == "CMYK" ? ColourCmyk : space == "GRAY" ? ColourGrey : ColourRgb;
}

/* The median time of getting the profile's transform; *made tells whether
 * one was made (false: refused). */
double Milliseconds(const Bytes &profile, int runs, bool *made) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    closeColourCache();
    openColourCache();
    ColourSource source = {ModelOf(profile), profile.data(), static_cast<uint32_t>(profile.size()), false};
    const auto start = std::chrono::steady_clock::now();
    ColourTransform *transform = acquireColourTransform(1, &source);
    *made = transform != nullptr;
    releaseColourTransform(transform);
    times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

/* The largest profile APP2 chunks can carry: 255 of 65,519 bytes. */
Bytes Padded(Bytes profile, uint8_t mark) {
  profile = colour::WithTag(profile, "zzzz", Bytes(255u * 65519u - profile.size() - 64, mark));
  return profile;
}

}  // namespace

int main(int argc, char **argv) {
  AttachModule(StandinSelfModule());
  struct Row {
    std::string name;
    Bytes profile;
  };
  std::vector<Row> rows = {
      {"Adobe RGB (matrix)", colour::Make(colour::kAdobeRgb)},
      {"Display P3 (matrix)", colour::Make(colour::kDisplayP3)},
      {"ProPhoto (matrix)", colour::Make(colour::kProPhoto)},
      {"lookup-table RGB", colour::Make(colour::kLutRgb)},
      {"16 float elements", colour::CostlyElements(16)},
      {"1,000 float elements (8 KB)", colour::CostlyElements(1000)},
      {"7,000 float elements (56 KB)", colour::CostlyElements(7000)},
      {"30,000 elements + 16 MB", Padded(colour::CostlyElements(30000), 0)},
      {"100,000 float elements", colour::CostlyElements(100000)},
      {"press CMYK", colour::Make(colour::kPressCmyk)},
      {"Ghostscript's press CMYK", camera::ReadWholeFile(colour::kSystemPressProfile)},
  };
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    rows.push_back({argv[i], Bytes(std::istreambuf_iterator<char>(in), {})});
  }
  double slowest = 0;
  for (const Row &r : rows) {
    bool made = false;
    const double ms = Milliseconds(r.profile, 5, &made);
    slowest = std::max(slowest, ms);
    std::printf("%-44s %9zu bytes %8.2f ms%s\n", r.name.c_str(), r.profile.size(), ms, made ? "" : " (refused)");
  }
  std::printf("@row\tcolour transform made, slowest of %zu profiles\t%.2f ms\t-\t-\t-\t<= 50 ms\n",
              rows.size(), slowest);

  const Bytes largest = Padded(colour::Make(colour::kAdobeRgb), 0);
  const auto start = std::chrono::steady_clock::now();
  volatile uint8_t sink = sha256(largest.data(), static_cast<uint32_t>(largest.size())).bytes[0];
  (void)sink;
  std::printf("@row\tSHA-256 of the largest profile (%zu bytes)\t%.1f ms\t-\t-\t-\t-\n", largest.size(),
              std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());

  /* Eight different largest profiles through the cache, then what stays. */
  closeColourCache();
  openColourCache();
  const size_t before = mallinfo2().uordblks;
  for (uint8_t i = 0; i < 8; ++i) {
    const Bytes p = Padded(colour::Make(colour::kAdobeRgb), static_cast<uint8_t>(i + 1));
    ColourSource source = {ColourRgb, p.data(), static_cast<uint32_t>(p.size()), false};
    releaseColourTransform(acquireColourTransform(1, &source));
  }
  std::printf("@row\tcolour cache after 8 largest profiles: memory held\t%.2f MB\t-\t-\t-\t<= 1 MB + transforms\n",
              (static_cast<double>(mallinfo2().uordblks) - static_cast<double>(before)) / (1 << 20));
  DetachModule();
  return 0;
}
