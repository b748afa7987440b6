/*
 * events.cpp - unnamed events and the waits on them (CreateEventA, SetEvent,
 * ResetEvent, WaitForSingleObject, WaitForMultipleObjects).
 *
 * An event handle is the address of its record, so it is never mistaken for
 * a file handle (those stay below 0x10000); CloseHandle hands it here.
 * Registry notifications are delivered lazily: a wait, and ResetEvent,
 * first let the registry set the events whose keys have changed (see
 * RegNotifyChangeKeyValue in win32.h), so that what a wait sees is what it
 * would see on Windows.
 */
#include "internal.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

struct StandinEvent {
  bool manualReset;
  bool signalled;
};

namespace {

/* Timed waits look again at least this often, for registry changes that
 * no SetEvent announces. */
constexpr std::chrono::milliseconds kPollInterval{10};

std::mutex g_eventsMutex;
std::condition_variable g_eventsChanged;
std::set<StandinEvent *> g_events;

StandinEvent *Find(HANDLE handle) {
  auto *event = static_cast<StandinEvent *>(handle);
  return g_events.count(event) ? event : nullptr;
}

/* Index of the first signalled event (all of them with `all`), or -1;
 * consumes auto-reset events it reports. */
long Ready(const std::vector<StandinEvent *> &events, bool all) {
  long first = -1;
  for (size_t i = 0; i < events.size(); ++i) {
    if (events[i]->signalled) {
      if (first < 0) first = static_cast<long>(i);
    } else if (all) {
      return -1;
    }
  }
  if (first < 0) return -1;
  for (size_t i = 0; i < events.size(); ++i)
    if ((all || static_cast<long>(i) == first) && !events[i]->manualReset)
      events[i]->signalled = false;
  return first;
}

}  // namespace

namespace standin {

bool IsEvent(HANDLE handle) {
  std::lock_guard<std::mutex> lock(g_eventsMutex);
  return Find(handle) != nullptr;
}

bool CloseEvent(HANDLE handle) {
  ForgetRegistryNotifications(handle);
  std::lock_guard<std::mutex> lock(g_eventsMutex);
  StandinEvent *event = Find(handle);
  if (!event) return false;
  g_events.erase(event);
  delete event;
  return true;
}

}  // namespace standin

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES sa, BOOL manualReset, BOOL initialState, LPCSTR name) {
  (void)sa;
  if (name) {
    SetLastError(ERROR_INVALID_PARAMETER); /* named events are not supported */
    return nullptr;
  }
  auto *event = new StandinEvent{manualReset != FALSE, initialState != FALSE};
  std::lock_guard<std::mutex> lock(g_eventsMutex);
  g_events.insert(event);
  return event;
}

BOOL SetEvent(HANDLE handle) {
  std::lock_guard<std::mutex> lock(g_eventsMutex);
  StandinEvent *event = Find(handle);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  event->signalled = true;
  g_eventsChanged.notify_all();
  return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
  standin::DeliverRegistryNotifications(); /* a change before the reset is consumed by it */
  std::lock_guard<std::mutex> lock(g_eventsMutex);
  StandinEvent *event = Find(handle);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  event->signalled = false;
  return TRUE;
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE *objects, BOOL waitAll, DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !objects) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    standin::DeliverRegistryNotifications();
    std::unique_lock<std::mutex> lock(g_eventsMutex);
    std::vector<StandinEvent *> events;
    for (DWORD i = 0; i < count; ++i) {
      StandinEvent *event = Find(objects[i]);
      if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
      }
      events.push_back(event);
    }
    long index = Ready(events, waitAll != FALSE);
    if (index >= 0) return WAIT_OBJECT_0 + static_cast<DWORD>(index);
    auto now = std::chrono::steady_clock::now();
    if (milliseconds != INFINITE && now >= deadline) return WAIT_TIMEOUT;
    auto wake = now + kPollInterval;
    if (milliseconds != INFINITE && deadline < wake) wake = deadline;
    g_eventsChanged.wait_until(lock, wake);
  }
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  return WaitForMultipleObjects(1, &object, FALSE, milliseconds);
}
