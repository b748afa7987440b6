/*
 * threads.cpp - CreateThread over std::thread: the handle is an event that
 * the thread sets when its routine has returned.
 */
#include "internal.h"

#include <atomic>
#include <thread>

namespace {

std::atomic<bool> g_failThreads{false};

}  // namespace

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD, LPDWORD threadId) {
  if (g_failThreads || !start) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!done) return nullptr;
  static std::atomic<DWORD> serial{1};
  if (threadId) *threadId = serial++;
  std::thread([start, parameter, done] {
    start(parameter);
    SetEvent(done);
  }).detach();
  return done;
}

void StandinFailCreateThread(BOOL fail) { g_failThreads = fail != FALSE; }
