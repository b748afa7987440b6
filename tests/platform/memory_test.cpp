/* Local memory (LocalAlloc family) and the process heap. */
#include "standin_test.h"

#include <cstring>
#include <thread>

namespace {

class MemoryTest : public StandinTest {};

bool AllZero(const void *p, size_t n) {
  const unsigned char *b = static_cast<const unsigned char *>(p);
  for (size_t i = 0; i < n; ++i)
    if (b[i]) return false;
  return true;
}

TEST_F(MemoryTest, FixedBlockIsItsOwnPointer) {
  long live = StandinLiveLocalBlocks();
  HLOCAL p = LocalAlloc(LMEM_FIXED, 16);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(StandinLiveLocalBlocks(), live + 1);
  EXPECT_EQ(LocalLock(p), p);
  EXPECT_EQ(LocalLock(p), p);
  EXPECT_EQ(StandinLocalLockCount(p), 0);
  EXPECT_EQ(LocalFlags(p), 0u);
  EXPECT_EQ(LocalSize(p), 16u);
  std::memset(p, 0x5A, 16); /* directly usable */
  SetLastError(0);
  EXPECT_FALSE(LocalUnlock(p));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_LOCKED));
  EXPECT_EQ(LocalFree(p), nullptr);
  EXPECT_EQ(StandinLiveLocalBlocks(), live);
}

TEST_F(MemoryTest, MoveableBlockIsAHandle) {
  HLOCAL h = LocalAlloc(LMEM_MOVEABLE, 32);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(StandinLocalLockCount(h), 0);
  void *p = LocalLock(h);
  ASSERT_NE(p, nullptr);
  EXPECT_NE(p, h);
  std::memset(p, 0x11, 32);
  EXPECT_EQ(LocalSize(h), 32u);
  /* The data pointer is no handle. */
  SetLastError(0);
  EXPECT_EQ(LocalSize(p), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(LocalLock(h), p);
  EXPECT_EQ(StandinLocalLockCount(h), 2);
  EXPECT_EQ(LocalFlags(h) & LMEM_LOCKCOUNT, 2u);
  EXPECT_TRUE(LocalUnlock(h));
  EXPECT_FALSE(LocalUnlock(h));
  EXPECT_EQ(LocalFree(h), nullptr);
}

TEST_F(MemoryTest, LocalUnlockResults) {
  /* Starting from `locks` locks, one unlock gives result/error/new count. */
  struct Case {
    int locks;
    BOOL result;
    DWORD error; /* 777 = left as it was */
    int countAfter;
  };
  const Case cases[] = {
      {0, FALSE, ERROR_NOT_LOCKED, 0},
      {1, FALSE, NO_ERROR, 0},
      {2, TRUE, 777, 1},
      {5, TRUE, 777, 4},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.locks);
    HLOCAL h = LocalAlloc(LHND, 8);
    ASSERT_NE(h, nullptr);
    for (int i = 0; i < c.locks; ++i) ASSERT_NE(LocalLock(h), nullptr);
    EXPECT_EQ(static_cast<UINT>(c.locks), LocalFlags(h));
    SetLastError(777);
    EXPECT_EQ(LocalUnlock(h), c.result);
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(StandinLocalLockCount(h), c.countAfter);
    EXPECT_EQ(LocalFree(h), nullptr);
  }
}

TEST_F(MemoryTest, ZeroInit) {
  const UINT flags[] = {LPTR, LHND, LMEM_FIXED | LMEM_ZEROINIT, LMEM_MOVEABLE | LMEM_ZEROINIT};
  for (UINT f : flags) {
    SCOPED_TRACE(f);
    HLOCAL h = LocalAlloc(f, 3000);
    ASSERT_NE(h, nullptr);
    void *p = LocalLock(h);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(AllZero(p, 3000));
    LocalUnlock(h);
    EXPECT_EQ(LocalFree(h), nullptr);
  }
}

TEST_F(MemoryTest, ZeroBytesGiveAUsableBlock) {
  for (UINT f : {LMEM_FIXED, LMEM_MOVEABLE}) {
    SCOPED_TRACE(f);
    HLOCAL h = LocalAlloc(f, 0);
    ASSERT_NE(h, nullptr);
    void *p = LocalLock(h);
    EXPECT_NE(p, nullptr); /* the stand-in's choice: a 1-byte buffer */
    EXPECT_EQ(LocalSize(h), 0u);
    LocalUnlock(h);
    EXPECT_EQ(LocalFree(h), nullptr);
  }
}

