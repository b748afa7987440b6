/*
 * prompt_suite.cpp - the broken-file prompt.
 *
 * Natively it runs through the stand-in's dialog model, which plays the
 * user. The Windows build (under Wine, without a display) checks that the
 * resources compiled from dialogs.inc are the templates it describes; the
 * real dialogs are exercised by prompt_window.cpp.
 */
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "plugin/broken_file_prompt.h"
#include "attach.h"
#include "described_dialogs.h"
#include "harness.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "store.h"

namespace {

const char kMainKey[] = "Software\\Doru\\movrela";
const char kEnglishText[] = "This JPEG file is broken. \r\nDo you display the result to a midway? ";
const char kJapaneseText[] =
    "\x82\xb1\x82\xcc"
    "JPEG"
    "\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xcd\x94\x6a\x91\xb9\x82\xb5"
    "\x82\xc4\x82\xa2\x82\xdc\x82\xb7\x81\x42\r\n\x93\x72\x92\x86\x82\xdc\x82\xc5\x82\xcc\x8c\x8b"
    "\x89\xca\x82\xf0\x95\x5c\x8e\xa6\x82\xb5\x82\xdc\x82\xb7\x82\xa9?\x81\x42";

#ifndef _WIN32

void SetHostJapanese(bool japanese) {
  store::SetNumber("Software\\Merovane\\Orvid\\Resource", "Japanese", japanese ? 1 : 0);
}

/* Runs the prompt with `user` playing the user; returns its answer. */
std::function<void(HWND)> g_user;
int Prompt(std::function<void(HWND)> user) {
  g_user = std::move(user);
  StandinSetDialogScript([](HWND dialog, void *) { g_user(dialog); }, nullptr);
  return BrokenFilePrompt();
}

std::string Stored(const char *name) {
  DWORD type = 0;
  std::string bytes;
  if (!store::Get(kMainKey, name, &type, &bytes)) return "<none>";
  return std::to_string(type) + ":" + suite::Bytes(bytes.data(), bytes.size());
}

SUITE_CASE(every_way_out_answers_yes_or_no_and_a_ticked_box_stores_nothing) {
  suite::AttachAgain();
  StandinResetDialogs();
  const struct {
    const char *what;
    BOOL (*act)(HWND);
    int answer;
  } ways[] = {
      {"Yes", [](HWND d) { return StandinClick(d, IDOK); }, 1},
      {"No", [](HWND d) { return StandinClick(d, IDCANCEL); }, 2},
      {"Enter", StandinPressEnter, 1},
      {"Esc", StandinPressEscape, 2},
      {"close box", StandinPressCloseBox, 2},
  };
  for (const auto &way : ways) {
    BOOL delivered = FALSE;
    int answer = Prompt([&](HWND dialog) { delivered = way.act(dialog); });
    if (!delivered || answer != way.answer)
      suite::Report(__FILE__, __LINE__, std::string(way.what) + " answered " + suite::Show(answer));
  }
  CHECK(!store::KeyExists("Software\\Doru"));
}

SUITE_CASE(clearing_the_box_turns_the_warning_off_on_yes_and_no) {
  suite::AttachAgain();
  StandinResetDialogs();
  for (int button : {IDOK, IDCANCEL}) {
    suite::ResetStore();
    int answer = Prompt([&](HWND dialog) {
      CHECK(StandinClick(dialog, IDC_BROKEN_FILE_WARN));
      CHECK(StandinClick(dialog, button));
    });
    CHECK_EQ(answer, button == IDOK ? 1 : 2);
    CHECK_EQ(Stored("ReportDialog"), std::string("4:\\x00\\x00\\x00\\x00"));
    PluginSettings settings;
    LoadSettings(g_module.instance, &settings);
    CHECK_EQ(settings.ReportDialog, 0);
  }
}

SUITE_CASE(the_host_language_picks_template_and_message) {
  suite::AttachAgain();
  StandinResetDialogs();
  const struct {
    int japanese; /* -1: the viewer stored no language */
    int templateId;
    const char *text;
  } cases[] = {{0, 130, kEnglishText}, {1, 131, kJapaneseText}, {-1, 131, kJapaneseText}};
  for (const auto &c : cases) {
    suite::ResetStore();
    if (c.japanese >= 0) SetHostJapanese(c.japanese != 0);
    HWND seen = nullptr;
    Prompt([&](HWND dialog) {
      seen = dialog;
      StandinClick(dialog, IDOK);
    });
    StandinDialogState state;
    StandinControlState box;
    char text[512];
    CHECK(StandinGetDialogState(seen, &state));
    CHECK_EQ(state.templateId, c.templateId);
    CHECK(state.owner == nullptr);
    int length = StandinGetControlText(seen, IDC_BROKEN_FILE_TEXT, text, sizeof text);
    CHECK_EQ(suite::Bytes(text, static_cast<size_t>(length)),
             suite::Bytes(c.text, std::strlen(c.text)));
    CHECK(StandinGetControlState(seen, IDC_BROKEN_FILE_WARN, &box));
    CHECK_EQ(box.check, BST_CHECKED); /* ticked when it opened, untouched since */
  }
}

SUITE_CASE(opens_in_front_with_the_focus_on_yes) {
  suite::AttachAgain();
  StandinResetDialogs();
  HWND host = StandinCreateHostWindow(0, 0, 640, 480);
  SetForegroundWindow(host);
  SetFocus(host);
  Prompt([&](HWND dialog) {
    CHECK(GetForegroundWindow() == dialog);
    CHECK(GetFocus() == GetDlgItem(dialog, IDOK));
    CHECK(IsWindowEnabled(host)); /* no owner: the host is not disabled */
    StandinPressEscape(dialog);
  });
  CHECK(GetForegroundWindow() == host);
  StandinDestroyHostWindow(host);
}

SUITE_CASE(centred_on_the_desktop_by_integer_division) {
  suite::AttachAgain();
  /* Window sizes by the model's rule: 130 is 275 x 153 pixels, 131 is
   * 303 x 153. */
  const struct {
    bool japanese;
    int desktopWidth, desktopHeight;
    LONG left, top;
  } cases[] = {
      {false, 1024, 768, 374, 307},
      {false, 1025, 769, 375, 308},
      {true, 1024, 768, 360, 307},
      {false, 200, 100, -37, -26}, /* larger than the desktop: halves round towards zero */
  };
  for (const auto &c : cases) {
    StandinResetDialogs();
    StandinSetDesktopSize(c.desktopWidth, c.desktopHeight);
    SetHostJapanese(c.japanese);
    RECT before = {};
    Prompt([&](HWND dialog) {
      StandinDialogState state;
      StandinGetDialogState(dialog, &state);
      before = state.rect;
      StandinClick(dialog, IDOK);
    });
    StandinDialogState state;
    CHECK(StandinGetDialogState(StandinLastDialog(), &state));
    CHECK_EQ(state.rect.left, c.left);
    CHECK_EQ(state.rect.top, c.top);
    CHECK_EQ(state.rect.right - state.rect.left, c.japanese ? 303 : 275);
    CHECK_EQ(state.rect.bottom - state.rect.top, 153);
    CHECK_EQ(before.left, c.left); /* already in place when the user sees it */
    CHECK_EQ(state.moves, 1);
    CHECK_EQ(state.repaints, 0);
  }
  StandinResetDialogs();
}

SUITE_CASE(a_prompt_that_cannot_open_counts_as_no) {
  suite::AttachAgain();
  StandinResetDialogs();
  for (int japanese = 0; japanese <= 1; ++japanese) {
    SetHostJapanese(japanese != 0);
    StandinFailDialogCreation(1);
    long created = StandinDialogsCreated();
    CHECK_EQ(BrokenFilePrompt(), 2);
    CHECK_EQ(StandinLastDialogRequest(), 130 + japanese);
    CHECK_EQ(StandinDialogsCreated(), created);
  }
  StandinResetDialogs();
  CHECK_EQ(Stored("ReportDialog"), std::string("<none>"));
}

#else /* _WIN32 */

/* Reads a compiled template field by field. */
struct Reader {
  const BYTE *p;
  WORD Word() {
    WORD v;
    std::memcpy(&v, p, 2);
    p += 2;
    return v;
  }
  DWORD Dword() {
    DWORD v;
    std::memcpy(&v, p, 4);
    p += 4;
    return v;
  }
  /* A string, or an ordinal as "#N". */
  std::wstring Text() {
    if (Word() == 0xFFFF) return L"#" + std::to_wstring(Word());
    p -= 2;
    std::wstring s;
    for (WORD c; (c = Word()) != 0;) s += static_cast<wchar_t>(c);
    return s;
  }
  void Align(const BYTE *base) { p += (4 - (p - base) % 4) % 4; }
};

std::wstring FromShiftJis(const char *text) {
  wchar_t wide[512];
  int n = MultiByteToWideChar(932, 0, text, -1, wide, 512);
  return n > 0 ? std::wstring(wide) : L"<not Shift_JIS>";
}

std::string Narrow(const std::wstring &text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

/* Control classes by the ordinals resource compilers store. */
std::wstring ClassName(const std::wstring &stored) {
  static const wchar_t *const kAtoms[] = {L"Button",  L"Edit",      L"Static",
                                          L"ListBox", L"ScrollBar", L"ComboBox"};
  if (stored.size() > 1 && stored[0] == L'#') {
    int atom = std::stoi(stored.substr(1));
    if (atom >= 0x80 && atom <= 0x85) return kAtoms[atom - 0x80];
  }
  return stored;
}

SUITE_CASE(compiled_templates_are_the_described_ones) {
  HMODULE self = GetModuleHandleA(nullptr);
  size_t count = sizeof kDescribed / sizeof kDescribed[0];
  for (size_t i = 0; i < count;) {
    const Described &d = kDescribed[i];
    std::string where = "template " + std::to_string(d.id);
    HRSRC found = FindResourceA(self, MAKEINTRESOURCEA(d.id), MAKEINTRESOURCEA(5) /* RT_DIALOG */);
    if (!found) {
      suite::Report(__FILE__, __LINE__, where + " missing");
      for (++i; i < count && !kDescribed[i].dialog; ++i) {
      }
      continue;
    }
    const BYTE *base = static_cast<const BYTE *>(LockResource(LoadResource(self, found)));
    Reader r{base};
    DWORD style, exStyle;
    if (d.extended) {
      CHECK_EQ(r.Word(), 1);
      CHECK_EQ(r.Word(), 0xFFFF);
      r.Dword(); /* help id */
      exStyle = r.Dword();
      style = r.Dword();
    } else {
      style = r.Dword();
      exStyle = r.Dword();
    }
    WORD items = r.Word();
    short box[4];
    for (short &v : box) v = static_cast<short>(r.Word());
    CHECK(r.Text().empty()); /* menu */
    CHECK(r.Text().empty()); /* class */
    std::wstring caption = r.Text();
    CHECK_EQ(r.Word(), d.pointSize);
    if (d.extended) r.p += 4; /* weight, italic, character set */
    std::wstring font = r.Text();
    /* The compiler adds DS_SETFONT for the FONT statement. */
    CHECK_EQ(static_cast<long long>(style), static_cast<long long>(d.style | DS_SETFONT));
    CHECK_EQ(static_cast<long long>(exStyle), static_cast<long long>(d.exStyle));
    CHECK(box[0] == d.x && box[1] == d.y && box[2] == d.cx && box[3] == d.cy);
    CHECK(caption == FromShiftJis(d.text));
    if (font != FromShiftJis(d.font))
      suite::Report(__FILE__, __LINE__, where + " font " + Narrow(font));

    size_t described = 0;
    for (++i; i < count && !kDescribed[i].dialog; ++i, ++described) {
      const Described &c = kDescribed[i];
      std::string control = where + " control " + std::to_string(c.id);
      if (described >= items) continue;
      r.Align(base);
      DWORD itemStyle, itemExStyle, id;
      if (d.extended) r.Dword(); /* help id */
      if (d.extended) {
        itemExStyle = r.Dword();
        itemStyle = r.Dword();
      } else {
        itemStyle = r.Dword();
        itemExStyle = r.Dword();
      }
      for (short &v : box) v = static_cast<short>(r.Word());
      id = d.extended ? r.Dword() : r.Word();
      std::wstring cls = ClassName(r.Text());
      std::wstring text = r.Text();
      r.p += r.Word(); /* creation data */
      if (itemStyle != c.style || itemExStyle != c.exStyle ||
          static_cast<int>(static_cast<short>(id)) != c.id ||
          !(box[0] == c.x && box[1] == c.y && box[2] == c.cx && box[3] == c.cy))
        suite::Report(__FILE__, __LINE__, control + ": style, id or rectangle differ");
      if (lstrcmpiW(cls.c_str(), FromShiftJis(c.cls).c_str()) != 0)
        suite::Report(__FILE__, __LINE__, control + ": class " + Narrow(cls));
      if (text != FromShiftJis(c.text))
        suite::Report(__FILE__, __LINE__, control + ": text " + Narrow(text));
    }
    CHECK_EQ(static_cast<size_t>(items), described);
  }
}

SUITE_CASE(prompt_texts_are_in_the_string_table) {
  HMODULE self = GetModuleHandleA(nullptr);
  char english[256];
  int n = LoadStringA(self, IDS_BROKEN_FILE, english, sizeof english);
  CHECK_EQ(suite::Bytes(english, static_cast<size_t>(n)),
           suite::Bytes(kEnglishText, std::strlen(kEnglishText)));
  /* Read as UTF-16, whatever the ANSI code page of this run. */
  wchar_t japanese[256];
  n = LoadStringW(self, IDS_BROKEN_FILE + 1, japanese, 256);
  CHECK(std::wstring(japanese, static_cast<size_t>(n)) == FromShiftJis(kJapaneseText));
}

#endif

}  // namespace

SUITE_MAIN()
