/* Registry: the HKEY_CURRENT_USER hive on disk. */
#include "standin_test.h"

#include <cstring>
#include <thread>

namespace {

class RegistryTest : public StandinTest {
 protected:
  HKEY Create(const char *path, REGSAM sam = KEY_ALL_ACCESS, HKEY parent = HKEY_CURRENT_USER) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, sam, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS)
        << path;
    return key;
  }
  LONG Open(const char *path, REGSAM sam, HKEY *key, HKEY parent = HKEY_CURRENT_USER) {
    return RegOpenKeyExA(parent, path, 0, sam, key);
  }
  /* Stores exactly `bytes`: a non-zero byte follows them, so the registry
   * does not add a terminator a string count seems to have forgotten. */
  static LONG SetBytes(HKEY key, const char *name, DWORD type, const std::string &bytes) {
    std::string data = bytes + '#';
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE *>(data.data()),
                          static_cast<DWORD>(bytes.size()));
  }
  static LONG GetBytes(HKEY key, const char *name, std::string &bytes, DWORD *type = nullptr) {
    BYTE buf[512];
    DWORD size = sizeof buf;
    LONG rc = RegQueryValueExA(key, name, nullptr, type, buf, &size);
    bytes.assign(reinterpret_cast<char *>(buf), rc == ERROR_SUCCESS ? size : 0);
    return rc;
  }
  bool RootIsEmpty() const { return std::filesystem::is_empty(root_); }
};

