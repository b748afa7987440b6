/*
 * settings_suite.cpp - the settings store against the per-user registry
 * (the real one under Wine, the stand-in's natively) and, natively, against
 * the INI file of the Win32s mode.
 */
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "attach.h"
#include "harness.h"
#include "settings/settings.h"
#include "store.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace {

const char kMain[] = "Software\\Doru\\movrela";
const char kJ6i[] = "Software\\Doru\\movrela\\J6I";
const char kPmp[] = "Software\\Doru\\movrela\\PMP";
const char kResource[] = "Software\\Merovane\\Orvid\\Resource";

PluginSettings Load() {
  PluginSettings settings;
  std::memset(&settings, 0x5A, sizeof settings); /* nothing may stay from before */
  LoadSettings(g_module.instance, &settings);
  return settings;
}

PluginSettings Defaults() {
  PluginSettings d = {};
  d.SearchMarkerSupport = 1;
  d.ExifSupport = 1;
  d.ExifPreviewLevel = 6;
  d.DCTMethod = 0;
  d.DitherMode = 2;
  d.UpSampling = 1;
  d.UserDefineExtention = 0;
  d.IgnorePixelAspectRatio = 1;
  d.ColorSelect = 0;
  d.PreviewSize = 4;
  d.ReportDialog = 1;
  d.UseInternalDecoder = 1;
  d.ExifRotation = 1;
  d.ColorManagement = 1;
  std::strcpy(d.JPEGPlugin, "quorel.mqf");
  d.J6ISupport = 1;
  d.AspectX = 6;
  d.AspectY = 5;
  d.PMPSupport = 1;
  d.Rotation = 1;
  d.ColorCorrect = 1;
  return d;
}

/* Compares field by field (texts up to their terminator) and names the
 * first difference. */
