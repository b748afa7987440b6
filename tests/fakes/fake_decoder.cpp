/*
 * fake_decoder.cpp - a programmable external decoder for the tests: it
 * exports the five functions of the viewer's plug-in family (GetPreview
 * left out when built with FAKE_WITHOUT_PREVIEW), records the arguments
 * each call receives, copies memory input, and answers a chosen code with
 * a chosen bitmap in the two-block form. Controlled through the exports
 * declared in fake_decoder.h.
 */
#include "fake_decoder.h"

#include "base/host_interface.h"

#include <cstring>
#include <vector>

#define FAKE_EXPORT extern "C" __declspec(dllexport)

#ifndef FAKE_DEFAULT_PROGRESS
#define FAKE_DEFAULT_PROGRESS -1 /* no progress call */
#endif

namespace {

typedef ProgressCallback Progress;

FakeAnswer g_answers[FakeFunctionCount];
FakeCall g_calls[FakeFunctionCount];
std::vector<uint8_t> g_inputs[FakeFunctionCount]; /* memory input, whole */
int32_t g_counts[FakeFunctionCount];

void resetAll() {
  for (int i = 0; i < FakeFunctionCount; ++i) {
    g_answers[i] = FakeAnswer{0, 16, 8, 24, 2835, FAKE_DEFAULT_PROGRESS};
    std::memset(&g_calls[i], 0, sizeof g_calls[i]);
    g_inputs[i].clear();
    g_counts[i] = 0;
  }
}

struct Init {
  Init() { resetAll(); }
} g_init;

/* A bottom-up bitmap of the answer's size in two movable, unlocked blocks;
 * false (nothing kept) when there is no memory. */
bool makeBitmap(const FakeAnswer &a, HLOCAL *info, HLOCAL *bits) {
  const bool grey = a.bitCount == 8;
  const int32_t stride = (a.width * (grey ? 8 : 24) + 31) / 32 * 4;
  HLOCAL i = LocalAlloc(LHND, grey ? 40 + 1024 : 44);
  HLOCAL b = LocalAlloc(LHND, static_cast<SIZE_T>(stride) * a.height);
  if (!i || !b) {
    if (i) LocalFree(i);
    if (b) LocalFree(b);
    return false;
  }
  BITMAPINFOHEADER *h = static_cast<BITMAPINFOHEADER *>(LocalLock(i));
  h->biSize = 40;
  h->biWidth = a.width;
  h->biHeight = a.height;
  h->biPlanes = 1;
  h->biBitCount = static_cast<WORD>(grey ? 8 : 24);
  h->biCompression = BI_RGB;
  h->biSizeImage = static_cast<DWORD>(stride * a.height);
  h->biXPelsPerMeter = a.pelsPerMeter;
  h->biYPelsPerMeter = a.pelsPerMeter;
  if (grey) {
    uint8_t *palette = reinterpret_cast<uint8_t *>(h + 1);
    for (int v = 0; v < 256; ++v) std::memset(palette + 4 * v, v, 3);
  }
  LocalUnlock(i);
  uint8_t *p = static_cast<uint8_t *>(LocalLock(b));
  for (int32_t y = 0; y < a.height; ++y)
    for (int32_t x = 0; x < stride; ++x) p[y * stride + x] = static_cast<uint8_t>(x + 7 * y);
  LocalUnlock(b);
  *info = i;
  *bits = b;
  return true;
}

int32_t bitmapCall(FakeFunction function, char *buf, int32_t len, uint32_t flag, HLOCAL *infoOut,
                   HLOCAL *bitsOut, Progress callback, int32_t callbackData) {
  FakeCall &c = g_calls[function];
  std::memset(&c, 0, sizeof c);
  g_inputs[function].clear();
  ++g_counts[function];
  c.input = reinterpret_cast<UINT_PTR>(buf);
  c.len = len;
  c.flag = flag;
  c.infoHandleOut = reinterpret_cast<UINT_PTR>(infoOut);
  c.bitsHandleOut = reinterpret_cast<UINT_PTR>(bitsOut);
  c.infoBefore = infoOut ? reinterpret_cast<UINT_PTR>(*infoOut) : 0;
  c.bitsBefore = bitsOut ? reinterpret_cast<UINT_PTR>(*bitsOut) : 0;
  c.progressCallback = reinterpret_cast<UINT_PTR>(callback);
  c.callbackData = callbackData;
  c.callbackAnswer = -1;
  if (buf && (flag & 7u) == 1u && len > 0) {
    /* Reads every byte the plug-in vouched for. */
    const uint8_t *data = reinterpret_cast<const uint8_t *>(buf);
    c.keptBytes = static_cast<uint32_t>(len) < kFakeKeptBytes ? static_cast<uint32_t>(len)
                                                              : kFakeKeptBytes;
    std::memcpy(c.bytes, data, c.keptBytes);
    g_inputs[function].assign(data, data + len);
    c.checksum = FakeChecksum(data, static_cast<size_t>(len));
  } else if (buf && (flag & 7u) != 1u) {
    std::strncpy(c.name, buf, sizeof c.name - 1);
  }

  const FakeAnswer &a = g_answers[function];
  if (a.result == kFakeFault) {
#ifdef _WIN32
    int32_t *volatile bad = reinterpret_cast<int32_t *>(16); /* in the unmapped first page */
    *bad = 1;
#else
    StandinFault();
#endif
  }
  if (callback && a.progress >= 0) c.callbackAnswer = callback(a.progress, 100, callbackData);
  if (a.width > 0 && a.height > 0 && infoOut && bitsOut) {
    HLOCAL info, bits;
    if (!makeBitmap(a, &info, &bits)) return 4; /* out of memory */
    *infoOut = info;
    *bitsOut = bits;
    c.infoLeft = reinterpret_cast<UINT_PTR>(info);
    c.bitsLeft = reinterpret_cast<UINT_PTR>(bits);
  }
  return a.result;
}

}  // namespace