TEST_F(MemoryTest, BadHandlesFailWithoutCrashing) {
  int onStack = 0;
  HLOCAL freed = LocalAlloc(LMEM_MOVEABLE, 4);
  ASSERT_EQ(LocalFree(freed), nullptr);
  const HLOCAL bad[] = {&onStack, reinterpret_cast<HLOCAL>(0x1234), freed,
                        INVALID_HANDLE_VALUE};
  for (HLOCAL h : bad) {
    SCOPED_TRACE(h);
    SetLastError(0);
    EXPECT_EQ(LocalLock(h), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0);
    EXPECT_FALSE(LocalUnlock(h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(LocalSize(h), 0u);
    EXPECT_EQ(LocalFlags(h), LMEM_INVALID_HANDLE);
    EXPECT_EQ(StandinLocalLockCount(h), -1);
    EXPECT_EQ(LocalReAlloc(h, 8, LMEM_MOVEABLE), nullptr);
    SetLastError(0);
    EXPECT_EQ(LocalFree(h), h); /* failure returns the handle */
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  }
  EXPECT_EQ(LocalFree(nullptr), nullptr);
  EXPECT_EQ(LocalLock(nullptr), nullptr);
}

TEST_F(MemoryTest, LockedBlocksCanBeFreed) {
  HLOCAL h = LocalAlloc(LMEM_MOVEABLE, 10);
  ASSERT_NE(LocalLock(h), nullptr);
  EXPECT_EQ(LocalFree(h), nullptr);
}

TEST_F(MemoryTest, ReAllocMoveable) {
  HLOCAL h = LocalAlloc(LMEM_MOVEABLE, 4);
  std::memcpy(LocalLock(h), "abcd", 4);
  LocalUnlock(h);
  /* Unlocked: may move, the handle stays. */
  EXPECT_EQ(LocalReAlloc(h, 64, LMEM_ZEROINIT), h);
  EXPECT_EQ(LocalSize(h), 64u);
  char *p = static_cast<char *>(LocalLock(h));
  EXPECT_EQ(std::string(p, 4), "abcd");
  EXPECT_TRUE(AllZero(p + 4, 60));
  /* Locked: growing needs LMEM_MOVEABLE. */
  SetLastError(0);
  EXPECT_EQ(LocalReAlloc(h, 128, 0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(LocalSize(h), 64u);
  EXPECT_EQ(LocalReAlloc(h, 128, LMEM_MOVEABLE), h);
  EXPECT_EQ(StandinLocalLockCount(h), 1);
  p = static_cast<char *>(LocalLock(h));
  EXPECT_EQ(std::string(p, 4), "abcd");
  /* Shrinking works in place. */
  EXPECT_EQ(LocalReAlloc(h, 2, 0), h);
  EXPECT_EQ(LocalSize(h), 2u);
  EXPECT_EQ(LocalLock(h), p);
  EXPECT_EQ(LocalFree(h), nullptr);
}

TEST_F(MemoryTest, ReAllocFixed) {
  long live = StandinLiveLocalBlocks();
  HLOCAL p = LocalAlloc(LMEM_FIXED, 8);
  std::memcpy(p, "12345678", 8);
  SetLastError(0);
  EXPECT_EQ(LocalReAlloc(p, 4096, 0), nullptr); /* a fixed block may not move */
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  HLOCAL q = LocalReAlloc(p, 4096, LMEM_MOVEABLE);
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(std::string(static_cast<char *>(q), 8), "12345678");
  EXPECT_EQ(LocalSize(q), 4096u);
  EXPECT_EQ(LocalLock(q), q); /* still fixed */
  EXPECT_EQ(StandinLiveLocalBlocks(), live + 1);
  EXPECT_EQ(LocalFree(q), nullptr);
  EXPECT_EQ(StandinLiveLocalBlocks(), live);
}

TEST_F(MemoryTest, FailureInjection) {
  struct Case {
    long failAt;
    std::vector<bool> succeeds; /* outcome of the following allocations */
  };
  const Case cases[] = {
      {1, {false, true, true}},
      {3, {true, true, false, true}},
      {0, {true, true}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.failAt);
    long live = StandinLiveLocalBlocks();
    StandinFailLocalAllocAt(c.failAt);
    std::vector<HLOCAL> blocks;
    for (size_t i = 0; i < c.succeeds.size(); ++i) {
      SetLastError(0);
      HLOCAL h = LocalAlloc(i % 2 ? LMEM_FIXED : LMEM_MOVEABLE, 16);
      EXPECT_EQ(h != nullptr, c.succeeds[i]) << "allocation " << i + 1;
      if (h) {
        blocks.push_back(h);
      } else {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
      }
    }
    for (HLOCAL h : blocks) EXPECT_EQ(LocalFree(h), nullptr);
    EXPECT_EQ(StandinLiveLocalBlocks(), live);
  }
  /* Absurd sizes fail cleanly. */
  SetLastError(0);
  EXPECT_EQ(LocalAlloc(LMEM_MOVEABLE, SIZE_T(1) << 40), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST_F(MemoryTest, LiveCountReturnsToStart) {
  long live = StandinLiveLocalBlocks();
  std::vector<HLOCAL> blocks;
  for (int i = 0; i < 10; ++i) blocks.push_back(LocalAlloc(i % 2 ? LHND : LPTR, 8 * i));
  EXPECT_EQ(StandinLiveLocalBlocks(), live + 10);
  for (HLOCAL h : blocks) LocalFree(h);
  EXPECT_EQ(StandinLiveLocalBlocks(), live);
}

TEST_F(MemoryTest, ThreadsAllocateConcurrently) {
  long live = StandinLiveLocalBlocks();
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 500; ++i) {
        HLOCAL h = LocalAlloc(LHND, 16 + i);
        char *p = static_cast<char *>(LocalLock(h));
        if (!p) {
          ++failures[t];
          continue;
        }
        p[0] = static_cast<char>(t);
        if (LocalUnlock(h) || StandinLocalLockCount(h) != 0 || LocalFree(h)) ++failures[t];
      }
    });
  }
  for (auto &th : threads) th.join();
  for (int f : failures) EXPECT_EQ(f, 0);
  EXPECT_EQ(StandinLiveLocalBlocks(), live);
}

TEST_F(MemoryTest, ProcessHeap) {
  HANDLE heap = GetProcessHeap();
  ASSERT_NE(heap, nullptr);
  EXPECT_EQ(GetProcessHeap(), heap);
  void *p = HeapAlloc(heap, HEAP_ZERO_MEMORY, 2000);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(AllZero(p, 2000));
  EXPECT_TRUE(HeapFree(heap, 0, p));
  EXPECT_TRUE(HeapFree(heap, 0, nullptr));
  int other;
  EXPECT_EQ(HeapAlloc(&other, 0, 8), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