void CheckSame(const PluginSettings &a, const PluginSettings &b, const char *label) {
#define SAME_NUMBER(f) \
  if (a.f != b.f)      \
    suite::Report(__FILE__, __LINE__, std::string(label) + ": " #f " " + suite::Show(a.f) + " vs " + suite::Show(b.f));
  SAME_NUMBER(SearchMarkerSupport) SAME_NUMBER(ExifSupport) SAME_NUMBER(ExifPreviewLevel)
  SAME_NUMBER(DCTMethod) SAME_NUMBER(DitherMode) SAME_NUMBER(UpSampling)
  SAME_NUMBER(UserDefineExtention) SAME_NUMBER(IgnorePixelAspectRatio) SAME_NUMBER(ColorSelect)
  SAME_NUMBER(PreviewSize) SAME_NUMBER(ReportDialog) SAME_NUMBER(UseInternalDecoder)
  SAME_NUMBER(ExifRotation) SAME_NUMBER(ColorManagement)
  SAME_NUMBER(J6ISupport) SAME_NUMBER(AspectX) SAME_NUMBER(AspectY) SAME_NUMBER(Top)
  SAME_NUMBER(Bottom) SAME_NUMBER(Left) SAME_NUMBER(Right) SAME_NUMBER(PMPSupport)
  SAME_NUMBER(Rotation) SAME_NUMBER(ColorCorrect)
#undef SAME_NUMBER
  if (std::string(a.ExtentionMask) != b.ExtentionMask)
    suite::Report(__FILE__, __LINE__, std::string(label) + ": ExtentionMask \"" + a.ExtentionMask + "\"");
  if (std::string(a.JPEGPlugin) != b.JPEGPlugin)
    suite::Report(__FILE__, __LINE__, std::string(label) + ": JPEGPlugin \"" + a.JPEGPlugin + "\"");
}


SUITE_CASE(first_use_gives_defaults_and_creates_nothing) {
  suite::AttachAgain();
  CheckSame(Load(), Defaults(), "registry");
  CHECK(!store::KeyExists("Software\\Doru"));
#ifndef _WIN32
  StandinSetPlatformId(0);
  suite::AttachAgain();
  CheckSame(Load(), Defaults(), "INI");
  std::string ini = std::string(StandinRootFolder()) + "/windows/quorelv6.ini";
  FILE *f = std::fopen(ini.c_str(), "rb");
  CHECK(f == nullptr);
  if (f) std::fclose(f);
  CHECK(!store::KeyExists("Software\\Doru"));
#endif
}

/* Settings with a few meanings read anything else as their default. */
SUITE_CASE(preview_size_and_colour_management_keep_only_their_values) {
  suite::AttachAgain();
  const struct {
    const char *name;
    int32_t PluginSettings::*field;
    int32_t stored, loaded;
  } rows[] = {{"PreviewSize", &PluginSettings::PreviewSize, 2, 4},
              {"PreviewSize", &PluginSettings::PreviewSize, 0, 0},
              {"PreviewSize", &PluginSettings::PreviewSize, 4, 4},
              {"PreviewSize", &PluginSettings::PreviewSize, 8, 8},
              {"PreviewSize", &PluginSettings::PreviewSize, -1, 4},
              {"PreviewSize", &PluginSettings::PreviewSize, 16, 4},
              {"PreviewSize", &PluginSettings::PreviewSize, 1, 4},
              {"ColorManagement", &PluginSettings::ColorManagement, 0, 0},
              {"ColorManagement", &PluginSettings::ColorManagement, 2, 2},
              {"ColorManagement", &PluginSettings::ColorManagement, 3, 1},
              {"ColorManagement", &PluginSettings::ColorManagement, -1, 1}};
  for (const auto &row : rows) {
    store::SetNumber(kMain, row.name, row.stored);
    CHECK_EQ(Load().*row.field, row.loaded);
  }
}

SUITE_CASE(texts_lose_leading_blanks_and_are_cut_to_their_field) {
  suite::AttachAgain();
  struct TextCase {
    std::string stored;
    bool terminator;
    std::string mask;   /* ExtentionMask as loaded */
  } cases[] = {
      {"  \t*.a b \t", false, "*.a b \t"},
      {"  \t*.a b \t", true, "*.a b \t"},
      {"\t\t", false, ""},
      {std::string(300, 'm'), false, std::string(255, 'm')},
      {"  " + std::string(255, 'k'), true, std::string(255, 'k')},
      {std::string(1023, 'x'), false, std::string(255, 'x')},
      {std::string(1024, 'y'), false, ""}, /* larger than the work buffer: absent */
  };
  for (const TextCase &c : cases) {
    store::SetText(kMain, "ExtentionMask", c.stored.c_str(), c.terminator);
    CHECK_EQ(std::string(Load().ExtentionMask), c.mask);
  }
  store::SetText(kMain, "JPEGPlug-in", (" " + std::string(600, 'p')).c_str(), false);
  CHECK_EQ(std::string(Load().JPEGPlugin), std::string(259, 'p'));
}

SUITE_CASE(values_of_the_wrong_kind_keep_their_defaults) {
  suite::AttachAgain();
  store::SetText(kMain, "DCTMethod", "2", true);
  store::SetText(kJ6i, "AspectX", "9", false);
  store::SetNumber(kMain, "JPEGPlug-in", 0x41414141);
  store::SetRaw(kPmp, "Rotation", REG_BINARY, "\0\0\0\0", 4);
  store::SetRaw(kPmp, "ColorCorrect", REG_DWORD, "\0\0", 2);
  PluginSettings s = Load();
  CHECK_EQ(s.DCTMethod, 0);
  CHECK_EQ(s.AspectX, 6);
  CHECK_EQ(std::string(s.JPEGPlugin), std::string("quorel.mqf"));
  CHECK_EQ(s.Rotation, 1);
  CHECK_EQ(s.ColorCorrect, 1);
}

/* Each key is read on its own: a value in one key is found whether or not
 * the other keys exist, and the values of a missing key keep defaults. */
SUITE_CASE(each_key_is_read_whether_or_not_the_others_exist) {
  suite::AttachAgain();
  struct Row {
    const char *key;
    const char *name;
    int32_t PluginSettings::*field;
  } rows[] = {{kMain, "ReportDialog", &PluginSettings::ReportDialog},
              {kMain, "ExifRotation", &PluginSettings::ExifRotation},
              {kJ6i, "Right", &PluginSettings::Right},
              {kPmp, "Rotation", &PluginSettings::Rotation}};
  for (const Row &only : rows) {
    suite::ResetStore();
    suite::AttachAgain();
    store::SetNumber(only.key, only.name, 77);
    PluginSettings expected = Defaults();
    expected.*only.field = 77;
    CheckSame(Load(), expected, only.key);
  }
}

SUITE_CASE(save_then_load_round_trips_through_the_registry) {
  suite::AttachAgain();
  PluginSettings saved = store::Unusual();
  std::strcpy(saved.ExtentionMask, " \t*.JPE;*.JFIF  ");
  PluginSettings before = saved;
  SaveSettings(g_module.instance, &saved);
  CHECK(std::memcmp(&saved, &before, sizeof saved) == 0); /* the record is not changed */

  PluginSettings expected = store::Unusual();
  CheckSame(Load(), expected, "loaded");

  /* Texts are REG_SZ written without counting the terminator (the registry
   * adds it, as NT does, since our text ends there), numbers 4-byte
   * REG_DWORD. */
  DWORD type = 0;
  std::string bytes;
  CHECK(store::Get(kMain, "ExtentionMask", &type, &bytes));
  CHECK_EQ(static_cast<long long>(type), static_cast<long long>(REG_SZ));
  CHECK_EQ(bytes, std::string("*.JPE;*.JFIF  \0", 15));
  CHECK(store::Get(kMain, "JPEGPlug-in", &type, &bytes));
  CHECK_EQ(bytes, std::string(expected.JPEGPlugin) + std::string(1, '\0'));
  CHECK(store::Get(kJ6i, "Top", &type, &bytes));
  CHECK_EQ(static_cast<long long>(type), static_cast<long long>(REG_DWORD));
  CHECK_EQ(bytes, std::string("\xFF\xFF\xFF\xFF", 4));
  CHECK(store::Get(kPmp, "ColorCorrect", &type, &bytes));
  CHECK_EQ(bytes, std::string("\0\0\0\0", 4));
  /* A text written by another tool with its terminator reads back the same. */
  store::SetText(kMain, "JPEGPlug-in", "other.mqf", true);
  CHECK_EQ(std::string(Load().JPEGPlugin), std::string("other.mqf"));
}

SUITE_CASE(host_language_defaults_to_japanese) {
  suite::AttachAgain();
  CHECK(IsHostJapanese());
  store::SetNumber(kResource, "Other", 0);
  CHECK(IsHostJapanese()); /* key present, value absent */
  store::SetNumber(kResource, "Japanese", 0);
  CHECK(!IsHostJapanese());
  store::SetNumber(kResource, "Japanese", 2);
  CHECK(IsHostJapanese());
}

/* Numbers that another thread or process changes between two calls. */
const struct Changed {
  const char *key;                /* registry mode */
  const char *section, *file;     /* INI mode */
  const char *name;
  int32_t PluginSettings::*field; /* null: the host's language flag */
  int32_t fallback;               /* what a call reads once the value is gone */
} kChanged[] = {
    {kMain, kMain, kSettingsIniFile, "DCTMethod", &PluginSettings::DCTMethod, 0},
    {kJ6i, kJ6i, kSettingsIniFile, "Top", &PluginSettings::Top, 0},
    {kPmp, kPmp, kSettingsIniFile, "Rotation", &PluginSettings::Rotation, 1},
    {kResource, "Resource", "orvid.ini", "Japanese", nullptr, 1},
};

/* The flag is read by turns alone and with the settings (registry mode). */
int32_t ReadBack(const Changed &c, int n) {
  if (c.field) return Load().*c.field;
  PluginSettings settings;
  bool japanese = true;
  if (n / 8 % 2 == 0 || !LoadSettingsAndLanguage(g_module.instance, &settings, &japanese))
    japanese = IsHostJapanese();
  return japanese ? 1 : 0;
}

/* What step n stores: n, or for the flag 0 and 1 by turns. */
int32_t Value(int n) { return kChanged[n % 4].field ? n : n / 4 % 2; }

/* Whether step n deletes instead (registry mode): the host's language key
 * alone (a leaf, values and all) every 40 steps, our keys every 100. */
bool Deletes(int n) { return UsesRegistry() && (n % 40 == 7 || n % 100 == 98); }

void ChangeStore(void *step) {
  int n = *static_cast<int *>(step);
  const Changed &c = kChanged[n % 4];
  if (!UsesRegistry())
    WritePrivateProfileStringA(c.section, c.name, std::to_string(Value(n)).c_str(), c.file);
  else if (!Deletes(n))
    store::SetNumber(c.key, c.name, Value(n));
  else if (n % 40 == 7)
    RegDeleteKeyA(HKEY_CURRENT_USER, kResource);
  else
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Doru");
}

SUITE_CASE(a_change_by_another_thread_counts_from_the_next_call) {
#ifdef _WIN32
  const int modes = 1; /* no INI mode under Wine */
#else
  const int modes = 2;
#endif
  for (int ini = 0; ini < modes; ++ini) {
    suite::ResetStore();
#ifndef _WIN32
    if (ini) StandinSetPlatformId(0);
#endif
    suite::AttachAgain();
    /* With the viewer's other key present, its parent is watched only as
     * the parent of the language key. */
    if (UsesRegistry()) store::SetText("Software\\Merovane\\Orvid\\Plug-in", "path", "C:\\", true);
    int missed = 0;
    for (int n = 0; n < 1000; ++n) {
      suite::Thread writer{ChangeStore, &n};
      writer.start();
      writer.join();
      const Changed &c = kChanged[n % 4];
      if (ReadBack(c, n) != (Deletes(n) ? c.fallback : Value(n))) ++missed;
    }
    CHECK_EQ(missed, 0);
  }
}

/* A change that lands right after a re-read, while the call still holds the
 * store: the watch was armed before the read, so the next call sees it. */
int g_lateStep;
void ChangeStoreLate() {
  g_module.settingsCache->afterRead = nullptr;
  ChangeStore(&g_lateStep);
}

SUITE_CASE(a_change_right_after_a_reread_counts_from_the_next_call) {
  suite::AttachAgain();
  for (int n = 0; n < 6; ++n) {
    ChangeStore(&n); /* so that the next call reads again */
    g_lateStep = n + 100;
    g_module.settingsCache->afterRead = ChangeStoreLate;
    CHECK_EQ(ReadBack(kChanged[n % 4], n), Value(n));
    CHECK_EQ(ReadBack(kChanged[g_lateStep % 4], g_lateStep), Value(g_lateStep));
  }
}

/* Under Wine the system's own `reg add`; natively a forked child. */
void SetNumberInAnotherProcess(const char *key, const char *name, int32_t value) {
#ifdef _WIN32
  std::string command = std::string("reg.exe add \"HKCU\\") + key + "\" /v " + name +
                        " /t REG_DWORD /d " + std::to_string(value) + " /f";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES; /* no "operation completed" in our output */
  PROCESS_INFORMATION process;
  CHECK(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process));
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
#else
  pid_t child = fork();
  if (child == 0) _exit(store::SetNumber(key, name, value) ? 0 : 1);
  int status = -1;
  waitpid(child, &status, 0);
  CHECK_EQ(status, 0);
#endif
}

