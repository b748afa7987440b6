/*
 * fake_decoder.h - the control side of the fake external decoders
 * (fake_decoder.cpp). A test loads the same file the plug-in loads
 * (LoadLibraryA of the same path gives the same module), finds these
 * functions with GetProcAddress and tells the fake what to answer; after a
 * request it reads back what the plug-in handed over.
 *
 * One record per export: the answer it gives and the last call it got. The
 * fake serves one thread at a time.
 */
#ifndef MOVRELA_FAKE_DECODER_H
#define MOVRELA_FAKE_DECODER_H

#include <cstdint>

#include "platform.h"

/* Which export an answer or a call record belongs to. */
enum FakeFunction : int32_t {
  FakeGetPluginInfo = 0,
  FakeIsSupported,
  FakeGetPictureInfo,
  FakeGetPicture,
  FakeGetPreview,
  FakeFunctionCount
};

/* An answer's result that makes the call fault instead: it writes through a
 * bad pointer (natively, StandinFault plays the fault and the host's catch). */
constexpr int32_t kFakeFault = -1000;

struct FakeAnswer {
  int32_t result;       /* returned to the plug-in, or kFakeFault */
  int32_t width;        /* bitmap left in the handle variables; 0: none */
  int32_t height;
  int32_t bitCount;     /* 24, or 8 with a grey palette */
  int32_t pelsPerMeter; /* both resolution fields of the bitmap header */
  int32_t progress;     /* >= 0: reported once through the callback, if any */
};

/* Bytes of memory input kept per call; the checksum covers all of them. */
constexpr uint32_t kFakeKeptBytes = 4096;

struct FakeCall {
  UINT_PTR input;          /* first argument as received */
  int32_t len;
  uint32_t flag;
  UINT_PTR infoHandleOut;  /* the two variables' addresses */
  UINT_PTR bitsHandleOut;
  UINT_PTR infoBefore;     /* what they held on entry */
  UINT_PTR bitsBefore;
  UINT_PTR progressCallback;
  int32_t callbackData;
  int32_t callbackAnswer;  /* what the callback answered; -1: not called */
  char name[260];          /* file input: the file name, cut to fit */
  uint32_t keptBytes;      /* memory input: how many bytes follow */
  uint32_t checksum;       /* memory input: FNV-1a of all `len` bytes */
  uint8_t bytes[kFakeKeptBytes];
  UINT_PTR infoLeft;       /* the handles the fake stored (0: none) */
  UINT_PTR bitsLeft;
};

/* The control exports, with the same calling convention as the others. */
typedef void(WINAPI *FakeResetFn)(void);
typedef void(WINAPI *FakeConfigureFn)(int32_t function, const FakeAnswer *answer);
typedef int32_t(WINAPI *FakeCallCountFn)(int32_t function);
typedef int32_t(WINAPI *FakeLastCallFn)(int32_t function, FakeCall *call);
/* The whole memory input of the function's last call: its length, with
 * `*bytes` set to the fake's copy (valid until its next call). */
typedef int32_t(WINAPI *FakeLastInputFn)(int32_t function, const uint8_t **bytes);

/* FNV-1a, the checksum the fake keeps of memory input. */
inline uint32_t FakeChecksum(const uint8_t *data, size_t n) {
  uint32_t h = 2166136261u;
  for (size_t i = 0; i < n; ++i) h = (h ^ data[i]) * 16777619u;
  return h;
}

#endif /* MOVRELA_FAKE_DECODER_H */
