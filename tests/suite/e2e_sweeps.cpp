/*
 * e2e_sweeps.cpp - truncation and corruption sweeps through the built
 * plug-in: for a plain and a progressive JPEG, Exif JPEGs with a JPEG, an
 * RGB and a YCbCr thumbnail, a J6I and a PMP file, every prefix and a
 * run of single-byte corruptions go through IsSupported, GetPictureInfo,
 * GetPicture and GetPreview, as a file and as a block in memory, once with
 * quorel.mqf decoding and once with an external decoder that declines
 * everything (so that the internal decoder does the pictures). Every answer
 * must be a defined result code or a bitmap of the reported size, the same
 * for file and memory input, with every block and file released.
 *
 * MOVRELA_SWEEP=full takes every prefix and 3000 corruptions per picture;
 * otherwise about 80 prefixes and 80 corruptions, for the regular tests.
 *
 * usage: e2e_sweeps PATH-TO-MOVRELA.MQF
 */
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "e2e_host.h"
#include "e2e_inputs.h"
#include "e2e_outcome.h"

namespace {

using camera::Data;

bool Full() {
  const char *mode = std::getenv("MOVRELA_SWEEP");
  return mode && std::strcmp(mode, "full") == 0;
}

struct Picture {
  const char *label;
  Data bytes;
};

std::vector<Picture> Pictures() {
  maker::Picture progressive;
  progressive.width = e2e::kPlainWidth;
  progressive.height = e2e::kPlainHeight;
  progressive.progressive = true;
  return {
      {"plain", e2e::Jpeg()},
      {"progressive", e2e::Encoded(progressive)},
      {"Exif, JPEG thumbnail", e2e::ExifJpeg(1)},
      {"Exif, RGB thumbnail", e2e::ExifJpeg(2)},
      {"Exif, YCbCr thumbnail", e2e::ExifJpeg(3)},
      {"J6I", camera::MakeJ6i(e2e::Jpeg())},
      {"PMP", camera::MakePmp(e2e::Jpeg())},
  };
}

/* Settings shared by both decoder set-ups: every thumbnail kind serves as
 * preview, and a damaged file is shown as far as it goes without asking. */
void CommonSettings() {
  e2e::SetMain("ReportDialog", 0);
  e2e::SetMain("ExifPreviewLevel", 14);
}

/* Runs every variant of every picture; stops a picture after a few
 * failing variants, so that one fault does not flood the log. */
void Sweep(const e2e::Plugin &plugin, const std::string &decoder, int32_t wholePreview) {
  const bool full = Full();
  const size_t corruptions = full ? 3000 : 80;
  e2e::Random random(0x5EED);
  for (const Picture &picture : Pictures()) {
    const Data &whole = picture.bytes;
    const std::string name = decoder + ", " + picture.label;
    int before = suite::Current().failures;

    /* The whole picture serves every export. */
    {
      e2e::Input in(whole);
      e2e::Balance balance;
      e2e::Outcome o = e2e::AskEverything(plugin, in);
      balance.check(name);
      e2e::CheckOutcome(name, o);
      CHECK_EQ_AT(name, o.supportedBlock, 1);
      for (int kind = 0; kind < 2; ++kind) {
        CHECK_EQ_AT(name, o.info[kind].result, 0);
        CHECK_EQ_AT(name, o.picture[kind].result, 0);
        if (wholePreview >= 0) CHECK_EQ_AT(name, o.preview[kind].result, wholePreview);
      }
    }

    std::vector<std::pair<std::string, Data>> variants;
    const size_t step = full ? 1 : whole.size() / 80 + 1;
    for (size_t cut = 0; cut < whole.size(); cut += step)
      variants.push_back({"cut at " + std::to_string(cut),
                          Data(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut))});
    for (size_t n = 0; n < corruptions; ++n) {
      Data changed = whole;
      size_t at = (static_cast<size_t>(random.next()) << 16 | static_cast<size_t>(random.next()) << 8 |
                   random.next()) % whole.size();
      uint8_t value = random.next();
      if (value == changed[at]) value = static_cast<uint8_t>(value ^ 0xFF);
      changed[at] = value;
      char label[48];
      std::snprintf(label, sizeof label, "byte %zu set to %02X", at, value);
      variants.push_back({label, changed});
    }

    int failingVariants = 0;
    for (const auto &variant : variants) {
      const std::string where = name + ", " + variant.first;
      int failuresBefore = suite::Current().failures;
      e2e::Input in(variant.second);
      e2e::Balance balance;
      e2e::Outcome o = e2e::AskEverything(plugin, in);
      balance.check(where);
      e2e::CheckOutcome(where, o);
      if (suite::Current().failures != failuresBefore && ++failingVariants == 5) {
        std::printf("  %s: further variants skipped\n", name.c_str());
        break;
      }
    }
    std::printf("  %s: %zu variants of %zu bytes, %s\n", name.c_str(), variants.size(), whole.size(),
                suite::Current().failures == before ? "all defined" : "FAILURES");
  }
}

SUITE_CASE(truncated_and_corrupted_pictures_with_the_reference_decoder) {
  e2e::UseDecoder(e2e::Where().folder, "quorel.mqf");
  CommonSettings();
  e2e::Plugin plugin;
  if (!plugin.ok()) return;
  Sweep(plugin, "quorel.mqf", 0);
}

SUITE_CASE(truncated_and_corrupted_pictures_with_the_internal_decoder) {
  e2e::Fake &fake = e2e::UseFake();
  CommonSettings();
  e2e::Plugin plugin;
  if (!plugin.ok() || !fake.ok()) return;
  fake.answer(FakeGetPicture, 10);
  fake.answer(FakeGetPreview, 10);
  /* A declined preview reaches the viewer, unless a thumbnail serves. */
  Sweep(plugin, "declining decoder", -1);
  /* The fake was asked, and declined, so the pictures above came from the
   * internal decoder. */
  CHECK(fake.CallCount(FakeGetPicture) > 0);
}

}  // namespace

E2E_MAIN()
