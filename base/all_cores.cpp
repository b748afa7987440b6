/*
 * all_cores.cpp - bands of a pass on threads of their own.
 */
#include "base/all_cores.h"

#include <atomic>

#include "platform.h"

namespace {

struct Band {
  PassPart part;
  void *pass;
  int32_t first, end;
};

DWORD WINAPI runBand(LPVOID parameter) {
  const Band *band = static_cast<const Band *>(parameter);
  band->part(band->pass, band->first, band->end);
  return 0;
}

std::atomic<int32_t> forcedThreads{0};

int32_t processors() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const DWORD n = info.dwNumberOfProcessors;
  return n < 1 ? 1 : n > kMostPassThreads ? kMostPassThreads : static_cast<int32_t>(n);
}

}  // namespace

int32_t passThreadsFor(int64_t pixels) {
  if (pixels < kPixelsForThreads) return 1;
  const int32_t forced = forcedThreads.load(std::memory_order_relaxed);
  return forced > 0 ? forced : processors();
}

void forcePassThreads(int32_t threads) {
  forcedThreads.store(threads < 0 ? 0 : threads > kMostPassThreads ? kMostPassThreads : threads,
                      std::memory_order_relaxed);
}

void splitOverCores(PassPart part, void *pass, int32_t count, int32_t threads) {
  if (count <= 0) return;
  if (threads > count) threads = count;
  if (threads > kMostPassThreads) threads = kMostPassThreads;
  if (threads <= 1) {
    part(pass, 0, count);
    return;
  }
  Band bands[kMostPassThreads];
  HANDLE handles[kMostPassThreads] = {};
  for (int32_t i = 0; i < threads; ++i) {
    bands[i] = {part, pass, static_cast<int32_t>(int64_t{count} * i / threads),
                static_cast<int32_t>(int64_t{count} * (i + 1) / threads)};
    if (i > 0) handles[i] = CreateThread(nullptr, 0, runBand, &bands[i], 0, nullptr);
  }
  part(pass, bands[0].first, bands[0].end);
  for (int32_t i = 1; i < threads; ++i) {
    if (!handles[i]) {
      part(pass, bands[i].first, bands[i].end);
      continue;
    }
    WaitForSingleObject(handles[i], INFINITE);
    CloseHandle(handles[i]);
  }
}