FAKE_EXPORT void WINAPI FakeReset(void) { resetAll(); }

FAKE_EXPORT void WINAPI FakeConfigure(int32_t function, const FakeAnswer *answer) {
  if (function >= 0 && function < FakeFunctionCount && answer) g_answers[function] = *answer;
}

FAKE_EXPORT int32_t WINAPI FakeCallCount(int32_t function) {
  return function >= 0 && function < FakeFunctionCount ? g_counts[function] : -1;
}

FAKE_EXPORT int32_t WINAPI FakeLastCall(int32_t function, FakeCall *call) {
  if (function < 0 || function >= FakeFunctionCount || !call) return 0;
  *call = g_calls[function];
  return g_counts[function];
}

FAKE_EXPORT int32_t WINAPI FakeLastInput(int32_t function, const uint8_t **bytes) {
  if (function < 0 || function >= FakeFunctionCount || !bytes) return 0;
  *bytes = g_inputs[function].data();
  return static_cast<int32_t>(g_inputs[function].size());
}

FAKE_EXPORT int32_t WINAPI GetPluginInfo(int32_t infoIndex, char *buf, int32_t bufferSize) {
  ++g_counts[FakeGetPluginInfo];
  if (infoIndex != 0 || !buf || bufferSize < 5) return 0;
  std::memcpy(buf, "00IN", 5);
  return 5;
}

FAKE_EXPORT int32_t WINAPI IsSupported(char * /*buf*/, UINT_PTR /*source*/) {
  ++g_counts[FakeIsSupported];
  return g_answers[FakeIsSupported].result;
}

FAKE_EXPORT int32_t WINAPI GetPictureInfo(char * /*buf*/, int32_t /*len*/, uint32_t /*flag*/,
                                          PictureInfo * /*info*/) {
  ++g_counts[FakeGetPictureInfo];
  return g_answers[FakeGetPictureInfo].result;
}

FAKE_EXPORT int32_t WINAPI GetPicture(char *buf, int32_t len, uint32_t flag, HLOCAL *infoOut,
                                      HLOCAL *bitsOut, Progress callback, int32_t callbackData) {
  return bitmapCall(FakeGetPicture, buf, len, flag, infoOut, bitsOut, callback, callbackData);
}

#ifndef FAKE_WITHOUT_PREVIEW
FAKE_EXPORT int32_t WINAPI GetPreview(char *buf, int32_t len, uint32_t flag, HLOCAL *infoOut,
                                      HLOCAL *bitsOut, Progress callback, int32_t callbackData) {
  return bitmapCall(FakeGetPreview, buf, len, flag, infoOut, bitsOut, callback, callbackData);
}
#endif
