/*
 * containers_bench.cpp - times the camera container post-processors on
 * 24-bit bitmaps in the host's two-block form: the PMP quarter turn with
 * colour correction (and each step alone) on 3000 x 2000, and the J6I crop
 * on 3000 x 2000 and on the camera's own 768 x 480. The same work done one
 * pixel at a time through the DibWriter slots runs in the same program as
 * the yardstick, and a plain copy into a new block as the floor of a
 * quarter turn. Prints milliseconds per operation (best and median).
 *
 * usage: containers_bench [REPETITIONS]   (default 10)
 */
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "containers/j6i.h"
#include "containers/pmp.h"
#include "base/dib_writer.h"

namespace {

BitmapHandles MakeBitmap(int32_t width, int32_t height) {
  DibWriter writer;
  if (createDibWriter(&writer, width, height) != Success) {
    std::fprintf(stderr, "containers_bench: no memory for %d x %d\n", width, height);
    std::exit(1);
  }
  for (int32_t y = 0; y < height; ++y) {
    writer.seek(&writer, 0, y);
    for (int32_t x = 0; x < width; ++x)
      writer.putNext(&writer, static_cast<uint32_t>(x * 7 ^ y * 13) << 8 | (x & 0xFF) << 24);
  }
  BitmapHandles handles = {writer.infoHandle, writer.bitsHandle};
  unlockDibWriter(&writer);
  return handles;
}

void SetSize(const BitmapHandles &b, int32_t width, int32_t height) {
  BITMAPINFOHEADER *h = static_cast<BITMAPINFOHEADER *>(LocalLock(b.info));
  h->biWidth = width;
  h->biHeight = height;
  LocalUnlock(b.info);
}

/* Reference: quarter turn clockwise and colour correction, one getPixel and
 * one setPixel per pixel and step. */
void SlotTurnAndCorrect(BitmapHandles *b) {
  BITMAPINFOHEADER *header = static_cast<BITMAPINFOHEADER *>(LocalLock(b->info));
  uint8_t *bits = static_cast<uint8_t *>(LocalLock(b->bits));
  DibWriter source, target;
  attachDibWriter(&source, header, bits);
  BITMAPINFOHEADER turned = *header;
  std::swap(turned.biWidth, turned.biHeight);
  int32_t stride = (turned.biWidth * 3 + 3) & ~3;
  HLOCAL handle = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, static_cast<SIZE_T>(stride) * turned.biHeight);
  uint8_t *newBits = static_cast<uint8_t *>(LocalLock(handle));
  attachDibWriter(&target, &turned, newBits);
  for (int32_t y = 0; y < source.height; ++y)
    for (int32_t x = 0; x < source.width; ++x)
      target.setPixel(&target, y, source.width - 1 - x, source.getPixel(&source, x, y));
  for (int32_t y = 0; y < target.height; ++y)
    for (int32_t x = 0; x < target.width; ++x) {
      uint32_t c = target.getPixel(&target, x, y);
      target.setPixel(&target, x, y,
                      static_cast<uint32_t>(ColorCorrectionTable[c >> 24]) << 24 |
                          static_cast<uint32_t>(ColorCorrectionTable[c >> 16 & 0xFF]) << 16 |
                          static_cast<uint32_t>(ColorCorrectionTable[c >> 8 & 0xFF]) << 8);
    }
  *header = turned;
  LocalUnlock(b->bits);
  LocalFree(b->bits);
  b->bits = handle;
  LocalUnlock(handle);
  LocalUnlock(b->info);
}

/* Reference: the crop by getPixel and setPixel through two writers. */
void SlotCrop(BitmapHandles *b, int32_t edge) {
  BITMAPINFOHEADER *header = static_cast<BITMAPINFOHEADER *>(LocalLock(b->info));
  uint8_t *bits = static_cast<uint8_t *>(LocalLock(b->bits));
  BITMAPINFOHEADER cropped = *header;
  cropped.biWidth -= 2 * edge;
  cropped.biHeight -= 2 * edge;
  DibWriter source, target;
  attachDibWriter(&source, header, bits);
  attachDibWriter(&target, &cropped, bits);
  for (int32_t i = 0; i < target.height; ++i)
    for (int32_t j = 0; j < target.width; ++j)
      target.setPixel(&target, j, i, source.getPixel(&source, edge + j, edge + i));
  *header = cropped;
  LocalUnlock(b->bits);
  LocalUnlock(b->info);
}

/* Floor of a quarter turn: a new zeroed block of the same size, the bytes
 * copied into it in order, the old block freed. */
void CopyIntoNewBlock(BitmapHandles *b) {
  SIZE_T size = LocalSize(b->bits);
  HLOCAL handle = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, size);
  std::memcpy(LocalLock(handle), LocalLock(b->bits), size);
  LocalUnlock(b->bits);
  LocalFree(b->bits);
  LocalUnlock(handle);
  b->bits = handle;
}

