/*
 * plugin_suite.cpp - the plug-in loaded as the viewer loads it (LoadLibraryA
 * on the built MOVRELA.MQF, exports by name), its answers checked against
 * settings stored in the per-user registry. Runs natively and under Wine.
 *
 * usage: plugin_suite PATH-TO-MOVRELA.MQF
 */
#include <cstdint>
#include <cstring>
#include <string>

#include "harness.h"
#include "store.h"

namespace {

using suite::ProcAs;

typedef int32_t(WINAPI *GetPluginInfoFn)(int32_t, char *, int32_t);
typedef int32_t(WINAPI *ConfigurationDlgFn)(HWND, int32_t);

struct Loaded {
  HMODULE module = nullptr;
  GetPluginInfoFn GetPluginInfo = nullptr;
  Loaded() {
    module = LoadLibraryA(suite::Current().argument.c_str());
    if (module)
      GetPluginInfo = ProcAs<GetPluginInfoFn>(GetProcAddress(module, "GetPluginInfo"));
  }
  ~Loaded() {
    if (module) FreeLibrary(module);
  }
};

SUITE_CASE(exports_are_found_by_undecorated_names) {
  Loaded plugin;
  CHECK(plugin.module != nullptr);
  if (!plugin.module) return;
  const char *names[] = {"GetPluginInfo", "IsSupported", "GetPictureInfo",
                         "GetPicture",    "GetPreview",  "ConfigurationDlg"};
  for (const char *name : names) {
    if (!GetProcAddress(plugin.module, name)) suite::Report(__FILE__, __LINE__, name);
  }
}

/* What one GetPluginInfo call must answer, given the stored settings. */
struct InfoCase {
  const char *label;
  int32_t j6i, pmp;       /* J6ISupport, PMPSupport; -1: not stored */
  int32_t userExt;        /* UserDefineExtention; -1: not stored */
  const char *mask;       /* ExtentionMask stored as REG_SZ; null: not stored */
  int32_t index;
  bool nullBuffer;
  int32_t bufferSize;
  int32_t expectedResult;
  const char *expectedBytes; /* the bytes written (may hold the terminator) */
  int32_t expectedCount;     /* how many bytes are written */
};

const char kName[] = "Talvo JPEG Filter Ver0.04 based on QUORELV6.MQF V0.11 by doru";
const char kAllTypes[] = "JPEG/JFIF/RICOH DC-1,2(J6I)/Sony Cyber-short(DSC-F1,F2)";

const InfoCase kInfoCases[] = {
    {"id cut to 4", -1, -1, -1, nullptr, 0, false, 4, 4, "00IN", 4},
    {"id in 5", -1, -1, -1, nullptr, 0, false, 5, 5, "00IN\0", 5},
    {"id in 100", -1, -1, -1, nullptr, 0, false, 100, 5, "00IN\0", 5},
    {"name", -1, -1, -1, nullptr, 1, false, 100, 62, kName, 62},
    {"name cut", -1, -1, -1, nullptr, 1, false, 10, 10, kName, 10},
    {"patterns, defaults", -1, -1, -1, nullptr, 2, false, 100, 25, "*.JPG;*.JPEG;*.J6I;*.PMP", 25},
    {"patterns, both on", 1, 1, -1, nullptr, 2, false, 100, 25, "*.JPG;*.JPEG;*.J6I;*.PMP", 25},
    {"patterns, both off", 0, 0, -1, nullptr, 2, false, 100, 13, "*.JPG;*.JPEG", 13},
    {"patterns, PMP only", 0, 1, -1, nullptr, 2, false, 100, 19, "*.JPG;*.JPEG;*.PMP", 19},
    {"patterns, J6I only", 1, 0, -1, nullptr, 2, false, 100, 19, "*.JPG;*.JPEG;*.J6I", 19},
    {"types, both on", 1, 1, -1, nullptr, 3, false, 100, 56, kAllTypes, 56},
    {"types, both off", 0, 0, -1, nullptr, 3, false, 100, 10, "JPEG/JFIF", 10},
    {"types, exactly 56", 1, 1, -1, nullptr, 3, false, 56, 56, kAllTypes, 56},
    {"types, cut to 55", 1, 1, -1, nullptr, 3, false, 55, 55, kAllTypes, 55},
    {"mask, flag off", -1, -1, 0, "*.JPE", 4, false, 100, 0, "", 0},
    {"mask, flag unset", -1, -1, -1, "*.JPE", 4, false, 100, 0, "", 0},
    {"mask, blanks dropped", -1, -1, 1, "  \t*.JPE;*.JFIF ", 4, false, 100, 14, "*.JPE;*.JFIF \0", 14},
    {"mask, size query", -1, -1, 1, "  \t*.JPE;*.JFIF ", 4, true, 0, 14, "", 0},
    {"mask, cut", -1, -1, 1, "*.JPE;*.JFIF", 4, false, 5, 5, "*.JPE", 5},
    {"mask, exact", -1, -1, 1, "*.JPE", 4, false, 6, 6, "*.JPE\0", 6},
    {"mask, blanks only", -1, -1, 1, " \t ", 4, false, 100, 0, "", 0},
    {"mask, none stored", -1, -1, 1, nullptr, 4, false, 100, 0, "", 0},
    {"mask, size 0", -1, -1, 1, "*.JPE", 4, false, 0, 0, "", 0},
    {"description, flag off", -1, -1, 0, nullptr, 5, false, 100, 0, "", 0},
    {"description, 27", -1, -1, 1, nullptr, 5, false, 27, 27, "Jpeg User Defined Extensio\0", 27},
    {"description, 28", -1, -1, 1, nullptr, 5, false, 28, 28, "Jpeg User Defined Extension\0", 28},
    {"description, 100", -1, -1, 1, nullptr, 5, false, 100, 28, "Jpeg User Defined Extension\0", 28},
    {"description, 1", -1, -1, 1, nullptr, 5, false, 1, 1, "\0", 1},
    {"description, null", -1, -1, 1, nullptr, 5, true, 100, 0, "", 0},
    {"index 6", -1, -1, 1, "*.X", 6, false, 100, 0, "", 0},
    {"index -1", -1, -1, 1, "*.X", -1, false, 100, 0, "", 0},
    {"id, size 0", -1, -1, -1, nullptr, 0, false, 0, 0, "", 0},
    {"id, size -1", -1, -1, -1, nullptr, 0, false, -1, 0, "", 0},
    {"id, null buffer", -1, -1, -1, nullptr, 0, true, 100, 0, "", 0},
    {"types, null buffer", -1, -1, -1, nullptr, 3, true, 100, 0, "", 0},
};

SUITE_CASE(plugin_info_answers_by_index_and_settings) {
  for (const InfoCase &c : kInfoCases) {
    suite::ResetStore();
    if (c.j6i >= 0) store::SetNumber("Software\\Doru\\movrela\\J6I", "J6ISupport", c.j6i);
    if (c.pmp >= 0) store::SetNumber("Software\\Doru\\movrela\\PMP", "PMPSupport", c.pmp);
    if (c.userExt >= 0) store::SetNumber("Software\\Doru\\movrela", "UserDefineExtention", c.userExt);
    if (c.mask) store::SetText("Software\\Doru\\movrela", "ExtentionMask", c.mask, false);

    Loaded plugin;
    if (!plugin.GetPluginInfo) {
      suite::Report(__FILE__, __LINE__, "plug-in not loaded");
      return;
    }
    unsigned char buf[128];
    std::memset(buf, 0xCC, sizeof buf);
    int32_t result = plugin.GetPluginInfo(c.index, c.nullBuffer ? nullptr : reinterpret_cast<char *>(buf),
                                          c.bufferSize);
    std::string label = std::string(c.label) + ": ";
    if (result != c.expectedResult)
      suite::Report(__FILE__, __LINE__, label + "result " + suite::Show(result) + ", expected " +
                                            suite::Show(c.expectedResult));
    if (std::memcmp(buf, c.expectedBytes, static_cast<size_t>(c.expectedCount)) != 0)
      suite::Report(__FILE__, __LINE__, label + "wrote \"" + suite::Bytes(buf, c.expectedCount) + "\"");
    if (buf[c.expectedCount] != 0xCC)
      suite::Report(__FILE__, __LINE__, label + "wrote past " + suite::Show(c.expectedCount) + " bytes");
  }
}

SUITE_CASE(mask_text_reads_back_with_or_without_terminator) {
  const char *masks[] = {"*.JPE", "*.JFIF;*.JPE", "x"};
  for (const char *mask : masks) {
    for (int withTerminator = 0; withTerminator <= 1; ++withTerminator) {
      suite::ResetStore();
      store::SetNumber("Software\\Doru\\movrela", "UserDefineExtention", 1);
      store::SetText("Software\\Doru\\movrela", "ExtentionMask", mask, withTerminator != 0);
      Loaded plugin;
      if (!plugin.GetPluginInfo) return;
      char buf[64];
      std::memset(buf, 0x7F, sizeof buf);
      int32_t n = plugin.GetPluginInfo(4, buf, sizeof buf);
      CHECK_EQ(n, static_cast<int32_t>(std::strlen(mask) + 1));
      CHECK_EQ(std::string(buf, std::strlen(mask) + 1), std::string(mask, std::strlen(mask) + 1));
    }
  }
}

SUITE_CASE(mask_of_the_wrong_kind_is_ignored) {
  /* A number where the mask should be, and a text where the flag should
   * be: both keep their defaults (flag off, mask empty). */
  store::SetNumber("Software\\Doru\\movrela", "UserDefineExtention", 1);
  store::SetNumber("Software\\Doru\\movrela", "ExtentionMask", 0x4A2E2A);
  Loaded plugin;
  if (!plugin.GetPluginInfo) return;
  char buf[64];
  CHECK_EQ(plugin.GetPluginInfo(4, buf, sizeof buf), 0);

  suite::ResetStore();
  store::SetText("Software\\Doru\\movrela", "UserDefineExtention", "1", true);
  store::SetText("Software\\Doru\\movrela", "ExtentionMask", "*.JPE", false);
  CHECK_EQ(plugin.GetPluginInfo(4, buf, sizeof buf), 0);
  CHECK_EQ(plugin.GetPluginInfo(5, buf, sizeof buf), 0);
}

SUITE_CASE(configuration_dialog_answers_not_yet) {
  Loaded plugin;
  if (!plugin.module) return;
  auto config = ProcAs<ConfigurationDlgFn>(GetProcAddress(plugin.module, "ConfigurationDlg"));
  CHECK(config != nullptr);
  if (config) CHECK_EQ(config(nullptr, 2), -1);
}

}  // namespace

SUITE_MAIN()
