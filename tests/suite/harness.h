/*
 * harness.h - a small test harness for suites that run both natively and as
 * Windows programs under Wine (where GoogleTest is not available).
 *
 * SUITE_CASE(name) { ... } defines a case; CHECK and CHECK_EQ record
 * failures with file and line and go on. Each case starts with a clean
 * per-user store: natively a fresh stand-in root folder, on Windows the
 * plug-in's and the viewer's registry keys deleted. Natively a case also
 * fails when it leaves local-memory blocks or files behind. main() prints
 * "N passed, N failed" and exits non-zero on any failure. suite::Thread
 * runs a function on a thread of its own.
 *
 * A case named alone_... runs only in a process of its own, started by
 * another case with suite::RunAlone: a crash there fails that case alone.
 * The child keeps the store the parent prepared.
 */
#ifndef MOVRELA_TEST_HARNESS_H
#define MOVRELA_TEST_HARNESS_H

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#endif

namespace suite {

typedef void (*CaseFn)();

struct Case {
  const char *name;
  CaseFn fn;
};

inline std::vector<Case> &Cases() {
  static std::vector<Case> cases;
  return cases;
}

struct State {
  int failures = 0; /* in the running case */
  const char *current = "";
  std::string argument; /* first command-line argument, if any */
};

inline State &Current() {
  static State state;
  return state;
}

struct Registrar {
  Registrar(const char *name, CaseFn fn) { Cases().push_back({name, fn}); }
};

inline void Report(const char *file, int line, const std::string &what) {
  ++Current().failures;
  std::printf("  FAIL %s (%s:%d): %s\n", Current().current, file, line, what.c_str());
}

inline std::string Show(long long v) { return std::to_string(v); }
inline std::string Show(const std::string &v) { return "\"" + v + "\""; }
inline std::string Show(const char *v) { return v ? Show(std::string(v)) : "null"; }

/* Byte-exact text for messages: non-printable bytes as \xNN. */
inline std::string Bytes(const void *data, size_t n) {
  std::string out;
  const unsigned char *p = static_cast<const unsigned char *>(data);
  for (size_t i = 0; i < n; ++i) {
    char piece[8];
    if (p[i] >= 0x20 && p[i] < 0x7f) std::snprintf(piece, sizeof piece, "%c", p[i]);
    else std::snprintf(piece, sizeof piece, "\\x%02X", p[i]);
    out += piece;
  }
  return out;
}

/* A Unix path given on the command line, as the program must name it: under
 * Wine the Unix file system is drive Z:. */
inline std::string Path(const std::string &unixPath) {
#ifdef _WIN32
  if (!unixPath.empty() && unixPath[0] == '/') return "Z:" + unixPath;
#endif
  return unixPath;
}

/* The running program's own module: its string table and dialogs are the
 * plug-in's when a suite links the plug-in's sources. */
inline HINSTANCE SelfInstance() {
#ifdef _WIN32
  return GetModuleHandleA(nullptr);
#else
  return StandinSelfModule();
#endif
}

/* Exports are looked up as FARPROC and called through their real type. */
template <typename F>
F ProcAs(FARPROC proc) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
}

/* Whether a local-memory block is unlocked, as the host must get it. */
inline bool Unlocked(HLOCAL h) {
#ifdef _WIN32
  return (LocalFlags(h) & LMEM_LOCKCOUNT) == 0;
#else
  return StandinLocalLockCount(h) == 0;
#endif
}