struct Timing {
  double best, median;
};

/* `prepare` runs untimed before each timed `operation`. */
Timing Time(int repetitions, const std::function<void()> &prepare, const std::function<void()> &operation) {
  std::vector<double> ms;
  for (int i = 0; i < repetitions; ++i) {
    prepare();
    auto start = std::chrono::steady_clock::now();
    operation();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(ms.begin(), ms.end());
  return {ms.front(), ms[ms.size() / 2]};
}

void Print(const char *what, const Timing &ours, const Timing *slots = nullptr) {
  std::printf("%-44s %8.2f ms best %8.2f ms median", what, ours.best, ours.median);
  if (slots) std::printf("   slots %8.2f ms median (x%.1f)", slots->median, slots->median / ours.median);
  std::printf("\n");
}

/* A line for scripts/bench.sh's table (medians). */
void Row(const char *what, const Timing &ours, const char *peer, const Timing &other) {
  std::printf("@row\t%s\t%.2f ms\t%s\t%.2f ms\t%.2f\t-\n", what, ours.median, peer, other.median,
              ours.median / other.median);
}

}  // namespace

int main(int argc, char **argv) {
  int repetitions = argc > 1 ? std::atoi(argv[1]) : 10;
  if (repetitions < 1) repetitions = 1;

  PluginSettings settings;
  std::memset(&settings, 0, sizeof settings);
  settings.AspectX = 6;
  settings.AspectY = 5;
  uint8_t header[kHeaderBlockSize] = {};
  auto nothing = [] {};

  BitmapHandles large = MakeBitmap(3000, 2000);
  std::printf("%d repetitions, 24-bit bitmaps\n", repetitions);

  /* Each run turns the previous result: 3000 x 2000 and 2000 x 3000 alternate. */
  header[kPmpOrientationOffset] = PmpQuarterClockwise;
  settings.Rotation = 1;
  settings.ColorCorrect = 1;
  Timing turnAndColour = Time(repetitions, nothing, [&] { kPmpContainer.postProcessor(&settings, header, 0, nullptr, &large); });
  Timing slotTurnAndColour = Time(repetitions, nothing, [&] { SlotTurnAndCorrect(&large); });
  Print("PMP quarter turn + colour, 3000 x 2000", turnAndColour, &slotTurnAndColour);
  settings.ColorCorrect = 0;
  Print("PMP quarter turn alone", Time(repetitions, nothing, [&] { kPmpContainer.postProcessor(&settings, header, 0, nullptr, &large); }));
  Timing copyFloor = Time(repetitions, nothing, [&] { CopyIntoNewBlock(&large); });
  Print("  floor: bytes copied into a new block", copyFloor);
  Row("PMP quarter turn + colour, 3000 x 2000", turnAndColour, "the same work pixel by pixel", slotTurnAndColour);
  Row("PMP quarter turn + colour, 3000 x 2000", turnAndColour, "copy into a new block (floor)", copyFloor);
  header[kPmpOrientationOffset] = PmpHalfTurn;
  Print("PMP half turn alone", Time(repetitions, nothing, [&] { kPmpContainer.postProcessor(&settings, header, 0, nullptr, &large); }));
  header[kPmpOrientationOffset] = 0;
  settings.ColorCorrect = 1;
  Print("PMP colour correction alone", Time(repetitions, nothing, [&] { kPmpContainer.postProcessor(&settings, header, 0, nullptr, &large); }));

  /* The crop works in place: the header is set back before each run. */
  settings.Left = settings.Right = settings.Top = settings.Bottom = 8;
  BitmapHandles camera = MakeBitmap(768, 480);
  struct CropCase {
    const char *label;
    BitmapHandles *bitmap;
    int32_t width, height;
  } crops[] = {{"J6I crop 8 each side + aspect, 3000 x 2000", &large, 3000, 2000},
               {"J6I crop 8 each side + aspect, 768 x 480", &camera, 768, 480}};
  for (CropCase &c : crops) {
    auto reset = [&] { SetSize(*c.bitmap, c.width, c.height); };
    Timing ours = Time(repetitions, reset, [&] { kJ6iContainer.postProcessor(&settings, header, 0, nullptr, c.bitmap); });
    Timing slots = Time(repetitions, reset, [&] { SlotCrop(c.bitmap, 8); });
    Print(c.label, ours, &slots);
    Row(c.label, ours, "the same work pixel by pixel", slots);
  }

  LocalFree(large.info);
  LocalFree(large.bits);
  LocalFree(camera.info);
  LocalFree(camera.bits);
  return 0;
}
