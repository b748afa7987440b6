/* Modules (LoadLibraryA, GetProcAddress, FreeLibrary, GetModuleFileNameA)
 * and strings (LoadStringA). */
#include "standin_test.h"

#include <climits>
#include <cstring>
#include <mutex>
#include <unistd.h>

/* The test program's own string table: LoadStringA(NULL or
 * StandinSelfModule(), ...) reads it (the program links with ENABLE_EXPORTS). */
extern "C" __attribute__((used)) const StandinString StandinStringTable[] = {
    {1, "Hello"},
    {2, "\x93\xfa\x96\x7b\x8c\xea"}, /* Shift_JIS */
    {3, ""},
    {100, "0123456789"},
    {0, nullptr},
};

/* DllMain calls of the test modules, reported here by the modules. */
namespace {
std::mutex g_eventsMutex;
std::vector<std::string> g_events;
}  // namespace

extern "C" __attribute__((used)) void StandinTestModuleEvent(const char *module, DWORD reason) {
  std::lock_guard<std::mutex> lock(g_eventsMutex);
  g_events.push_back(std::string(module) + ":" + std::to_string(reason));
}

namespace {

std::vector<std::string> TakeEvents() {
  std::lock_guard<std::mutex> lock(g_eventsMutex);
  std::vector<std::string> out;
  out.swap(g_events);
  return out;
}

std::string ModulePath(const char *name) { return std::string(STANDIN_TESTMOD_DIR) + "/" + name; }

std::string RealPath(const std::string &path) {
  char buf[PATH_MAX];
  return realpath(path.c_str(), buf) ? buf : path;
}

class ModulesTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    TakeEvents();
  }
};

using Events = std::vector<std::string>;

/* A function of a module, with its type (through void (*)(), the cast GCC
 * accepts between unrelated function types). */