TEST_F(RegistryTest, OpeningAMissingKeyFailsAndCreatesNothing) {
  const char *paths[] = {"Software\\Missing", "Software", "A\\B\\C"};
  for (const char *path : paths) {
    SCOPED_TRACE(path);
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(Open(path, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(Open(path, KEY_ALL_ACCESS, &key), ERROR_FILE_NOT_FOUND);
  }
  EXPECT_TRUE(RootIsEmpty());
  /* Reading from the hive itself creates nothing either. */
  std::string bytes;
  EXPECT_EQ(GetBytes(HKEY_CURRENT_USER, "x", bytes), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(RootIsEmpty());
}

TEST_F(RegistryTest, CreateReportsDispositionAndMakesParents) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Doru\\movrela", 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Doru\\movrela", 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_READ, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  for (const char *parent : {"Software", "Software\\Doru"}) {
    ASSERT_EQ(Open(parent, KEY_READ, &key), ERROR_SUCCESS) << parent;
    RegCloseKey(key);
  }
}

TEST_F(RegistryTest, NullOrEmptySubKeyOpensTheKeyItself) {
  HKEY base = Create("Software\\Self");
  ASSERT_EQ(SetBytes(base, "v", REG_BINARY, "abc"), ERROR_SUCCESS);
  for (const char *sub : {static_cast<const char *>(nullptr), ""}) {
    HKEY again = nullptr;
    ASSERT_EQ(Open(sub, KEY_READ, &again, base), ERROR_SUCCESS);
    EXPECT_NE(again, base);
    std::string bytes;
    EXPECT_EQ(GetBytes(again, "v", bytes), ERROR_SUCCESS);
    EXPECT_EQ(bytes, "abc");
    RegCloseKey(again);
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(base, sub, 0, nullptr, 0, KEY_READ, nullptr, &again, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(again);
  }
  RegCloseKey(base);
}

TEST_F(RegistryTest, QuerySizesAndMoreData) {
  HKEY key = Create("Software\\Sizes");
  DWORD value = 0x01020304;
  ASSERT_EQ(RegSetValueExA(key, "Number", 0, REG_DWORD, reinterpret_cast<BYTE *>(&value), 4),
            ERROR_SUCCESS);
  /* No buffer: the size. */
  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Number", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(size, 4u);
  /* Too small: ERROR_MORE_DATA, the size needed, the buffer untouched. */
  BYTE small[3] = {0xCC, 0xCC, 0xCC};
  size = 2;
  type = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Number", nullptr, &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(small[0], 0xCC);
  EXPECT_EQ(small[1], 0xCC);
  /* Exact size. */
  DWORD out = 0;
  size = 4;
  EXPECT_EQ(RegQueryValueExA(key, "Number", nullptr, nullptr, reinterpret_cast<BYTE *>(&out), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(out, value);
  /* Missing value. */
  size = 4;
  EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, &type, reinterpret_cast<BYTE *>(&out), &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  /* A buffer needs a size. */
  EXPECT_EQ(RegQueryValueExA(key, "Number", nullptr, nullptr, reinterpret_cast<BYTE *>(&out), nullptr),
            ERROR_INVALID_PARAMETER);
  RegCloseKey(key);
}

TEST_F(RegistryTest, ValuesReadBackByteExact) {
  struct Case {
    const char *name;
    DWORD type;
    std::string bytes;
  };
  const Case cases[] = {
      {"sz with terminator", REG_SZ, std::string("abc", 4)},
      {"sz without terminator", REG_SZ, std::string("abc", 3)},
      {"empty sz", REG_SZ, std::string()},
      {"only terminator", REG_SZ, std::string(1, '\0')},
      {"binary", REG_BINARY, std::string("\x00\xff\x10\x00\x7f", 5)},
      {"shift_jis", REG_SZ, std::string("\x93\xfa\x96\x7b\x8c\xea", 7)},
      {"dword", REG_DWORD, std::string("\x01\x00\x00\x00", 4)},
      {"multi", REG_MULTI_SZ, std::string("a\0bc\0\0", 6)},
  };
  HKEY key = Create("Software\\Exact");
  for (const Case &c : cases) ASSERT_EQ(SetBytes(key, c.name, c.type, c.bytes), ERROR_SUCCESS);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    BYTE buf[64];
    std::memset(buf, 'X', sizeof buf);
    DWORD size = sizeof buf, type = 0;
    ASSERT_EQ(RegQueryValueExA(key, c.name, nullptr, &type, buf, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, c.type);
    ASSERT_EQ(size, c.bytes.size());
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), size), c.bytes);
    EXPECT_EQ(buf[size], 'X') << "nothing written past the stored bytes";
  }
  RegCloseKey(key);
}

TEST_F(RegistryTest, StringCountWithoutTerminatorGetsOneWhenTheStringEndsThere) {
  HKEY key = Create("Software\\Exact");
  struct Case {
    DWORD type;
    const char *data; /* the caller's buffer, read one byte past the count */
    DWORD count;
    DWORD stored;
  } cases[] = {
      {REG_SZ, "abc", 3, 4},          /* the string ends after the count */
      {REG_SZ, "abcd", 3, 3},         /* it does not */
      {REG_EXPAND_SZ, "%x%", 3, 4},
      {REG_BINARY, "ab", 2, 2},       /* not a string type */
      {REG_SZ, "ab\0\0", 3, 3},       /* already terminated */
  };
  for (const Case &c : cases) {
    ASSERT_EQ(RegSetValueExA(key, "v", 0, c.type, reinterpret_cast<const BYTE *>(c.data), c.count),
              ERROR_SUCCESS);
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, c.stored) << c.data;
  }
  RegCloseKey(key);
}

TEST_F(RegistryTest, OverwriteReplacesTypeAndSize) {
  HKEY key = Create("Software\\Over");
  ASSERT_EQ(SetBytes(key, "v", REG_SZ, std::string("long text", 10)), ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(key, "V", REG_DWORD, std::string("\x02\x00\x00\x00", 4)), ERROR_SUCCESS);
  DWORD type = 0;
  std::string bytes;
  ASSERT_EQ(GetBytes(key, "v", bytes, &type), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(bytes.size(), 4u);
  RegCloseKey(key);
}

TEST_F(RegistryTest, KeysAndValueNamesIgnoreCase) {
  HKEY key = Create("Software\\Doru\\Movrela\\J6I");
  ASSERT_EQ(SetBytes(key, "Quality", REG_SZ, "high"), ERROR_SUCCESS);
  RegCloseKey(key);
  const char *spellings[] = {"SOFTWARE\\doru\\MOVRELA\\j6i", "software\\DORU\\movrela\\J6I"};
  for (const char *path : spellings) {
    SCOPED_TRACE(path);
    ASSERT_EQ(Open(path, KEY_READ, &key), ERROR_SUCCESS);
    for (const char *name : {"quality", "QUALITY", "QuAlItY"}) {
      std::string bytes;
      EXPECT_EQ(GetBytes(key, name, bytes), ERROR_SUCCESS) << name;
      EXPECT_EQ(bytes, "high");
    }
    RegCloseKey(key);
  }
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\DORU", 0, nullptr, 0, KEY_READ, nullptr,
                            &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  RegCloseKey(key);
}

TEST_F(RegistryTest, DefaultValueHasTwoNames) {
  HKEY key = Create("Software\\Default");
  ASSERT_EQ(SetBytes(key, nullptr, REG_SZ, std::string("dflt", 5)), ERROR_SUCCESS);
  std::string bytes;
  EXPECT_EQ(GetBytes(key, "", bytes), ERROR_SUCCESS);
  EXPECT_EQ(bytes, std::string("dflt", 5));
  EXPECT_EQ(RegDeleteValueA(key, ""), ERROR_SUCCESS);
  EXPECT_EQ(GetBytes(key, nullptr, bytes), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST_F(RegistryTest, AccessRightsOfTheHandle) {
  HKEY writer = Create("Software\\Rights");
  ASSERT_EQ(SetBytes(writer, "v", REG_SZ, "x"), ERROR_SUCCESS);
  RegCloseKey(writer);

  HKEY reader = nullptr;
  ASSERT_EQ(Open("Software\\Rights", KEY_READ, &reader), ERROR_SUCCESS);
  EXPECT_EQ(SetBytes(reader, "v", REG_SZ, "y"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(SetBytes(reader, "new", REG_SZ, "y"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(reader, "v"), ERROR_ACCESS_DENIED);
  HKEY child = nullptr;
  EXPECT_EQ(RegCreateKeyExA(reader, "Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(child, nullptr);
  std::string bytes;
  EXPECT_EQ(GetBytes(reader, "v", bytes), ERROR_SUCCESS);
  EXPECT_EQ(bytes, "x");
  RegCloseKey(reader);

  HKEY setOnly = nullptr;
  ASSERT_EQ(Open("Software\\Rights", KEY_SET_VALUE, &setOnly), ERROR_SUCCESS);
  EXPECT_EQ(SetBytes(setOnly, "v", REG_SZ, "z"), ERROR_SUCCESS);
  EXPECT_EQ(GetBytes(setOnly, "v", bytes), ERROR_ACCESS_DENIED);
  RegCloseKey(setOnly);
}

TEST_F(RegistryTest, DeniedModeRefusesOpenAndCreate) {
  HKEY existing = Create("Software\\Denied");
  StandinSetRegistryDenied(1);
  HKEY key = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(Open("Software\\Denied", KEY_READ, &key), ERROR_ACCESS_DENIED);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Other", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(Open(nullptr, KEY_READ, &key), ERROR_ACCESS_DENIED);
  StandinSetRegistryDenied(0);
  EXPECT_EQ(Open("Software\\Other", KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(Open("Software\\Denied", KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  RegCloseKey(existing);
}

TEST_F(RegistryTest, DeleteValueAndTree) {
  HKEY a = Create("Software\\Tree\\A");
  HKEY b = Create("Software\\Tree\\A\\B\\C");
  ASSERT_EQ(SetBytes(a, "va", REG_SZ, "1"), ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(b, "vc", REG_SZ, "2"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(a, "VA"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(a, "va"), ERROR_FILE_NOT_FOUND);
  std::string bytes;
  EXPECT_EQ(GetBytes(a, "va", bytes), ERROR_FILE_NOT_FOUND);

  EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Tree\\A"), ERROR_SUCCESS);
  HKEY key;
  EXPECT_EQ(Open("Software\\Tree\\A", KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Open("Software\\Tree\\A\\B\\C", KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(Open("Software\\Tree", KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  /* Handles of deleted keys report it. */
  EXPECT_EQ(GetBytes(b, "vc", bytes), ERROR_KEY_DELETED);
  EXPECT_EQ(SetBytes(b, "vc", REG_SZ, "3"), ERROR_KEY_DELETED);
  RegCloseKey(a);
  RegCloseKey(b);
  EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Tree\\A"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Nowhere"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, DeleteTreeWithoutSubKeyEmptiesTheKey) {
  HKEY top = Create("Software\\Keep");
  HKEY child = Create("Software\\Keep\\Child");
  ASSERT_EQ(SetBytes(top, "v", REG_SZ, "1"), ERROR_SUCCESS);
  RegCloseKey(child);
  EXPECT_EQ(RegDeleteTreeA(top, nullptr), ERROR_SUCCESS);
  std::string bytes;
  EXPECT_EQ(GetBytes(top, "v", bytes), ERROR_FILE_NOT_FOUND);
  HKEY key;
  EXPECT_EQ(Open("Software\\Keep\\Child", KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(Open("Software\\Keep", KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  RegCloseKey(top);
}

TEST_F(RegistryTest, HandlesAndOtherRoots) {
  int bogus;
  EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(&bogus)), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  HKEY key = nullptr;
  EXPECT_EQ(Open("x", KEY_READ, &key, reinterpret_cast<HKEY>(&bogus)), ERROR_INVALID_HANDLE);
  EXPECT_EQ(Open("x", KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
  /* HKEY_LOCAL_MACHINE exists and is empty; it cannot be written. */
  ASSERT_EQ(Open("", KEY_READ, &key, HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  std::string bytes;
  EXPECT_EQ(GetBytes(key, "v", bytes), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
  EXPECT_EQ(Open("Software", KEY_READ, &key, HKEY_LOCAL_MACHINE), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\X", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(SetBytes(HKEY_LOCAL_MACHINE, "v", REG_SZ, "1"), ERROR_ACCESS_DENIED);
  /* Malformed paths. */
  EXPECT_EQ(Open("\\Software", KEY_READ, &key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "a\\\\b", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_BAD_PATHNAME);
  EXPECT_TRUE(RootIsEmpty());
}

TEST_F(RegistryTest, UnusualKeyNamesStayDistinct) {
  const char *names[] = {"a/b", "a%2Fb", ".hidden", "..", "100%", "tab\there"};
  for (const char *name : names) {
    std::string path = std::string("Software\\Odd\\") + name;
    HKEY key = Create(path.c_str());
    ASSERT_EQ(SetBytes(key, "v", REG_SZ, name), ERROR_SUCCESS);
    RegCloseKey(key);
  }
  for (const char *name : names) {
    SCOPED_TRACE(name);
    std::string path = std::string("Software\\Odd\\") + name;
    HKEY key;
    ASSERT_EQ(Open(path.c_str(), KEY_READ, &key), ERROR_SUCCESS);
    std::string bytes;
    EXPECT_EQ(GetBytes(key, "v", bytes), ERROR_SUCCESS);
    EXPECT_EQ(bytes, name);
    RegCloseKey(key);
  }
  /* Nothing escaped the registry folder. */
  for (const auto &entry : std::filesystem::directory_iterator(root_))
    EXPECT_EQ(entry.path().filename(), "registry");
}

TEST_F(RegistryTest, ValuesPersistAcrossProcesses) {
  HKEY key = Create("Software\\Persist");
  ASSERT_EQ(SetBytes(key, "Greeting", REG_SZ, std::string("hello", 6)), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(Run(std::string(STANDIN_PROBE) + " regget 'Software\\Persist' greeting"),
            "1:hello\n");
  EXPECT_EQ(Run(std::string(STANDIN_PROBE) + " regset 'Software\\FromChild' n 3"), "ok\n");
  ASSERT_EQ(Open("Software\\FromChild", KEY_READ, &key), ERROR_SUCCESS);
  std::string bytes;
  EXPECT_EQ(GetBytes(key, "n2", bytes), ERROR_SUCCESS);
  EXPECT_EQ(bytes, std::string("v2", 3));
  RegCloseKey(key);
}

TEST_F(RegistryTest, ConcurrentWritersInOneProcess) {
  const int kThreads = 4, kValues = 30;
  std::vector<std::thread> threads;
  std::vector<int> failures(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kValues; ++i) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Busy", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr) != ERROR_SUCCESS) {
          ++failures[t];
          continue;
        }
        std::string name = "t" + std::to_string(t) + "_" + std::to_string(i);
        if (SetBytes(key, name.c_str(), REG_SZ, name) != ERROR_SUCCESS) ++failures[t];
        std::string back;
        if (GetBytes(key, name.c_str(), back) != ERROR_SUCCESS || back != name) ++failures[t];
        RegCloseKey(key);
      }
    });
  }
  for (auto &th : threads) th.join();
  for (int f : failures) EXPECT_EQ(f, 0);
  HKEY key;
  ASSERT_EQ(Open("Software\\Busy", KEY_READ, &key), ERROR_SUCCESS);
  for (int t = 0; t < kThreads; ++t)
    for (int i = 0; i < kValues; ++i) {
      std::string name = "t" + std::to_string(t) + "_" + std::to_string(i), back;
      EXPECT_EQ(GetBytes(key, name.c_str(), back), ERROR_SUCCESS) << name;
      EXPECT_EQ(back, name);
    }
  RegCloseKey(key);
}

TEST_F(RegistryTest, ConcurrentWritersInTwoProcesses) {
  std::string command = std::string(STANDIN_PROBE) + " regset 'Software\\Shared' a 40 & " +
                        STANDIN_PROBE + " regset 'Software\\Shared' b 40; wait";
  EXPECT_EQ(Run(command), "ok\nok\n");
  HKEY key;
  ASSERT_EQ(Open("Software\\Shared", KEY_READ, &key), ERROR_SUCCESS);
  for (const char *prefix : {"a", "b"})
    for (int i = 0; i < 40; ++i) {
      std::string name = prefix + std::to_string(i), back;
      EXPECT_EQ(GetBytes(key, name.c_str(), back), ERROR_SUCCESS) << name;
      EXPECT_EQ(back, "v" + std::to_string(i) + std::string(1, '\0'));
    }
  RegCloseKey(key);
}

TEST_F(RegistryTest, NotificationsReportChangesToTheKey) {
  enum Action { kSetValue, kDeleteValue, kCreateKey, kDeleteKey, kDeleteTree, kChildSets, kCloseKey };
  const DWORD kName = REG_NOTIFY_CHANGE_NAME, kLast = REG_NOTIFY_CHANGE_LAST_SET;
  struct Case {
    const char *label;
    const char *watched; /* below Software\N, as the targets */
    BOOL subtree;
    DWORD filter;
    Action action;
    const char *target;
    bool fires;
  } cases[] = {
      {"value set", "W", FALSE, kLast, kSetValue, "W", true},
      {"value set, names watched", "W", FALSE, kName, kSetValue, "W", false},
      {"value deleted", "W", FALSE, kLast, kDeleteValue, "W", true},
      {"value below", "W", FALSE, kLast | kName, kSetValue, "W\\Sub", false},
      {"value below, subtree", "W", TRUE, kLast, kSetValue, "W\\Sub", true},
      {"subkey created", "W", FALSE, kName, kCreateKey, "W\\New", true},
      {"subkey created, values watched", "W", FALSE, kLast, kCreateKey, "W\\New", false},
      {"key created two below", "W", FALSE, kName, kCreateKey, "W\\Sub\\New", false},
      {"key created two below, subtree", "W", TRUE, kName, kCreateKey, "W\\Sub\\New", true},
      {"subkey deleted", "W", FALSE, kName, kDeleteTree, "W\\Sub", true},
      {"key deleted alone", "W\\Sub", FALSE, kLast | kName, kDeleteKey, "W\\Sub", false},
      {"key deleted, values first", "W\\Sub", FALSE, kLast, kDeleteTree, "W\\Sub", true},
      {"another key", "W", TRUE, kLast | kName, kSetValue, "Other", false},
      {"value set by another process", "W", FALSE, kLast, kChildSets, "W", true},
      {"handle closed", "W", FALSE, kLast, kCloseKey, "W", true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.label);
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\N");
    RegCloseKey(Create("Software\\N\\Other"));
    for (const char *path : {"Software\\N\\W", "Software\\N\\W\\Sub"}) {
      HKEY valued = Create(path);
      ASSERT_EQ(SetBytes(valued, "v", REG_SZ, "1"), ERROR_SUCCESS);
      RegCloseKey(valued);
    }
    HKEY watched;
    ASSERT_EQ(Open(("Software\\N\\" + std::string(c.watched)).c_str(), KEY_NOTIFY, &watched),
              ERROR_SUCCESS);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_EQ(RegNotifyChangeKeyValue(watched, c.subtree, c.filter, event, TRUE), ERROR_SUCCESS);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    std::string target = "Software\\N\\" + std::string(c.target);
    HKEY key = c.action == kSetValue || c.action == kDeleteValue ? Create(target.c_str()) : nullptr;
    switch (c.action) {
      case kSetValue: SetBytes(key, "new", REG_SZ, "2"); break;
      case kDeleteValue: RegDeleteValueA(key, "v"); break;
      case kCreateKey: RegCloseKey(Create(target.c_str())); break;
      case kDeleteKey:
        EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, target.c_str()), ERROR_SUCCESS);
        key = Create(target.c_str()); /* the same name again: another key */
        SetBytes(key, "v", REG_SZ, "2");
        break;
      case kDeleteTree: RegDeleteTreeA(HKEY_CURRENT_USER, target.c_str()); break;
      case kChildSets: Run(std::string(STANDIN_PROBE) + " regset '" + target + "' c 1"); break;
      case kCloseKey: RegCloseKey(watched), watched = nullptr; break;
    }
    if (key) RegCloseKey(key);
    EXPECT_EQ(WaitForSingleObject(event, 0) == WAIT_OBJECT_0, c.fires);
    if (watched) RegCloseKey(watched);
    CloseHandle(event);
  }
}

TEST_F(RegistryTest, NotificationsComeOnceAndCheckTheirArguments) {
  HKEY key = Create("Software\\N");
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software"), ERROR_ACCESS_DENIED); /* has a subkey */
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const DWORD kLast = REG_NOTIFY_CHANGE_LAST_SET;
  ASSERT_EQ(RegNotifyChangeKeyValue(key, FALSE, kLast, event, TRUE), ERROR_SUCCESS);
  SetBytes(key, "a", REG_SZ, "1");
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  ResetEvent(event);
  SetBytes(key, "a", REG_SZ, "2");
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT) << "one notification per registration";
  ASSERT_EQ(RegNotifyChangeKeyValue(key, FALSE, kLast, event, TRUE), ERROR_SUCCESS);
  SetBytes(key, "a", REG_SZ, "3");
  ResetEvent(event);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT) << "a change before the reset";
  ASSERT_EQ(RegNotifyChangeKeyValue(key, FALSE, kLast, event, TRUE), ERROR_SUCCESS);
  setenv("MOVRELA_WINROOT", Path("elsewhere").c_str(), 1);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0) << "another store";
  setenv("MOVRELA_WINROOT", root_.c_str(), 1);

  HKEY reader;
  ASSERT_EQ(Open("Software\\N", KEY_QUERY_VALUE, &reader), ERROR_SUCCESS);
  EXPECT_EQ(RegNotifyChangeKeyValue(reader, FALSE, kLast, event, TRUE), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegNotifyChangeKeyValue(key, FALSE, kLast, nullptr, TRUE), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegNotifyChangeKeyValue(key, FALSE, kLast, event, FALSE), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegNotifyChangeKeyValue(key, FALSE, 0, event, TRUE), ERROR_INVALID_PARAMETER);
  RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\N");
  EXPECT_EQ(RegNotifyChangeKeyValue(key, FALSE, kLast, event, TRUE), ERROR_KEY_DELETED);
  RegCloseKey(reader);
  RegCloseKey(key);
  CloseHandle(event);
}

}  // namespace
