/* Profile (INI) files. */
#include "standin_test.h"

#include <cstring>
#include <thread>

namespace {

class ProfileTest : public StandinTest {
 protected:
  std::string Get(const char *section, const char *key, const char *def, const char *file,
                  DWORD size = 256, DWORD *returned = nullptr) {
    std::vector<char> buf(size + 1, '#');
    DWORD n = GetPrivateProfileStringA(section, key, def, buf.data(), size, file);
    if (returned) *returned = n;
    return std::string(buf.data(), n);
  }
  std::string WindowsFile(const char *name) const { return Path(std::string("windows/") + name); }
};

TEST_F(ProfileTest, BareNamesLiveInTheWindowsFolder) {
  EXPECT_FALSE(std::filesystem::exists(Path("windows")));
  ASSERT_TRUE(WritePrivateProfileStringA("Main", "Key", "Value", "test.ini"));
  EXPECT_EQ(ReadText(WindowsFile("test.ini")), "[Main]\nKey=Value\n");
  EXPECT_EQ(Get("Main", "Key", "", "test.ini"), "Value");
}

TEST_F(ProfileTest, PathsWithFolders) {
  std::filesystem::create_directories(Path("conf"));
  std::string backslashed = root_ + "\\conf\\my.ini";
  ASSERT_TRUE(WritePrivateProfileStringA("S", "k", "v", backslashed.c_str()));
  EXPECT_EQ(ReadText(Path("conf/my.ini")), "[S]\nk=v\n");
  std::string missingFolder = Path("nowhere/my.ini");
  SetLastError(0);
  EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "v", missingFolder.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(Get("S", "k", "dflt", missingFolder.c_str()), "dflt");
}

TEST_F(ProfileTest, ReadingParsesLikeWindows) {
  std::filesystem::create_directories(Path("windows"));
  WriteText(WindowsFile("read.ini"),
            "orphan=before any section\n"
            "[Plain]\n"
            "key=value\n"
            "  spaced  =   padded value   \n"
            "empty=\n"
            "dq=\"quoted  \"\n"
            "sq='single'\n"
            "half=\"open\n"
            "inner=a\"b\"c\n"
            "eq=a=b\n"
            ";comment=no\n"
            "bare\n"
            "[ Padded Section ]\n"
            "x=1\n"
            "[Software\\Doru\\movrela\\J6I]\n"
            "Quality=75\n"
            "[plain]\n"
            "second=from the repeated section\n"
            "key=shadowed\n");
  struct Case {
    const char *section, *key, *expected;
  };
  const Case cases[] = {
      {"Plain", "key", "value"},
      {"PLAIN", "KEY", "value"},
      {"Plain", "spaced", "padded value"},
      {"Plain", " spaced ", "padded value"},
      {"Plain", "empty", ""},
      {"Plain", "dq", "quoted  "},
      {"Plain", "sq", "single"},
      {"Plain", "half", "\"open"},
      {"Plain", "inner", "a\"b\"c"},
      {"Plain", "eq", "a=b"},
      {"Plain", ";comment", "<default>"},
      {"Plain", "bare", ""},
      {"Plain", "orphan", "<default>"},
      {"Padded Section", "x", "1"},
      {"Software\\Doru\\movrela\\J6I", "quality", "75"},
      {"software\\doru\\MOVRELA\\j6i", "Quality", "75"},
      {"Software", "Quality", "<default>"},
      {"Plain", "second", "from the repeated section"},
      {"Missing", "key", "<default>"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.section << " / " << c.key);
    DWORD n = 0;
    EXPECT_EQ(Get(c.section, c.key, "<default>", "read.ini", 256, &n), c.expected);
    EXPECT_EQ(n, std::strlen(c.expected));
  }
}

TEST_F(ProfileTest, DefaultsAndTruncation) {
  ASSERT_TRUE(WritePrivateProfileStringA("S", "long", "abcdef", "t.ini"));
  struct Case {
    const char *key, *def;
    DWORD size;
    const char *expected;
  };
  const Case cases[] = {
      {"long", "", 256, "abcdef"}, {"long", "", 7, "abcdef"}, {"long", "", 6, "abcde"},
      {"long", "", 4, "abc"},      {"long", "", 1, ""},       {"none", "fallback", 256, "fallback"},
      {"none", "fallback   ", 256, "fallback"}, {"none", "fallback", 5, "fall"},
      {"none", nullptr, 256, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.key << " size " << c.size);
    DWORD n = 99;
    EXPECT_EQ(Get("S", c.key, c.def, "t.ini", c.size, &n), c.expected);
    EXPECT_EQ(n, std::strlen(c.expected));
  }
  char buf[4] = "xyz";
  EXPECT_EQ(GetPrivateProfileStringA("S", "long", "", buf, 0, "t.ini"), 0u);
  EXPECT_EQ(buf[0], 'x');
  SetLastError(0);
  Get("S", "none", "d", "t.ini");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Get("S", "long", "d", "missing-file.ini"), "d");
}

