/* GetVersionExA and its hooks, critical sections, the display's DCs and
 * colour profile, the root folder. */
#include "standin_test.h"

#include <cstring>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

class SystemTest : public StandinTest {
 protected:
  void TearDown() override {
    StandinSetPlatformId(VER_PLATFORM_WIN32_NT);
    StandinTest::TearDown();
  }
};

TEST_F(SystemTest, VersionInfoSizeMustBe148) {
  static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA is 148 bytes");
  const DWORD sizes[] = {0, 147, 149, 156, 1000, 148};
  for (DWORD size : sizes) {
    SCOPED_TRACE(size);
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = size;
    SetLastError(0);
    BOOL ok = GetVersionExA(&info);
    EXPECT_EQ(ok, size == 148 ? TRUE : FALSE);
    if (ok) {
      EXPECT_EQ(info.dwMajorVersion, 5u);
      EXPECT_EQ(info.dwMinorVersion, 1u);
      EXPECT_EQ(info.dwBuildNumber, 2600u);
      EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    } else {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
  }
  EXPECT_FALSE(GetVersionExA(nullptr));
}

TEST_F(SystemTest, SystemInfoCountsTheProcessors) {
  SYSTEM_INFO info;
  std::memset(&info, 0xA5, sizeof info);
  GetSystemInfo(&info);
  EXPECT_EQ(info.dwNumberOfProcessors, std::thread::hardware_concurrency());
  EXPECT_EQ(info.dwActiveProcessorMask, (ULONG_PTR{1} << info.dwNumberOfProcessors) - 1);
  EXPECT_EQ(info.dwPageSize, 4096u);
  EXPECT_EQ(info.wProcessorLevel, 0u);
}

TEST_F(SystemTest, PlatformIdHook) {
  struct Case {
    long id;
    BOOL ok;
  };
  const Case cases[] = {{VER_PLATFORM_WIN32s, TRUE},
                        {VER_PLATFORM_WIN32_WINDOWS, TRUE},
                        {VER_PLATFORM_WIN32_NT, TRUE},
                        {-1, FALSE}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    StandinSetPlatformId(c.id);
    OSVERSIONINFOA info;
    info.dwOSVersionInfoSize = sizeof info;
    info.dwPlatformId = 77;
    SetLastError(0);
    EXPECT_EQ(GetVersionExA(&info), c.ok);
    if (c.ok) {
      EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(c.id));
    } else {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
  }
}

TEST_F(SystemTest, PlatformIdFromTheEnvironment) {
  struct Case {
    const char *env; /* nullptr: unset */
    const char *printed;
  };
  const Case cases[] = {
      {nullptr, "2\n"}, {"0", "0\n"}, {"1", "1\n"}, {"-1", "fail\n"}, {"junk", "2\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.env ? c.env : "unset");
    std::string command = std::string(c.env ? std::string("MOVRELA_PLATFORM_ID=") + c.env
                                            : std::string("unset MOVRELA_PLATFORM_ID;")) +
                          " " + STANDIN_PROBE + " version";
    EXPECT_EQ(Run(command), c.printed);
  }
}

TEST_F(SystemTest, DisplayProfileHook) {
  const std::string path = Path("display profile.icm");
  const DWORD needed = static_cast<DWORD>(path.size() + 1);
  struct Case {
    bool set;      /* a profile is set */
    bool buffer;   /* a buffer is given (of `size` bytes) */
    DWORD size;
    BOOL ok;
    DWORD error;   /* last error afterwards (0: left alone) */
    DWORD sizeOut;
  };
  const Case cases[] = {
      {false, true, 300, FALSE, 0, 300},
      {true, false, 300, FALSE, ERROR_INSUFFICIENT_BUFFER, needed},
      {true, true, 0, FALSE, ERROR_INSUFFICIENT_BUFFER, needed},
      {true, true, needed - 1, FALSE, ERROR_INSUFFICIENT_BUFFER, needed},
      {true, true, needed, TRUE, 0, needed},
      {true, true, 300, TRUE, 0, needed},
  };
  HWND host = StandinCreateHostWindow(0, 0, 100, 100);
  for (HWND window : {static_cast<HWND>(nullptr), host}) {
    HDC dc = GetDC(window);
    ASSERT_NE(dc, nullptr);
    for (const Case &c : cases) {
      SCOPED_TRACE(testing::Message() << "set " << c.set << ", buffer " << c.buffer << " of "
                                      << c.size);
      StandinSetDisplayProfile(c.set ? path.c_str() : nullptr);
      char buf[300];
      std::memset(buf, 'x', sizeof buf);
      DWORD size = c.size;
      SetLastError(0);
      EXPECT_EQ(GetICMProfileA(dc, &size, c.buffer ? buf : nullptr), c.ok);
      EXPECT_EQ(size, c.sizeOut);
      EXPECT_EQ(GetLastError(), c.error);
      EXPECT_EQ(std::string(buf, c.ok ? needed : 1), c.ok ? path + '\0' : "x");
    }
    EXPECT_EQ(ReleaseDC(window, dc), 1);
    EXPECT_EQ(ReleaseDC(window, dc), 0);
    DWORD size = 300;
    EXPECT_FALSE(GetICMProfileA(dc, &size, nullptr)); /* released */
  }
  StandinDestroyHostWindow(host);
  EXPECT_EQ(GetDC(host), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(SystemTest, CriticalSectionExcludesOtherThreads) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  long counter = 0; /* deliberately not atomic */
  const int kRounds = 20000;
  auto work = [&] {
    for (int i = 0; i < kRounds; ++i) {
      EnterCriticalSection(&cs);
      EnterCriticalSection(&cs); /* recursive */
      long seen = counter;
      counter = seen + 1;
      LeaveCriticalSection(&cs);
      LeaveCriticalSection(&cs);
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(counter, 2L * kRounds);
  DeleteCriticalSection(&cs);
  EXPECT_EQ(cs.impl, nullptr);
}

TEST_F(SystemTest, CriticalSectionBlocksUntilLeft) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  std::atomic<bool> entered{false};
  std::thread other([&] {
    EnterCriticalSection(&cs);
    entered = true;
    LeaveCriticalSection(&cs);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(entered.load());
  LeaveCriticalSection(&cs);
  other.join();
  EXPECT_TRUE(entered.load());
  DeleteCriticalSection(&cs);
}

TEST_F(SystemTest, ThreadLocalSlotsAreNullOnEachThreadUntilSet) {
  DWORD slot = TlsAlloc();
  ASSERT_NE(slot, TLS_OUT_OF_INDEXES);
  int mine = 0, theirs = 0;
  EXPECT_EQ(TlsGetValue(slot), nullptr);
  EXPECT_TRUE(TlsSetValue(slot, &mine));
  std::thread other([&] {
    EXPECT_EQ(TlsGetValue(slot), nullptr);
    TlsSetValue(slot, &theirs);
  });
  other.join();
  EXPECT_EQ(TlsGetValue(slot), &mine);
  EXPECT_TRUE(TlsFree(slot));
  EXPECT_FALSE(TlsSetValue(TLS_OUT_OF_INDEXES, &mine));
}

TEST_F(SystemTest, EventsAndWaits) {
  HANDLE manual = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE automatic = CreateEventA(nullptr, FALSE, TRUE, nullptr);
  ASSERT_TRUE(manual && automatic);
  HANDLE both[] = {manual, automatic};
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_TIMEOUT); /* consumed */
  EXPECT_TRUE(SetEvent(manual));
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_TIMEOUT); /* not all */
  EXPECT_TRUE(SetEvent(automatic));
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0); /* stays set */
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(ResetEvent(manual));
  EXPECT_EQ(WaitForSingleObject(manual, 10), WAIT_TIMEOUT);
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    SetEvent(automatic);
  });
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
  setter.join();

  EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, "named"), nullptr);
  EXPECT_EQ(WaitForMultipleObjects(0, both, FALSE, 0), WAIT_FAILED);
  EXPECT_TRUE(CloseHandle(manual));
  EXPECT_TRUE(CloseHandle(automatic));
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(SetEvent(automatic));
  EXPECT_FALSE(CloseHandle(manual));
}

TEST_F(SystemTest, RootFolderFollowsTheEnvironment) {
  EXPECT_EQ(std::string(StandinRootFolder()), root_);
  setenv("MOVRELA_WINROOT", (root_ + "/").c_str(), 1);
  EXPECT_EQ(std::string(StandinRootFolder()), root_);
  unsetenv("MOVRELA_WINROOT");
  const char *home = std::getenv("HOME");
  if (home && *home) {
    EXPECT_EQ(std::string(StandinRootFolder()), std::string(home) + "/.movrela-winroot");
  }
  setenv("MOVRELA_WINROOT", root_.c_str(), 1);
}

}  // namespace
