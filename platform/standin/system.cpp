/*
 * system.cpp - GetVersionExA with its platform-id hook, GetSystemInfo, critical sections,
 * thread-local slots, the guard chain.
 */
#include "internal.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <pthread.h>
#include <unistd.h>

static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA must be 148 bytes, as on Win32");

namespace {

std::once_flag g_platformOnce;
std::atomic<long> g_platformId{VER_PLATFORM_WIN32_NT};
std::atomic<int> g_failTlsAlloc{0};
thread_local StandinGuard *t_guards = nullptr;    /* newest first */
thread_local StandinFaultMark *t_mark = nullptr;  /* innermost */

/* MOVRELA_PLATFORM_ID, when set to a number, is the initial platform id. */
void InitPlatformId() {
  std::call_once(g_platformOnce, [] {
    const char *env = std::getenv("MOVRELA_PLATFORM_ID");
    if (!env || !*env) return;
    char *end = nullptr;
    errno = 0;
    long id = std::strtol(env, &end, 10);
    if (errno == 0 && end != env && *end == '\0') g_platformId.store(id);
  });
}

}  // namespace

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
  InitPlatformId();
  if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  long id = g_platformId.load();
  if (id == -1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  info->dwMajorVersion = 5;
  info->dwMinorVersion = 1;
  info->dwBuildNumber = 2600;
  info->dwPlatformId = static_cast<DWORD>(id);
  std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
  std::snprintf(info->szCSDVersion, sizeof info->szCSDVersion, "Service Pack 3");
  return TRUE;
}

void GetSystemInfo(LPSYSTEM_INFO info) {
  std::memset(info, 0, sizeof *info);
  const long page = sysconf(_SC_PAGESIZE);
  const long processors = sysconf(_SC_NPROCESSORS_ONLN);
  info->dwPageSize = page > 0 ? static_cast<DWORD>(page) : 4096;
  info->dwAllocationGranularity = 65536;
  info->dwNumberOfProcessors = processors > 0 ? static_cast<DWORD>(processors) : 1;
  for (DWORD i = 0; i < info->dwNumberOfProcessors && i < 8 * sizeof(ULONG_PTR); ++i)
    info->dwActiveProcessorMask |= ULONG_PTR{1} << i;
}

extern "C" void StandinSetPlatformId(long id) {
  InitPlatformId(); /* so that a later first query does not override it */
  g_platformId.store(id);
}

void InitializeCriticalSection(LPCRITICAL_SECTION cs) {
  auto *mutex = new pthread_mutex_t;
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(mutex, &attr);
  pthread_mutexattr_destroy(&attr);
  cs->impl = mutex;
}

void EnterCriticalSection(LPCRITICAL_SECTION cs) {
  if (!cs || !cs->impl) {
    std::fprintf(stderr, "win32standin: EnterCriticalSection on an uninitialised section\n");
    std::abort();
  }
  pthread_mutex_lock(static_cast<pthread_mutex_t *>(cs->impl));
}

void LeaveCriticalSection(LPCRITICAL_SECTION cs) {
  if (!cs || !cs->impl) {
    std::fprintf(stderr, "win32standin: LeaveCriticalSection on an uninitialised section\n");
    std::abort();
  }
  pthread_mutex_unlock(static_cast<pthread_mutex_t *>(cs->impl));
}

void DeleteCriticalSection(LPCRITICAL_SECTION cs) {
  if (!cs || !cs->impl) return;
  auto *mutex = static_cast<pthread_mutex_t *>(cs->impl);
  pthread_mutex_destroy(mutex);
  delete mutex;
  cs->impl = nullptr;
}

/* Slots over POSIX keys: a new slot reads null on every thread. */
DWORD TlsAlloc(void) {
  pthread_key_t key;
  if (g_failTlsAlloc.load() || pthread_key_create(&key, nullptr) != 0 || key >= TLS_OUT_OF_INDEXES) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return TLS_OUT_OF_INDEXES;
  }
  return static_cast<DWORD>(key);
}

LPVOID TlsGetValue(DWORD index) {
  SetLastError(ERROR_SUCCESS);
  return pthread_getspecific(static_cast<pthread_key_t>(index));
}

BOOL TlsSetValue(DWORD index, LPVOID value) {
  if (index == TLS_OUT_OF_INDEXES ||
      pthread_setspecific(static_cast<pthread_key_t>(index), value) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}

BOOL TlsFree(DWORD index) {
  if (index == TLS_OUT_OF_INDEXES || pthread_key_delete(static_cast<pthread_key_t>(index)) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}

extern "C" void StandinFailTlsAlloc(int fail) { g_failTlsAlloc.store(fail); }

extern "C" void StandinPushGuard(StandinGuard *guard) {
  guard->next = t_guards;
  t_guards = guard;
}

extern "C" void StandinPopGuard(StandinGuard *guard) {
  if (t_guards != guard) {
    std::fprintf(stderr, "win32standin: guard popped out of order\n");
    std::abort();
  }
  t_guards = guard->next;
}

extern "C" void StandinSetFaultMark(StandinFaultMark *mark) {
  mark->guards = t_guards;
  mark->outer = t_mark;
  t_mark = mark;
}

extern "C" void StandinClearFaultMark(StandinFaultMark *mark) {
  t_mark = mark->outer;
  t_guards = mark->guards;
}

/* The host's catch: each guard above the mark runs as its frame unwinds,
 * then the host resumes at the mark. */
extern "C" void StandinFault(void) {
  StandinFaultMark *mark = t_mark;
  if (!mark) {
    std::fprintf(stderr, "win32standin: fault with no mark to catch it\n");
    std::abort();
  }
  while (t_guards != mark->guards) {
    StandinGuard *guard = t_guards;
    t_guards = guard->next;
    guard->onUnwind(guard);
  }
  std::longjmp(mark->jump, 1);
}