TEST_F(ProfileTest, Integers) {
  std::filesystem::create_directories(Path("windows"));
  WriteText(WindowsFile("int.ini"),
            "[N]\nplain=12\nneg=-1\nplus=+7\ntrail=12abc\nletters=abc\nempty=\n"
            "spaced=  42  \nhex=0x1F\nquoted=\"33\"\nminus=-\nbig=4294967295\nwrap=4294967296\n");
  struct Case {
    const char *key;
    INT def;
    UINT expected;
  };
  const Case cases[] = {
      {"plain", 5, 12},          {"neg", 5, static_cast<UINT>(-1)}, {"plus", 5, 7},
      {"trail", 5, 12},          {"letters", 5, 0},                 {"empty", 5, 5},
      {"missing", 5, 5},         {"missing", -3, static_cast<UINT>(-3)},
      {"spaced", 5, 42},         {"hex", 5, 31},                    {"quoted", 5, 33},
      {"minus", 5, 0},           {"big", 5, 4294967295u},           {"wrap", 5, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(GetPrivateProfileIntA("N", c.key, c.def, "int.ini"), c.expected);
  }
  EXPECT_EQ(GetPrivateProfileIntA("N", "plain", 5, "no-such.ini"), 5u);
}

TEST_F(ProfileTest, WritingReplacesInPlaceAndAppends) {
  std::filesystem::create_directories(Path("windows"));
  WriteText(WindowsFile("w.ini"), "; header comment\n[A]\nx=1\n  Y = 2\n\n[B]\nx=3\n");
  ASSERT_TRUE(WritePrivateProfileStringA("a", "y", "20", "w.ini"));
  ASSERT_TRUE(WritePrivateProfileStringA("A", "z", "new", "w.ini"));
  ASSERT_TRUE(WritePrivateProfileStringA("C", "k", "v", "w.ini"));
  ASSERT_TRUE(WritePrivateProfileStringA("B", "x", "", "w.ini"));
  EXPECT_EQ(ReadText(WindowsFile("w.ini")),
            "; header comment\n[A]\nx=1\nY=20\nz=new\n\n[B]\nx=\n\n[C]\nk=v\n");
  EXPECT_EQ(Get("A", "y", "", "w.ini"), "20");
  EXPECT_EQ(Get("B", "x", "d", "w.ini"), "");
}

TEST_F(ProfileTest, DeletingKeysAndSections) {
  std::filesystem::create_directories(Path("windows"));
  WriteText(WindowsFile("d.ini"), "[A]\nx=1\ny=2\n[B]\nx=3\n[a]\nx=4\n");
  ASSERT_TRUE(WritePrivateProfileStringA("A", "X", nullptr, "d.ini"));
  EXPECT_EQ(ReadText(WindowsFile("d.ini")), "[A]\ny=2\n[B]\nx=3\n[a]\n");
  ASSERT_TRUE(WritePrivateProfileStringA("a", nullptr, nullptr, "d.ini"));
  EXPECT_EQ(ReadText(WindowsFile("d.ini")), "[B]\nx=3\n");
  EXPECT_EQ(Get("A", "y", "gone", "d.ini"), "gone");
  /* Deleting from a missing file creates nothing. */
  EXPECT_TRUE(WritePrivateProfileStringA("A", "x", nullptr, "absent.ini"));
  EXPECT_TRUE(WritePrivateProfileStringA("A", nullptr, nullptr, "absent.ini"));
  EXPECT_FALSE(std::filesystem::exists(WindowsFile("absent.ini")));
  /* A NULL section only flushes. */
  EXPECT_TRUE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, "d.ini"));
  EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "k", "v", "d.ini"));
}