template <class Fn>
Fn Proc(HMODULE module, const char *name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

TEST_F(ModulesTest, LoadStringFromTheProgram) {
  struct Case {
    UINT id;
    int max;
    const char *expected;
    int result;
  };
  const Case cases[] = {
      {1, 64, "Hello", 5},
      {1, 6, "Hello", 5},
      {1, 5, "Hell", 4},
      {1, 2, "H", 1},
      {1, 1, "", 0},
      {2, 64, "\x93\xfa\x96\x7b\x8c\xea", 6},
      {2, 4, "\x93\xfa\x96", 3}, /* bytes, even mid-character */
      {100, 11, "0123456789", 10},
      {100, 10, "012345678", 9},
      {3, 64, "", 0},  /* an empty string counts as absent */
      {99, 64, "", 0}, /* not in the table */
  };
  for (HINSTANCE inst : {static_cast<HINSTANCE>(nullptr), StandinSelfModule()}) {
    for (const Case &c : cases) {
      SCOPED_TRACE(testing::Message() << "id " << c.id << " max " << c.max);
      char buf[80];
      std::memset(buf, '#', sizeof buf);
      EXPECT_EQ(LoadStringA(inst, c.id, buf, c.max), c.result);
      EXPECT_STREQ(buf, c.expected);
      EXPECT_EQ(buf[c.max], '#') << "nothing written past max";
    }
  }
  SetLastError(0);
  char buf[8];
  EXPECT_EQ(LoadStringA(nullptr, 99, buf, sizeof buf), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
  buf[0] = 'z';
  EXPECT_EQ(LoadStringA(nullptr, 1, buf, 0), 0);
  EXPECT_EQ(buf[0], 'z');
}

TEST_F(ModulesTest, StringHelpers) {
  EXPECT_EQ(lstrlenA(nullptr), 0);
  EXPECT_EQ(lstrlenA(""), 0);
  EXPECT_EQ(lstrlenA("abc"), 3);
  struct Cmp {
    const char *a, *b;
    int sign;
  };
  const Cmp cmps[] = {
      {"abc", "ABC", 0}, {"abc", "abd", -1}, {"ABD", "abc", 1}, {"ab", "abc", -1},
      {"", "", 0},       {"_", "a", -1},     {"J6I", "j6i", 0}, {nullptr, "a", -1},
      {"a", nullptr, 1}, {nullptr, nullptr, 0},
  };
  for (const Cmp &c : cmps) {
    SCOPED_TRACE(testing::Message() << (c.a ? c.a : "NULL") << " vs " << (c.b ? c.b : "NULL"));
    int r = lstrcmpiA(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign);
  }
  struct Cpy {
    const char *src;
    int max;
    const char *expected;
  };
  const Cpy cpys[] = {
      {"hello", 10, "hello"}, {"hello", 6, "hello"}, {"hello", 5, "hell"},
      {"hello", 1, ""},       {"", 4, ""},
  };
  for (const Cpy &c : cpys) {
    SCOPED_TRACE(testing::Message() << c.src << " max " << c.max);
    char buf[16];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(lstrcpynA(buf, c.src, c.max), buf);
    EXPECT_STREQ(buf, c.expected);
    EXPECT_EQ(buf[c.max], '#');
  }
}

TEST_F(ModulesTest, LoadUseAndFreeAModule) {
  std::string path = ModulePath("standin_testmod.dll");
  HMODULE m = LoadLibraryA(path.c_str());
  ASSERT_NE(m, nullptr) << StandinLastLoadError();
  EXPECT_EQ(TakeEvents(), Events({"standin_testmod:1"}));

  auto answer = Proc<int (*)()>(m, "TestModAnswer");
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  /* DllMain got the module's own handle and could call back into the loader. */
  auto instance = Proc<HINSTANCE (*)()>(m, "TestModInstance");
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(instance(), m);
  auto attachString = Proc<const char *(*)()>(m, "TestModAttachString");
  EXPECT_STREQ(attachString(), "module string");
  auto attachPath = Proc<const char *(*)()>(m, "TestModAttachPath");
  EXPECT_EQ(attachPath(), RealPath(path));

  /* The module's string table, not the program's. */
  char buf[32];
  EXPECT_EQ(LoadStringA(m, 2, buf, sizeof buf), 6);
  EXPECT_STREQ(buf, "second");
  EXPECT_EQ(LoadStringA(m, 100, buf, sizeof buf), 0);

  SetLastError(0);
  EXPECT_EQ(GetProcAddress(m, "NoSuchFunction"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  /* Only the module's own exports, not its libraries' ones. */
  EXPECT_EQ(GetProcAddress(m, "dlopen"), nullptr);
  EXPECT_EQ(GetProcAddress(m, MAKEINTRESOURCEA(1)), nullptr);

  /* Loading again gives the same module, counted; DllMain runs once. */
  HMODULE again = LoadLibraryA(path.c_str());
  EXPECT_EQ(again, m);
  EXPECT_TRUE(TakeEvents().empty());
  EXPECT_TRUE(FreeLibrary(m));
  EXPECT_TRUE(TakeEvents().empty());
  EXPECT_EQ(GetProcAddress(m, "TestModAnswer") != nullptr, true);
  EXPECT_TRUE(FreeLibrary(m));
  EXPECT_EQ(TakeEvents(), Events({"standin_testmod:0"}));

  SetLastError(0);
  EXPECT_EQ(GetProcAddress(m, "TestModAnswer"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(FreeLibrary(m));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(ModulesTest, LoadAgainAfterUnloadingAttachesAgain) {
  std::string path = ModulePath("standin_testmod.dll");
  for (int round = 0; round < 2; ++round) {
    HMODULE m = LoadLibraryA(path.c_str());
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(FreeLibrary(m));
  }
  EXPECT_EQ(TakeEvents(), Events({"standin_testmod:1", "standin_testmod:0", "standin_testmod:1",
                                  "standin_testmod:0"}));
}

TEST_F(ModulesTest, FailedAttachUnloadsAndFails) {
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA(ModulePath("standin_testmod_fail.dll").c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
  /* As Win32: the refused attach is followed by a detach. */
  EXPECT_EQ(TakeEvents(), Events({"standin_testmod_fail:1", "standin_testmod_fail:0"}));
}

TEST_F(ModulesTest, ModuleWithoutDllMain) {
  HMODULE m = LoadLibraryA(ModulePath("standin_testmod_plain.dll").c_str());
  ASSERT_NE(m, nullptr) << StandinLastLoadError();
  auto answer = Proc<int (*)()>(m, "TestModAnswer");
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  char buf[16];
  SetLastError(0);
  EXPECT_EQ(LoadStringA(m, 1, buf, sizeof buf), 0); /* no table */
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
  EXPECT_TRUE(FreeLibrary(m));
  EXPECT_TRUE(TakeEvents().empty());
}

TEST_F(ModulesTest, NamesAndFolders) {
  std::string path = ModulePath("standin_testmod.dll");
  HMODULE byPath = LoadLibraryA(path.c_str());
  ASSERT_NE(byPath, nullptr);
  /* Backslashes are separators. */
  std::string backslashed = path;
  for (char &c : backslashed)
    if (c == '/') c = '\\';
  EXPECT_EQ(LoadLibraryA(backslashed.c_str()), byPath);
  /* A bare name is looked up in the current folder first. */
  char cwd[PATH_MAX];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(STANDIN_TESTMOD_DIR), 0);
  HMODULE byName = LoadLibraryA("standin_testmod.dll");
  ASSERT_EQ(chdir(cwd), 0);
  EXPECT_EQ(byName, byPath);
  EXPECT_TRUE(FreeLibrary(byName));
  EXPECT_TRUE(FreeLibrary(byPath));
  EXPECT_TRUE(FreeLibrary(byPath));
  EXPECT_EQ(TakeEvents(), Events({"standin_testmod:1", "standin_testmod:0"}));

  struct Missing {
    const char *name;
    DWORD error;
  };
  const Missing missing[] = {
      {"no_such_module.dll", ERROR_MOD_NOT_FOUND},
      {"C:\\nowhere\\x.dll", ERROR_MOD_NOT_FOUND},
      {"", ERROR_INVALID_PARAMETER},
  };
  for (const Missing &m : missing) {
    SCOPED_TRACE(m.name);
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA(m.name), nullptr);
    EXPECT_EQ(GetLastError(), m.error);
    EXPECT_STRNE(StandinLastLoadError(), "");
  }
  EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
}

TEST_F(ModulesTest, ModuleFileNames) {
  std::string path = ModulePath("standin_testmod.dll");
  HMODULE m = LoadLibraryA(path.c_str());
  ASSERT_NE(m, nullptr);
  std::string expected = RealPath(path);
  char buf[PATH_MAX];
  EXPECT_EQ(GetModuleFileNameA(m, buf, sizeof buf), expected.size());
  EXPECT_EQ(std::string(buf), expected);
  /* Too small: truncated, terminated, returns the size. */
  std::memset(buf, '#', sizeof buf);
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameA(m, buf, 5), 5u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(std::string(buf), expected.substr(0, 4));
  EXPECT_TRUE(FreeLibrary(m));
  TakeEvents();

  std::string self = RealPath("/proc/self/exe");
  EXPECT_EQ(GetModuleFileNameA(nullptr, buf, sizeof buf), self.size());
  EXPECT_EQ(std::string(buf), self);
  EXPECT_EQ(GetModuleFileNameA(StandinSelfModule(), buf, sizeof buf), self.size());
}

TEST_F(ModulesTest, SelfModule) {
  HMODULE self = StandinSelfModule();
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(StandinSelfModule(), self);
  EXPECT_EQ(reinterpret_cast<void *>(GetProcAddress(self, "StandinTestModuleEvent")),
            reinterpret_cast<void *>(&StandinTestModuleEvent));
  EXPECT_TRUE(FreeLibrary(self)); /* never unloaded */
  EXPECT_NE(GetProcAddress(self, "StandinTestModuleEvent"), nullptr);
}

}  // namespace
