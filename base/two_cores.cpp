/*
 * two_cores.cpp - the second half of a pass on a thread of its own.
 */
#include "base/two_cores.h"

#include "platform.h"

namespace {

struct Half {
  PassPart part;
  void *pass;
  int32_t first, end;
};

DWORD WINAPI runHalf(LPVOID parameter) {
  const Half *half = static_cast<const Half *>(parameter);
  half->part(half->pass, half->first, half->end);
  return 0;
}

}  // namespace

void splitOverTwoCores(PassPart part, void *pass, int32_t count, int32_t smallest) {
  if (count <= 0) return;
  const int32_t middle = count / 2;
  Half second = {part, pass, middle, count};
  HANDLE thread = count >= smallest && count >= 2
                      ? CreateThread(nullptr, 0, runHalf, &second, 0, nullptr)
                      : nullptr;
  if (!thread) {
    part(pass, 0, count);
    return;
  }
  part(pass, 0, middle);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}