TEST_F(ProfileTest, SectionNamesWithBackslashesAreNames) {
  const char *section = "Software\\Doru\\movrela\\J6I";
  ASSERT_TRUE(WritePrivateProfileStringA(section, "Quality", "90", "movrela.ini"));
  ASSERT_TRUE(WritePrivateProfileStringA("Software\\Doru\\movrela", "Other", "1", "movrela.ini"));
  EXPECT_EQ(GetPrivateProfileIntA(section, "quality", 0, "movrela.ini"), 90u);
  EXPECT_EQ(GetPrivateProfileIntA("Software\\Doru\\movrela", "Quality", 7, "movrela.ini"), 7u);
  EXPECT_EQ(ReadText(WindowsFile("movrela.ini")),
            "[Software\\Doru\\movrela\\J6I]\nQuality=90\n\n[Software\\Doru\\movrela]\nOther=1\n");
  EXPECT_FALSE(std::filesystem::exists(Path("windows/Software")));
}

TEST_F(ProfileTest, CrLfFilesStayCrLf) {
  std::filesystem::create_directories(Path("windows"));
  WriteText(WindowsFile("crlf.ini"), "[A]\r\nx=1\r\n");
  EXPECT_EQ(Get("A", "x", "", "crlf.ini"), "1");
  ASSERT_TRUE(WritePrivateProfileStringA("A", "y", "2", "crlf.ini"));
  EXPECT_EQ(ReadText(WindowsFile("crlf.ini")), "[A]\r\nx=1\r\ny=2\r\n");
}

TEST_F(ProfileTest, ListingNames) {
  std::filesystem::create_directories(Path("windows"));
  WriteText(WindowsFile("l.ini"), "[One]\na=1\nb=2\n[Two]\nc=3\n");
  DWORD n = 0;
  EXPECT_EQ(Get(nullptr, nullptr, "", "l.ini", 64, &n), std::string("One\0Two\0", 8));
  EXPECT_EQ(Get("one", nullptr, "", "l.ini", 64, &n), std::string("a\0b\0", 4));
  /* Too small: the last name is cut, two zeros end the buffer, size - 2. */
  char buf[7];
  EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "", buf, 7, "l.ini"), 5u);
  EXPECT_EQ(std::string(buf, 7), std::string("One\0T\0\0", 7));
  EXPECT_EQ(GetPrivateProfileStringA("None", nullptr, "", buf, 7, "l.ini"), 0u);
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(buf[1], '\0');
}

TEST_F(ProfileTest, ThreadsWritingDistinctKeys) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 20; ++i) {
        std::string key = "k" + std::to_string(t) + "_" + std::to_string(i);
        WritePrivateProfileStringA("S", key.c_str(), key.c_str(), "threads.ini");
      }
    });
  for (auto &th : threads) th.join();
  for (int t = 0; t < 4; ++t)
    for (int i = 0; i < 20; ++i) {
      std::string key = "k" + std::to_string(t) + "_" + std::to_string(i);
      EXPECT_EQ(Get("S", key.c_str(), "", "threads.ini"), key);
    }
}

}  // namespace
