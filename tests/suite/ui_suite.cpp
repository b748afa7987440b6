/*
 * ui_suite.cpp - ConfigurationDlg, the About dialog and the settings dialog,
 * driven through the stand-in's dialog model, which plays the user. The
 * first argument is the native reference decoder (quorel.mqf), which the
 * settings dialog switches to and from. ui_window.cpp runs the same dialogs
 * for real under Wine.
 */
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "attach.h"
#include "harness.h"
#include "plugin/external_decoder.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "store.h"
#include "ui/configuration.h"

namespace {

/* Fixes the settings backend, as process attach does, and the viewer's
 * language (-1: none stored). Clears the external decoder record. */
void Host(bool registry, int japanese) {
  StandinSetPlatformId(registry ? VER_PLATFORM_WIN32_NT : VER_PLATFORM_WIN32s);
  suite::AttachAgain();
  StandinResetDialogs();
  if (japanese < 0) return;
  if (registry)
    store::SetNumber("Software\\Merovane\\Orvid\\Resource", "Japanese", japanese);
  else
    WritePrivateProfileStringA("Resource", "Japanese", japanese ? "1" : "0", "orvid.ini");
}

std::function<void(HWND)> g_user;
int32_t Configure(int32_t function, std::function<void(HWND)> user, HWND owner = nullptr) {
  g_user = std::move(user);
  StandinSetDialogScript([](HWND dialog, void *) { g_user(dialog); }, nullptr);
  return ConfigurationDlg(owner, function);
}

/* Nothing stored yet: no key in the registry, no INI file. */
bool NothingSaved() {
  std::string ini = std::string(StandinRootFolder()) + "/windows/quorelv6.ini";
  return !store::KeyExists("Software\\Doru") && access(ini.c_str(), F_OK) != 0;
}

PluginSettings Load() {
  PluginSettings settings;
  LoadSettings(g_module.instance, &settings);
  return settings;
}

const struct {
  const char *name;
  int32_t PluginSettings::*field;
} kNumbers[] = {
    {"SearchMarkerSupport", &PluginSettings::SearchMarkerSupport},
    {"ExifSupport", &PluginSettings::ExifSupport},
    {"ExifPreviewLevel", &PluginSettings::ExifPreviewLevel},
    {"DCTMethod", &PluginSettings::DCTMethod},
    {"DitherMode", &PluginSettings::DitherMode},
    {"UpSampling", &PluginSettings::UpSampling},
    {"UserDefineExtention", &PluginSettings::UserDefineExtention},
    {"IgnorePixelAspectRatio", &PluginSettings::IgnorePixelAspectRatio},
    {"ColorSelect", &PluginSettings::ColorSelect},
    {"PreviewSize", &PluginSettings::PreviewSize},
    {"ReportDialog", &PluginSettings::ReportDialog},
    {"UseInternalDecoder", &PluginSettings::UseInternalDecoder},
    {"ExifRotation", &PluginSettings::ExifRotation},
    {"ColorManagement", &PluginSettings::ColorManagement},
    {"J6ISupport", &PluginSettings::J6ISupport},
    {"AspectX", &PluginSettings::AspectX},
    {"AspectY", &PluginSettings::AspectY},
    {"Top", &PluginSettings::Top},
    {"Bottom", &PluginSettings::Bottom},
    {"Left", &PluginSettings::Left},
    {"Right", &PluginSettings::Right},
    {"PMPSupport", &PluginSettings::PMPSupport},
    {"Rotation", &PluginSettings::Rotation},
    {"ColorCorrect", &PluginSettings::ColorCorrect},
};

/* The fields that differ, as "name got/expected"; empty when none do. */
std::string Diff(const PluginSettings &got, const PluginSettings &expected) {
  std::string out;
  for (const auto &n : kNumbers)
    if (got.*n.field != expected.*n.field)
      out += std::string(n.name) + " " + std::to_string(got.*n.field) + "/" +
             std::to_string(expected.*n.field) + " ";
  if (std::strcmp(got.ExtentionMask, expected.ExtentionMask) != 0)
    out += "ExtentionMask \"" + std::string(got.ExtentionMask) + "\" ";
  if (std::strcmp(got.JPEGPlugin, expected.JPEGPlugin) != 0)
    out += "JPEGPlugin \"" + std::string(got.JPEGPlugin) + "\"";
  return out;
}

std::string Text(HWND dialog, int id) {
  char text[512];
  int n = StandinGetControlText(dialog, id, text, sizeof text);
  return n < 0 ? "<none>" : std::string(text);
}

StandinControlState Control(HWND dialog, int id) {
  StandinControlState state = {};
  StandinGetControlState(dialog, id, &state);
  return state;
}

bool Exists(HWND dialog, int id) { return StandinGetControlText(dialog, id, nullptr, 0) >= 0; }

SUITE_CASE(function_number_language_and_backend_pick_the_template) {
  const struct {
    bool registry;
    int japanese;
    int32_t function;
    int templateId; /* -1: none may open */
  } cases[] = {
      {true, 0, 0, 100},  {true, 1, 0, 101}, {false, 0, 0, 100}, {false, -1, 0, 101},
      {true, 0, 1, 110},  {true, 1, 1, 111}, {false, 0, 1, 112}, {false, 1, 1, 113},
      {true, -1, 1, 111}, {true, 0, 2, -1},  {true, 1, -1, -1},
  };
  for (const auto &c : cases) {
    suite::ResetStore();
    Host(c.registry, c.japanese);
    HWND owner = StandinCreateHostWindow(100, 100, 700, 500);
    long created = StandinDialogsCreated();
    StandinDialogState seen = {};
    int32_t result = Configure(
        c.function,
        [&](HWND dialog) {
          StandinGetDialogState(dialog, &seen);
          StandinPressEscape(dialog); /* closes the settings dialog, not the About dialog */
          StandinClick(dialog, IDOK);
        },
        owner);
    StandinDestroyHostWindow(owner);
    CHECK_EQ(result, c.templateId < 0 ? -1 : 0);
    CHECK_EQ(StandinDialogsCreated() - created, c.templateId < 0 ? 0L : 1L);
    if (c.templateId < 0) continue;
    CHECK_EQ(seen.templateId, c.templateId);
    CHECK(seen.owner == owner);
    CHECK(NothingSaved());
  }
}

SUITE_CASE(dialogs_that_cannot_open_still_answer_success) {
  const struct {
    bool registry, failCreation, upDownMissing;
    int32_t function;
    bool opens;
  } cases[] = {
      {true, true, false, 0, false},
      {true, true, false, 1, false},
      {true, false, true, 1, false}, /* 110 needs the up-down class */
      {false, false, true, 1, true}, /* 112 does not */
  };
  for (const auto &c : cases) {
    Host(c.registry, 0);
    StandinFailDialogCreation(c.failCreation);
    StandinSetUpDownClassRegistered(!c.upDownMissing);
    long created = StandinDialogsCreated();
    CHECK_EQ(Configure(c.function, [](HWND dialog) { StandinClick(dialog, IDCANCEL); }), 0);
    CHECK_EQ(StandinDialogsCreated() - created, c.opens ? 1L : 0L);
  }
  StandinResetDialogs();
  CHECK(NothingSaved());
}

SUITE_CASE(about_shows_the_version_and_only_ok_or_enter_close_it) {
  for (int japanese = 0; japanese <= 1; ++japanese) {
    Host(true, japanese);
    bool escClosed = true, hasCloseBox = true;
    Configure(0, [&](HWND dialog) {
      CHECK_EQ(Text(dialog, IDC_ABOUT_VERSION),
               std::string("Ver 0.04(Base on quorelv6.mqf v0.11)"));
      CHECK(GetFocus() == GetDlgItem(dialog, IDOK));
      StandinPressEscape(dialog);
      StandinDialogState state;
      StandinGetDialogState(dialog, &state);
      escClosed = state.ended;
      hasCloseBox = StandinPressCloseBox(dialog);
      StandinPressEnter(dialog);
    });
    StandinDialogState state;
    CHECK(StandinGetDialogState(StandinLastDialog(), &state));
    CHECK(!escClosed);
    CHECK(!hasCloseBox);
    CHECK(state.ended && state.result == 1);
  }
}

SUITE_CASE(settings_show_the_record_and_ok_saves_it_as_it_was) {
  for (bool registry : {true, false}) {
    suite::ResetStore();
    Host(registry, 0);
    /* On where the INI layouts, without its box, save it off; a mask that
     * the profile functions would trim. */
    PluginSettings stored = store::Unusual();
    stored.UseInternalDecoder = 1;
    std::strcpy(stored.ExtentionMask, "*.JPE; *.JFIF");
    SaveSettings(g_module.instance, &stored);
    Configure(1, [&](HWND dialog) {
      const struct {
        int id;
        int32_t PluginSettings::*field;
      } boxes[] = {{IDC_USER_EXTENSION, &PluginSettings::UserDefineExtention},
                   {IDC_EXIF, &PluginSettings::ExifSupport},
                   {IDC_SEARCH_MARKER, &PluginSettings::SearchMarkerSupport},
                   {IDC_IGNORE_ASPECT, &PluginSettings::IgnorePixelAspectRatio},
                   {IDC_REPORT_DIALOG, &PluginSettings::ReportDialog},
                   {IDC_INTERNAL_DECODER, &PluginSettings::UseInternalDecoder},
                   {IDC_J6I, &PluginSettings::J6ISupport},
                   {IDC_PMP, &PluginSettings::PMPSupport},
                   {IDC_ROTATION, &PluginSettings::Rotation},
                   {IDC_COLOR_CORRECT, &PluginSettings::ColorCorrect}};
      for (const auto &box : boxes)
        if (registry || box.id != IDC_INTERNAL_DECODER)
          CHECK_EQ(Control(dialog, box.id).check, stored.*box.field ? 1 : 0);
      CHECK_EQ(Control(dialog, IDC_ASPECT).check, 1);
      CHECK_EQ(Text(dialog, IDC_EXTENSION_MASK), std::string(stored.ExtentionMask));
      CHECK_EQ(Control(dialog, IDC_DCT_METHOD).selection, CB_ERR);
      CHECK_EQ(Text(dialog, IDC_PREVIEW_SIZE), std::string("1/8"));
      const char *top = registry ? "-1" : "4294967295"; /* INI layouts show unsigned numbers */
      CHECK_EQ(Text(dialog, IDC_LEFT) + " " + Text(dialog, IDC_RIGHT) + " " +
                   Text(dialog, IDC_TOP) + " " + Text(dialog, IDC_BOTTOM),
               "150 2147483647 " + std::string(top) + " 100");
      /* The INI layouts lack the up-downs, Browse and the internal-decoder box. */
      for (int id : {IDC_BROWSE, IDC_INTERNAL_DECODER}) CHECK_EQ(Exists(dialog, id), registry);
      for (int spin : {IDC_LEFT_SPIN, IDC_RIGHT_SPIN, IDC_TOP_SPIN, IDC_BOTTOM_SPIN}) {
        CHECK_EQ(Exists(dialog, spin), registry);
        StandinControlState s = Control(dialog, spin);
        if (registry) CHECK(s.enabled && s.lower == 0 && s.upper == 100);
        if (registry) CHECK(s.buddy == GetDlgItem(dialog, spin - 1));
      }
      /* Mask box on, J6I and PMP off: what they govern follows. */
      const int enabled[] = {IDC_EXTENSION_MASK};
      const int disabled[] = {IDC_ASPECT, IDC_LEFT,     IDC_RIGHT,        IDC_TOP,
                              IDC_BOTTOM, IDC_ROTATION, IDC_COLOR_CORRECT};
      for (int id : enabled) CHECK(Control(dialog, id).enabled);
      for (int id : disabled) CHECK(!Control(dialog, id).enabled);
      CHECK(GetFocus() == GetDlgItem(dialog, IDOK));
      StandinClick(dialog, IDOK);
    });
    PluginSettings expected = stored;
    if (!registry) expected.UseInternalDecoder = 0; /* no box for it */
    CHECK_EQ(Diff(Load(), expected), std::string());
  }
}

SUITE_CASE(check_boxes_grey_and_ungrey_what_they_govern) {
  Host(true, 0);
  const struct {
    int box;
    int governed[5];
  } cases[] = {{IDC_USER_EXTENSION, {IDC_EXTENSION_MASK}},
               {IDC_J6I, {IDC_ASPECT, IDC_LEFT, IDC_RIGHT, IDC_TOP, IDC_BOTTOM}},
               {IDC_PMP, {IDC_ROTATION, IDC_COLOR_CORRECT}}};
  Configure(1, [&](HWND dialog) {
    for (const auto &c : cases) {
      for (int click = 0; click < 2; ++click) {
        bool on = Control(dialog, c.box).check == BST_CHECKED;
        for (int id : c.governed)
          if (id) CHECK_EQ(Control(dialog, id).enabled, on ? 1 : 0);
        StandinClick(dialog, c.box);
      }
    }
    StandinClick(dialog, IDCANCEL);
  });
}

SUITE_CASE(aspect_box_keeps_a_ratio_until_it_is_toggled) {
  const struct {
    int32_t x, y;
    bool toggle;
    int32_t savedX, savedY;
  } cases[] = {{4, 3, false, 4, 3},
               {4, 3, true, 1, 1},
               {1, 1, true, 6, 5},
               {2, 2, false, 2, 2},
               {6, 5, true, 1, 1}};
  for (const auto &c : cases) {
    Host(true, 0);
    PluginSettings s = Load();
    s.AspectX = c.x;
    s.AspectY = c.y;
    SaveSettings(g_module.instance, &s);
    Configure(1, [&](HWND dialog) {
      if (c.toggle) StandinClick(dialog, IDC_ASPECT);
      StandinClick(dialog, IDOK);
    });
    CHECK_EQ(Load().AspectX * 100 + Load().AspectY, c.savedX * 100 + c.savedY);
  }
}

SUITE_CASE(lists_show_and_store_item_values) {
  const struct {
    int32_t dct;
    const char *dctShown;
    int dctPick; /* -1: untouched */
    int32_t dctSaved;
    int32_t preview;
    const char *previewShown;
    int previewPick;
    int32_t previewSaved;
  } cases[] = {
      {2, "float", 1, 1, 4, "1/4(default)", 0, 0},
      {0, "int(default)", -1, 0, 8, "1/8", -1, 8},
      {7, "", -1, 7, 0, "auto", 2, 8}, /* outside 0..2: no selection, kept */
      {-1, "", 2, 2, 4, "1/4(default)", -1, 4},
  };
  for (const auto &c : cases) {
    Host(true, 0);
    PluginSettings s = Load();
    s.DCTMethod = c.dct;
    s.PreviewSize = c.preview;
    SaveSettings(g_module.instance, &s);
    Configure(1, [&](HWND dialog) {
      CHECK_EQ(Text(dialog, IDC_DCT_METHOD), std::string(c.dctShown));
      CHECK_EQ(Text(dialog, IDC_PREVIEW_SIZE), std::string(c.previewShown));
      if (c.dctPick >= 0) StandinSelect(dialog, IDC_DCT_METHOD, c.dctPick);
      if (c.previewPick >= 0) StandinSelect(dialog, IDC_PREVIEW_SIZE, c.previewPick);
      StandinClick(dialog, IDOK);
    });
    CHECK_EQ(Load().DCTMethod, c.dctSaved);
    CHECK_EQ(Load().PreviewSize, c.previewSaved);
  }
}

SUITE_CASE(edge_fields_keep_unshowable_values_until_changed) {
  enum Action { None, Up, Down, Type };
  const struct {
    bool registry, j6i;
    int32_t stored;
    Action action;
    const char *typed;
    int32_t saved;
  } cases[] = {
      {true, true, 150, None, "", 150}, {true, true, 150, Up, "", 0},
      {true, true, 150, Down, "", 99},  {true, true, -3, None, "", -3},
      {true, true, 100, Up, "", 0},     {true, true, 0, Down, "", 100},
      {true, true, 7, Type, "12", 12},  {true, true, 7, Type, "300", 7},
      {true, true, 7, Type, "x", 7},    {true, false, 5, Up, "", 6}, /* greyed, still spins */
      {false, true, -1, None, "", -1},  {false, true, 7, Type, " 12 ", 12},
      {false, true, 7, Type, "x", 0},   {false, false, 9, None, "", 9},
  };
  for (const auto &c : cases) {
    suite::ResetStore();
    Host(c.registry, 0);
    PluginSettings s = Load();
    s.J6ISupport = c.j6i;
    s.Left = c.stored;
    SaveSettings(g_module.instance, &s);
    bool acted = true;
    Configure(1, [&](HWND dialog) {
      if (c.action == Up || c.action == Down)
        acted = StandinSpin(dialog, IDC_LEFT_SPIN, c.action == Up);
      if (c.action == Type) acted = StandinType(dialog, IDC_LEFT, c.typed);
      StandinClick(dialog, IDOK);
    });
    CHECK(acted);
    CHECK_EQ(Load().Left, c.saved);
  }
}

SUITE_CASE(mask_is_stored_without_leading_blanks_and_cut_to_its_field) {
  const std::string longMask(300, 'x');
  const struct {
    std::string typed, saved;
  } cases[] = {{" \t *.JPE; *.JFIF \t", "*.JPE; *.JFIF \t"},
               {"\t" + longMask, longMask.substr(0, 255)}};
  for (const auto &c : cases) {
    suite::ResetStore();
    Host(true, 0);
    Configure(1, [&](HWND dialog) {
      StandinClick(dialog, IDC_USER_EXTENSION);
      StandinType(dialog, IDC_EXTENSION_MASK, c.typed.c_str());
      StandinClick(dialog, IDOK);
    });
    CHECK_EQ(std::string(Load().ExtentionMask), c.saved);
  }
}

SUITE_CASE(browse_offers_the_plugin_and_only_ok_saves_and_switches) {
  /* As the file dialog names it: a full path, on the stand-in's one drive. */
  const std::string loaded = "Z:" + suite::Current().argument;
  const std::string folder = loaded.substr(0, loaded.rfind('/'));
  const std::string other = folder + "/./" + loaded.substr(folder.size() + 1);
  const std::string tooLong = "C:\\" + std::string(300, 'q') + ".mqf";
  enum Way { Ok, CancelButton, Escape, CloseBox };
  const struct {
    int japanese;
    const char *picked; /* null: the user cancels the file dialog */
    Way way;
    const char *loadedAfter; /* ...and, after OK, stored */
  } cases[] = {
      {0, other.c_str(), CancelButton, loaded.c_str()},
      {1, other.c_str(), Escape, loaded.c_str()},
      {0, other.c_str(), CloseBox, loaded.c_str()},
      {1, other.c_str(), Ok, other.c_str()},
      {0, nullptr, Ok, loaded.c_str()},
      {0, tooLong.c_str(), Ok, loaded.c_str()},
  };
  for (const auto &c : cases) {
    suite::ResetStore();
    Host(true, c.japanese);
    PluginSettings stored = Load();
    std::strcpy(stored.JPEGPlugin, loaded.c_str());
    SaveSettings(g_module.instance, &stored);
    CHECK(LoadExternalDecoder(loaded.c_str()) != nullptr);
    HMODULE before = g_externalDecoder.module;
    static std::string request; /* what the file dialog was asked, in one line */
    request.clear();
    StandinSetOpenFileScript(
        [](const OPENFILENAMEA *r, void *picked) {
          char line[1024];
          std::snprintf(
              line, sizeof line, "%u %u %u %#x %d %s|%s|%s", unsigned(r->lStructSize),
              unsigned(r->nMaxFile), unsigned(r->nFilterIndex), unsigned(r->Flags),
              r->hwndOwner == StandinLastDialog() && !r->lpstrInitialDir, r->lpstrFile,
              r->lpstrTitle,
              suite::Bytes(r->lpstrFilter, sizeof "Orvid Jpeg Plug-in\0QUOREL*.MQF\0").c_str());
          request += line;
          return static_cast<const char *>(picked);
        },
        const_cast<char *>(c.picked));
    CHECK_EQ(Configure(1,
                       [&](HWND dialog) {
                         StandinClick(dialog, IDC_EXIF);
                         StandinClick(dialog, IDC_BROWSE);
                         if (c.way == Ok) StandinClick(dialog, IDOK);
                         if (c.way == CancelButton) StandinClick(dialog, IDCANCEL);
                         if (c.way == Escape) StandinPressEscape(dialog);
                         if (c.way == CloseBox) StandinPressCloseBox(dialog);
                       }),
             0);
    CHECK_EQ(request,
             std::to_string(offsetof(OPENFILENAMEA, pvReserved)) + " 260 1 0x2180c 1 " + loaded +
                 "|" +
                 (c.japanese ? "JPEG Plug-in\x82\xf0\x8e\x77\x92\xe8" : "Specify JPEG Plug-in") +
                 "|Orvid Jpeg Plug-in\\x00QUOREL*.MQF\\x00\\x00");
    PluginSettings expected = stored;
    if (c.way == Ok) {
      expected.ExifSupport = !stored.ExifSupport;
      std::strcpy(expected.JPEGPlugin, c.loadedAfter);
    }
    CHECK_EQ(Diff(Load(), expected), std::string());
    CHECK_EQ(std::string(g_externalDecoder.loadedName), std::string(c.loadedAfter));
    CHECK(g_externalDecoder.module != nullptr);
    if (c.loadedAfter == loaded.c_str()) CHECK(g_externalDecoder.module == before);
    UnloadExternalDecoder();
  }
}

}  // namespace

SUITE_MAIN()