/* Deletes every value the plug-in or the viewer may have stored. */
inline void ResetStore() {
#ifdef _WIN32
  RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Doru");
  RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Merovane");
#else
  static int serial = 0;
  char folder[256];
  std::snprintf(folder, sizeof folder, "%s/movrela-suite-%d-%d",
                std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp", (int)getpid(), ++serial);
  std::string command = std::string("rm -rf '") + folder + "'";
  if (std::system(command.c_str()) != 0) std::printf("  cannot clear %s\n", folder);
  setenv("MOVRELA_WINROOT", folder, 1);
  StandinSetPlatformId(VER_PLATFORM_WIN32_NT);
  StandinSetRegistryDenied(0);
#endif
}

/* Threads without std::thread, which this MinGW toolchain lacks. */
struct Thread {
  typedef void (*Body)(void *);
  Body body;
  void *argument;
#ifdef _WIN32
  HANDLE handle = nullptr;
  static DWORD WINAPI Run(LPVOID self) {
    Thread *t = static_cast<Thread *>(self);
    t->body(t->argument);
    return 0;
  }
  void start() { handle = CreateThread(nullptr, 0, Run, this, 0, nullptr); }
  void join() {
    if (handle) {
      WaitForSingleObject(handle, INFINITE);
      CloseHandle(handle);
    }
  }
#else
  std::thread thread;
  void start() { thread = std::thread(body, argument); }
  void join() { thread.join(); }
#endif
};

/* Runs the case `name` (an alone_... case) in a process of its own: this
 * program again, told to run that case only. Returns its exit code; 0 when
 * the case passed. */
inline long RunAlone(const char *name) {
  std::fflush(stdout);
#ifdef _WIN32
  char exe[MAX_PATH];
  if (GetModuleFileNameA(nullptr, exe, sizeof exe) == 0) return -1;
  std::string line = "\"" + std::string(exe) + "\" \"" + Current().argument + "\" --only " + name;
  STARTUPINFOA start = {};
  start.cb = sizeof start;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start,
                      &process))
    return -1;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<long>(code);
#else
  pid_t pid = fork();
  if (pid == 0) {
    execl("/proc/self/exe", "/proc/self/exe", Current().argument.c_str(), "--only", name,
          static_cast<char *>(nullptr));
    _exit(127);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
#endif
}

inline int RunAll(int argc, char **argv) {
  if (argc > 1) Current().argument = argv[1];
  const char *only = nullptr; /* --only NAME: that case, in the store as it is */
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--only") == 0) only = argv[i + 1];
#ifdef _WIN32
  if (only) SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX); /* no crash dialog */
#endif
  int passed = 0, failed = 0;
  for (const Case &c : Cases()) {
    if (only ? std::strcmp(c.name, only) != 0 : std::strncmp(c.name, "alone_", 6) == 0) continue;
    Current().current = c.name;
    Current().failures = 0;
    if (!only) ResetStore();
#ifndef _WIN32
    long blocks = StandinLiveLocalBlocks();
    long files = StandinOpenFiles();
#endif
    c.fn();
#ifndef _WIN32
    if (StandinLiveLocalBlocks() != blocks)
      Report(__FILE__, __LINE__, "local-memory blocks left behind: " +
                                     Show(StandinLiveLocalBlocks() - blocks));
    if (StandinOpenFiles() != files)
      Report(__FILE__, __LINE__, "files left open: " + Show(StandinOpenFiles() - files));
#endif
    if (Current().failures == 0) {
      ++passed;
      std::printf("ok   %s\n", c.name);
    } else {
      ++failed;
      std::printf("FAIL %s\n", c.name);
    }
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  std::fflush(stdout);
  return failed == 0 ? 0 : 1;
}

}  // namespace suite

#define SUITE_CASE(name)                                             \
  static void name();                                                \
  static suite::Registrar name##_registrar(#name, name);             \
  static void name()

#define CHECK(cond)                                                  \
  do {                                                               \
    if (!(cond)) suite::Report(__FILE__, __LINE__, "CHECK(" #cond ")"); \
  } while (0)

#define CHECK_EQ(actual, expected)                                                    \
  do {                                                                                \
    auto actual_ = (actual);                                                          \
    auto expected_ = (expected);                                                      \
    if (!(actual_ == expected_))                                                      \
      suite::Report(__FILE__, __LINE__,                                               \
                    std::string(#actual " is ") + suite::Show(actual_) + ", expected " + \
                        suite::Show(expected_));                                      \
  } while (0)

/* CHECK and CHECK_EQ for rows of a table: `where` names the row. */
#define CHECK_AT(where, cond)                                                              \
  do {                                                                                     \
    if (!(cond)) suite::Report(__FILE__, __LINE__, std::string(where) + ": CHECK(" #cond ")"); \
  } while (0)

#define CHECK_EQ_AT(where, actual, expected)                                               \
  do {                                                                                     \
    auto actual_ = (actual);                                                               \
    auto expected_ = (expected);                                                           \
    if (!(actual_ == expected_))                                                           \
      suite::Report(__FILE__, __LINE__, std::string(where) + ": " #actual " is " +          \
                                            suite::Show(actual_) + ", expected " +          \
                                            suite::Show(expected_));                        \
  } while (0)

#define SUITE_MAIN() \
  int main(int argc, char **argv) { return suite::RunAll(argc, argv); }

#endif /* MOVRELA_TEST_HARNESS_H */
