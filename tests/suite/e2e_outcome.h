/*
 * e2e_outcome.h - what the end-to-end suites ask of the plug-in about one
 * input, and what every answer must satisfy: defined result codes, the
 * same answers for file and memory input, bitmaps of the reported size,
 * nothing left behind. Also a repeatable byte stream.
 */
#ifndef MOVRELA_TEST_E2E_OUTCOME_H
#define MOVRELA_TEST_E2E_OUTCOME_H

#include <algorithm>
#include <cstdint>
#include <string>

#include "e2e_host.h"

namespace e2e {

inline bool Defined(int32_t result) {
  static const int32_t kCodes[] = {0, 1, 2, 3, 4, 6, 10};
  return std::find(std::begin(kCodes), std::end(kCodes), result) != std::end(kCodes);
}

/* Everything the viewer may ask about one input, as one line: results,
 * sizes and a checksum of the pixels, file and memory input alike. */
struct Outcome {
  int32_t supportedBlock = -1, supportedHandle = -1;
  e2e::Info info[2];
  e2e::Answer picture[2], preview[2];
};

inline Outcome AskEverything(const e2e::Plugin &plugin, const e2e::Input &in) {
  Outcome o;
  o.supportedBlock = e2e::SupportedBlock(plugin, in.bytes);
  o.supportedHandle = e2e::SupportedHandle(plugin, in);
  for (uint32_t flag : {0u, 1u}) {
    o.info[flag] = e2e::QueryInfo(plugin, in, flag);
    o.picture[flag] = e2e::Request(plugin.GetPicture, in, flag);
    o.preview[flag] = e2e::Request(plugin.GetPreview, in, flag);
  }
  return o;
}

/* Defined codes, answers that do not depend on the input kind, and
 * bitmaps that match the reported size. */
inline void CheckOutcome(const std::string &where, const Outcome &o) {
  CHECK_AT(where, o.supportedBlock == 0 || o.supportedBlock == 1);
  CHECK_AT(where, o.supportedHandle == 0 || o.supportedHandle == 1);
  for (int kind = 0; kind < 2; ++kind) {
    std::string at = where + (kind ? " [memory]" : " [file]");
    CHECK_AT(at, Defined(o.info[kind].result));
    CHECK_AT(at, Defined(o.picture[kind].result));
    CHECK_AT(at, Defined(o.preview[kind].result));
    CHECK_AT(at, o.picture[kind].unlocked && o.preview[kind].unlocked);
    if (o.info[kind].result == 0 && o.picture[kind].result == 0) {
      CHECK_EQ_AT(at, o.picture[kind].header.biWidth, o.info[kind].record.width);
      CHECK_EQ_AT(at, o.picture[kind].header.biHeight, o.info[kind].record.height);
    }
  }
  CHECK_EQ_AT(where, o.info[0].result, o.info[1].result);
  CHECK_EQ_AT(where, o.info[0].text, o.info[1].text);
  CHECK_EQ_AT(where, o.picture[0].result, o.picture[1].result);
  CHECK_EQ_AT(where, o.picture[0].bitsChecksum, o.picture[1].bitsChecksum);
  CHECK_EQ_AT(where, o.preview[0].result, o.preview[1].result);
}

/* What one input leaves behind: blocks and files still held. */
struct Balance {
  long blocks = e2e::LiveBlocks(), files = e2e::OpenFiles();
  void check(const std::string &where) const {
    CHECK_EQ_AT(where + ", blocks left", e2e::LiveBlocks(), blocks);
    CHECK_EQ_AT(where + ", files left", e2e::OpenFiles(), files);
  }
};

/* A repeatable stream of bytes. */
struct Random {
  uint32_t state;
  explicit Random(uint32_t seed) : state(seed) {}
  uint8_t next() {
    state = state * 1103515245u + 12345u;
    return static_cast<uint8_t>(state >> 16);
  }
  camera::Data bytes(size_t n) {
    camera::Data out(n);
    for (uint8_t &b : out) b = next();
    return out;
  }
};

using suite::Thread;

}  // namespace e2e

#endif /* MOVRELA_TEST_E2E_OUTCOME_H */