SUITE_CASE(a_change_by_another_process_counts_from_the_next_call) {
  suite::AttachAgain();
  CheckSame(Load(), Defaults(), "before");
  const int32_t values[] = {2, 7, 1}; /* the J6I key is created by the other process */
  for (int n = 0; n < 3; ++n) {
    SetNumberInAnotherProcess(kChanged[n % 2].key, kChanged[n % 2].name, values[n]);
    CHECK_EQ(Load().*kChanged[n % 2].field, values[n]);
  }
}

#ifndef _WIN32
std::string IniValue(const char *section, const char *key, const char *file = "quorelv6.ini") {
  char buf[64];
  GetPrivateProfileStringA(section, key, "<none>", buf, sizeof buf, file);
  return buf;
}

SUITE_CASE(ini_mode_stores_sections_by_key_path) {
  StandinSetPlatformId(0);
  suite::AttachAgain();
  PluginSettings d = Defaults();
  SaveSettings(g_module.instance, &d);
  CHECK_EQ(IniValue(kJ6i, "AspectX"), std::string("6"));
  CHECK_EQ(IniValue(kMain, "JPEGPlug-in"), std::string("quorel.mqf"));
  CHECK_EQ(IniValue(kMain, "ExtentionMask"), std::string(""));
  CHECK(!store::KeyExists("Software\\Doru")); /* the registry is never touched */

  PluginSettings u = store::Unusual();
  SaveSettings(g_module.instance, &u);
  CHECK_EQ(IniValue(kJ6i, "Top"), std::string("-1"));
  CHECK_EQ(IniValue(kJ6i, "Right"), std::string("2147483647"));
  /* The profile functions trim blanks around a value, as Windows does. */
  PluginSettings expected = store::Unusual();
  std::strcpy(expected.ExtentionMask, "*.JPE;*.JFIF");
  CheckSame(Load(), expected, "INI round trip");

  /* A text without a leading number keeps the default. */
  WritePrivateProfileStringA(kMain, "DitherMode", "abc", "quorelv6.ini");
  WritePrivateProfileStringA(kMain, "PreviewSize", "8 or so", "quorelv6.ini");
  CHECK_EQ(Load().DitherMode, 2);
  CHECK_EQ(Load().PreviewSize, 8);
}

