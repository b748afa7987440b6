/* Files: CreateFileA, ReadFile, WriteFile, SetFilePointer, GetFileSize,
 * GetFileType, GetFileTime, GetFileAttributesA, CloseHandle. */
#include "standin_test.h"

#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

class FilesTest : public StandinTest {
 protected:
  HANDLE Open(const std::string &path, DWORD access, DWORD disposition) {
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  /* A file of 100 bytes 0, 1, ... 99. */
  std::string MakeHundred() {
    std::string text;
    for (int i = 0; i < 100; ++i) text += static_cast<char>(i);
    std::string path = Path("hundred.bin");
    WriteText(path, text);
    return path;
  }
};

TEST_F(FilesTest, WriteThenReadBack) {
  std::string path = Path("data.txt");
  HANDLE h = Open(path, GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(h, "hello world", 11, &written, nullptr));
  EXPECT_EQ(written, 11u);
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(ReadText(path), "hello world");

  h = Open(path, GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char buf[32] = {};
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &read, nullptr));
  EXPECT_EQ(read, 11u);
  EXPECT_EQ(std::string(buf, read), "hello world");
  EXPECT_TRUE(CloseHandle(h));
}

TEST_F(FilesTest, HandlesAreSmallDistinctAndNotPointers) {
  std::string path = MakeHundred();
  long before = StandinOpenFiles();
  std::vector<HANDLE> handles;
  std::set<HANDLE> distinct;
  for (int i = 0; i < 8; ++i) {
    HANDLE h = Open(path, GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_NE(h, nullptr);
    EXPECT_LT(reinterpret_cast<uintptr_t>(h), 0x10000u);
    EXPECT_EQ(HIWORD(h), 0u);
    handles.push_back(h);
    distinct.insert(h);
  }
  EXPECT_EQ(distinct.size(), handles.size());
  EXPECT_EQ(StandinOpenFiles(), before + 8);
  for (HANDLE h : handles) EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(StandinOpenFiles(), before);
}

TEST_F(FilesTest, ClosedHandleIsInvalid) {
  HANDLE h = Open(MakeHundred(), GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(CloseHandle(h));
  SetLastError(0);
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  char c;
  DWORD read = 7;
  EXPECT_FALSE(ReadFile(h, &c, 1, &read, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(read, 0u);
}

TEST_F(FilesTest, InvalidHandlesAreRefused) {
  int local = 0;
  const HANDLE bad[] = {nullptr, INVALID_HANDLE_VALUE, reinterpret_cast<HANDLE>(4000),
                        reinterpret_cast<HANDLE>(5), &local};
  for (HANDLE h : bad) {
    SCOPED_TRACE(reinterpret_cast<uintptr_t>(h));
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GetFileSize(h, nullptr), INVALID_FILE_SIZE);
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GetFileType(h), FILE_TYPE_UNKNOWN);
    FILETIME written;
    EXPECT_FALSE(GetFileTime(h, nullptr, nullptr, &written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  }
}

TEST_F(FilesTest, MissingFileAndFolder) {
  struct Case {
    const char *name;
    DWORD disposition;
    DWORD error;
  };
  const Case cases[] = {
      {"missing.bin", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
      {"missing.bin", TRUNCATE_EXISTING, ERROR_FILE_NOT_FOUND},
      {"no-folder/missing.bin", OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
      {"no-folder/new.bin", CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    SetLastError(0);
    HANDLE h = Open(Path(c.name), GENERIC_READ | GENERIC_WRITE, c.disposition);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), c.error);
    SetLastError(0);
    EXPECT_EQ(GetFileAttributesA(Path(c.name).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_FALSE(std::filesystem::exists(Path("missing.bin")));
}

TEST_F(FilesTest, FolderCannotBeOpened) {
  SetLastError(0);
  EXPECT_EQ(Open(root_, GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

/* Each kind of name: its attributes, whether it opens for reading, at once
 * (a FIFO without a writer too), and the handle's type. */
TEST_F(FilesTest, KindsOfFileAsWindowsTellsThem) {
  namespace fs = std::filesystem;
  WriteText(Path("plain"), "x");
  fs::create_directory(Path("folder"));
  fs::create_symlink(Path("plain"), Path("link"));
  fs::create_directory_symlink(Path("folder"), Path("folder link"));
  ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
  const DWORD kLink = FILE_ATTRIBUTE_REPARSE_POINT;
  const struct {
    std::string name;
    DWORD attributes;
    DWORD type; /* FILE_TYPE_UNKNOWN: does not open */
  } cases[] = {
      {Path("plain"), FILE_ATTRIBUTE_ARCHIVE, FILE_TYPE_DISK},
      {Path("folder"), FILE_ATTRIBUTE_DIRECTORY, FILE_TYPE_UNKNOWN},
      {Path("link"), kLink | FILE_ATTRIBUTE_ARCHIVE, FILE_TYPE_DISK},
      {Path("folder link"), kLink | FILE_ATTRIBUTE_DIRECTORY, FILE_TYPE_UNKNOWN},
      {Path("fifo"), FILE_ATTRIBUTE_ARCHIVE, FILE_TYPE_PIPE},
      {"/dev/null", FILE_ATTRIBUTE_DEVICE, FILE_TYPE_CHAR},
  };
  alarm(10); /* an open that waits ends the test instead of hanging it */
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(GetFileAttributesA(c.name.c_str()), c.attributes);
    HANDLE h = Open(c.name, GENERIC_READ, OPEN_EXISTING);
    EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.type != FILE_TYPE_UNKNOWN);
    if (h == INVALID_HANDLE_VALUE) continue;
    EXPECT_EQ(GetFileType(h), c.type);
    EXPECT_TRUE(CloseHandle(h));
  }
  alarm(0);
}

TEST_F(FilesTest, BackslashesAreSeparators) {
  std::filesystem::create_directories(Path("sub/deeper"));
  WriteText(Path("sub/deeper/file.txt"), "xyz");
  std::string name = root_ + "\\sub\\deeper\\file.txt";
  HANDLE h = Open(name, GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(h, nullptr), 3u);
  EXPECT_TRUE(CloseHandle(h));
}

TEST_F(FilesTest, Dispositions) {
  struct Case {
    const char *label;
    bool exists; /* "old content" present before */
    DWORD disposition;
    bool opens;
    DWORD error;          /* GetLastError afterwards */
    const char *content;  /* file content afterwards (nullptr: no file) */
  };
  const Case cases[] = {
      {"create new, missing", false, CREATE_NEW, true, ERROR_SUCCESS, ""},
      {"create new, existing", true, CREATE_NEW, false, ERROR_FILE_EXISTS, "old content"},
      {"create always, missing", false, CREATE_ALWAYS, true, ERROR_SUCCESS, ""},
      {"create always, existing", true, CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, ""},
      {"open always, missing", false, OPEN_ALWAYS, true, ERROR_SUCCESS, ""},
      {"open always, existing", true, OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, "old content"},
      {"open existing, existing", true, OPEN_EXISTING, true, ERROR_SUCCESS, "old content"},
      {"open existing, missing", false, OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr},
      {"truncate existing", true, TRUNCATE_EXISTING, true, ERROR_SUCCESS, ""},
      {"bad disposition", true, 77, false, ERROR_INVALID_PARAMETER, "old content"},
  };
  int n = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.label);
    std::string path = Path("case" + std::to_string(n++));
    if (c.exists) WriteText(path, "old content");
    SetLastError(12345);
    HANDLE h = Open(path, GENERIC_READ | GENERIC_WRITE, c.disposition);
    EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.opens);
    EXPECT_EQ(GetLastError(), c.error);
    if (h != INVALID_HANDLE_VALUE) {
      EXPECT_TRUE(CloseHandle(h));
    }
    if (c.content) {
      EXPECT_EQ(ReadText(path), c.content);
    } else {
      EXPECT_FALSE(std::filesystem::exists(path));
    }
  }
}

TEST_F(FilesTest, ReadAtEndOfFileSucceedsWithZeroBytes) {
  HANDLE h = Open(MakeHundred(), GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char buf[64];
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(h, buf, 64, &read, nullptr));
  EXPECT_EQ(read, 64u);
  ASSERT_TRUE(ReadFile(h, buf, 64, &read, nullptr)); /* short read: what is left */
  EXPECT_EQ(read, 36u);
  EXPECT_EQ(buf[0], 64);
  EXPECT_EQ(buf[35], 99);
  read = 99;
  EXPECT_TRUE(ReadFile(h, buf, 64, &read, nullptr)); /* end of file */
  EXPECT_EQ(read, 0u);
  EXPECT_TRUE(ReadFile(h, buf, 0, &read, nullptr));
  EXPECT_EQ(read, 0u);
  EXPECT_TRUE(CloseHandle(h));
}

TEST_F(FilesTest, SetFilePointerMovesAndReports) {
  HANDLE h = Open(MakeHundred(), GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  struct Step {
    LONG distance;
    DWORD method;
    DWORD expected; /* new position, or INVALID_SET_FILE_POINTER */
    DWORD error;
    int byteThere; /* byte read at the new position, -1: none (end) */
  };
  const Step steps[] = {
      {10, FILE_BEGIN, 10, NO_ERROR, 10},
      {5, FILE_CURRENT, 16, NO_ERROR, 16}, /* after reading one byte at 10 */
      {-10, FILE_END, 90, NO_ERROR, 90},
      {-1, FILE_CURRENT, 90, NO_ERROR, 90},
      {0, FILE_END, 100, NO_ERROR, -1},
      {250, FILE_BEGIN, 250, NO_ERROR, -1}, /* past the end is allowed */
      {-1, FILE_BEGIN, INVALID_SET_FILE_POINTER, ERROR_NEGATIVE_SEEK, -2},
      {-200, FILE_END, INVALID_SET_FILE_POINTER, ERROR_NEGATIVE_SEEK, -2},
      {0, 9, INVALID_SET_FILE_POINTER, ERROR_INVALID_PARAMETER, -2},
  };
  for (const Step &s : steps) {
    SCOPED_TRACE(testing::Message() << s.distance << " method " << s.method);
    SetLastError(12345);
    DWORD pos = SetFilePointer(h, s.distance, nullptr, s.method);
    EXPECT_EQ(pos, s.expected);
    EXPECT_EQ(GetLastError(), s.error);
    if (s.byteThere == -2) continue;
    unsigned char c = 0;
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(h, &c, 1, &read, nullptr));
    if (s.byteThere < 0) {
      EXPECT_EQ(read, 0u);
    } else {
      EXPECT_EQ(read, 1u);
      EXPECT_EQ(c, s.byteThere);
    }
  }
  LONG high = 0;
  EXPECT_EQ(SetFilePointer(h, 20, &high, FILE_BEGIN), 20u);
  EXPECT_EQ(high, 0);
  DWORD sizeHigh = 77;
  EXPECT_EQ(GetFileSize(h, &sizeHigh), 100u);
  EXPECT_EQ(sizeHigh, 0u);
  EXPECT_TRUE(CloseHandle(h));
}

TEST_F(FilesTest, WrongAccessIsDenied) {
  std::string path = MakeHundred();
  HANDLE h = Open(path, GENERIC_WRITE, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char c;
  DWORD n;
  EXPECT_FALSE(ReadFile(h, &c, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(CloseHandle(h));
  h = Open(path, GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(WriteFile(h, "x", 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(CloseHandle(h));
}

TEST_F(FilesTest, ThreadsOpenAndCloseConcurrently) {
  std::string path = MakeHundred();
  long before = StandinOpenFiles();
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
          ++failures[t];
          continue;
        }
        unsigned char c = 0;
        DWORD read = 0;
        if (SetFilePointer(h, t * 10 + 1, nullptr, FILE_BEGIN) != DWORD(t * 10 + 1) ||
            !ReadFile(h, &c, 1, &read, nullptr) || read != 1 || c != t * 10 + 1)
          ++failures[t];
        if (!CloseHandle(h)) ++failures[t];
      }
    });
  }
  for (auto &th : threads) th.join();
  for (int f : failures) EXPECT_EQ(f, 0);
  EXPECT_EQ(StandinOpenFiles(), before);
}

TEST_F(FilesTest, LastErrorIsPerThread) {
  SetLastError(1234);
  DWORD seen = 0;
  std::thread other([&] {
    seen = GetLastError();
    SetLastError(99);
  });
  other.join();
  EXPECT_EQ(seen, 0u);
  EXPECT_EQ(GetLastError(), 1234u);
}

}  // namespace