SUITE_CASE(ini_mode_reads_the_host_language_from_its_own_file) {
  StandinSetPlatformId(0);
  suite::AttachAgain();
  store::SetNumber(kResource, "Japanese", 0); /* not consulted */
  CHECK(IsHostJapanese());
  WritePrivateProfileStringA("Resource", "Japanese", "0", "orvid.ini");
  CHECK(!IsHostJapanese());
  WritePrivateProfileStringA("Resource", "Japanese", "1", "quorelv6.ini"); /* wrong file */
  CHECK(!IsHostJapanese());
}

SUITE_CASE(failed_query_means_ini_mode) {
  StandinSetPlatformId(-1);
  suite::AttachAgain();
  CHECK_EQ(static_cast<long long>(g_module.platformId), 0LL);
  CHECK(!UsesRegistry());
}

SUITE_CASE(inaccessible_registry_loses_changes_silently) {
  suite::AttachAgain();
  StandinSetRegistryDenied(1);
  PluginSettings u = store::Unusual();
  CHECK_EQ(SaveSettings(g_module.instance, &u), 1);
  CheckSame(Load(), Defaults(), "denied");
  StandinSetRegistryDenied(0);
  CheckSame(Load(), Defaults(), "after denial");
}
#endif

}  // namespace

SUITE_MAIN()
