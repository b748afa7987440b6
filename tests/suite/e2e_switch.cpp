/*
 * e2e_switch.cpp - the external decoder record as the settings dialog
 * changes it: SwitchExternalDecoder keeps the loaded decoder for the same
 * name in any letter case, loads another name anew, and leaves the record
 * cleared when the new name does not load, so that the next request tries
 * the configured name again. Uses the fake decoders.
 *
 * usage: e2e_switch PATH-TO-MOVRELA.MQF   (the fakes lie beside it)
 */
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#ifndef _WIN32
#include <thread>
#endif

#include "attach.h"
#include "e2e_host.h"
#include "e2e_inputs.h"
#include "e2e_outcome.h"
#include "plugin/external_decoder.h"
#include "base/request_records.h"

PLUGIN_EXPORT int32_t WINAPI GetPicture(char *buf, int32_t len, uint32_t flag,
                                        HLOCAL *infoHandleOut, HLOCAL *bitsHandleOut,
                                        ProgressCallback progressCallback, int32_t callbackData);

namespace {

bool Cleared() {
  const ExternalDecoder &d = g_externalDecoder;
  return !d.module && !d.GetPluginInfo && !d.IsSupported && !d.GetPictureInfo && !d.GetPicture &&
         !d.GetPreview && d.loadedName[0] == 0;
}

/* A picture request through the plug-in's own export. */
int32_t Picture(const e2e::Input &in) {
  HLOCAL info = nullptr, bits = nullptr;
  int32_t result = GetPicture(const_cast<char *>(in.path().c_str()), 0, 0, &info, &bits, nullptr, 0);
  if (info) LocalFree(info);
  if (bits) LocalFree(bits);
  return result;
}

SUITE_CASE(switching_keeps_reloads_or_clears_the_decoder) {
  suite::AttachOnce();
  UnloadExternalDecoder();
  e2e::UseDecoder(e2e::Where().fakes, "fake_full.mqf");
  HMODULE full = LoadExternalDecoder("fake_full.mqf");
  CHECK(full != nullptr);
  if (!full) return;
  ExternalDecoder loaded = g_externalDecoder;
  CHECK_EQ(std::string(loaded.loadedName), std::string("fake_full.mqf"));
  /* The built plug-in answers our version text: a copy; a fake does not. */
  CHECK(!ExternalDecoderIsCopy());
  CHECK(SwitchExternalDecoder(e2e::HostPath(e2e::Where().plugin).c_str()) && ExternalDecoderIsCopy());
  full = SwitchExternalDecoder("fake_full.mqf");
  CHECK(full != nullptr && !ExternalDecoderIsCopy());
  loaded = g_externalDecoder;

  for (const char *same : {"fake_full.mqf", "FAKE_FULL.MQF", "Fake_Full.mqf"}) {
    CHECK_AT(same, SwitchExternalDecoder(same) == full);
    CHECK_AT(same, std::memcmp(&g_externalDecoder, &loaded, sizeof loaded) == 0);
  }

  HMODULE other = SwitchExternalDecoder("fake_byname.mqf");
  CHECK(other != nullptr);
  CHECK_EQ(std::string(g_externalDecoder.loadedName), std::string("fake_byname.mqf"));
  CHECK(reinterpret_cast<void *>(g_externalDecoder.GetPreview) ==
        reinterpret_cast<void *>(GetProcAddress(other, "GetPreview")));

  /* A name that does not load, or lacks an export: cleared. */
  for (const char *bad : {"no_such.mqf", "fake_nopreview.mqf"}) {
    CHECK_AT(bad, SwitchExternalDecoder("fake_full.mqf") != nullptr);
    CHECK_AT(bad, SwitchExternalDecoder(bad) == nullptr);
    CHECK_AT(bad, Cleared());
  }
  /* Cleared, the empty name is "unchanged": nothing happens. */
  CHECK(SwitchExternalDecoder("") == nullptr);
  CHECK(Cleared());

  /* The next request loads the configured name again, every time until
   * it loads. */
  e2e::Input in(e2e::Jpeg());
  e2e::UseDecoder("", "no_such.mqf");
  CHECK_EQ(Picture(in), 2);
  CHECK(Cleared());
  e2e::UseDecoder("", "fake_full.mqf");
  e2e::Fake &fake = e2e::FakeNamed("fake_full.mqf");
  if (!fake.ok()) return;
  fake.Reset();
  CHECK_EQ(Picture(in), 0);
  CHECK_EQ(fake.calls(), 1);
  CHECK_EQ(std::string(g_externalDecoder.loadedName), std::string("fake_full.mqf"));
  UnloadExternalDecoder();
  CHECK(Cleared());
}

void Pause() {
#ifdef _WIN32
  Sleep(1);
#else
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
#endif
}

/* 1: a request is inside the decoder's GetPicture; 2: the test switched. */
std::atomic<int> g_stage(0);

int32_t WINAPI WaitForSwitch(int32_t numerator, int32_t, int32_t) {
  if (numerator != 50) return 0;
  g_stage = 1;
  while (g_stage.load() != 2) Pause();
  return 0;
}

struct Waiter {
  const e2e::Input *in;
  int32_t result;
  static void Run(void *self) {
    Waiter *w = static_cast<Waiter *>(self);
    HLOCAL info = nullptr, bits = nullptr;
    w->result = GetPicture(const_cast<char *>(w->in->path().c_str()), 0, 0, &info, &bits,
                           WaitForSwitch, 0);
    if (info) LocalFree(info);
    if (bits) LocalFree(bits);
  }
};

/* The settings dialog's OK switches decoders (SwitchExternalDecoder) while
 * another thread is inside the old one's GetPicture: the old module stays
 * loaded until that request has returned, and goes then. fake_wait.mqf is
 * loaded by the plug-in alone, so nothing else keeps it mapped. */
SUITE_CASE(a_switch_keeps_the_old_decoder_until_its_requests_return) {
  suite::AttachOnce();
  UnloadExternalDecoder();
  e2e::UseDecoder(e2e::Where().fakes, "fake_wait.mqf");
  e2e::Input in(e2e::Jpeg());
  Waiter waiter = {&in, -1};
  e2e::Thread thread{Waiter::Run, &waiter};
  g_stage = 0;
  thread.start();
  for (int waited = 0; g_stage.load() != 1 && waited < 20000; ++waited) Pause();
  CHECK_EQ(g_stage.load(), 1);
  HMODULE old = g_externalDecoder.module;
  CHECK(SwitchExternalDecoder("fake_full.mqf") != nullptr);
  CHECK(g_externalDecoder.module != old);
#ifdef _WIN32
  CHECK(GetModuleHandleA("fake_wait.mqf") == old);
#endif
  g_stage = 2;
  thread.join();
  CHECK_EQ(waiter.result, 0);
#ifdef _WIN32
  CHECK(GetModuleHandleA("fake_wait.mqf") == nullptr);
#endif
  /* The next request uses the new decoder. */
  e2e::Fake &fake = e2e::FakeNamed("fake_full.mqf");
  if (!fake.ok()) return;
  fake.Reset();
  CHECK_EQ(Picture(in), 0);
  CHECK_EQ(fake.calls(), 1);
  UnloadExternalDecoder();
}

/* Seventeen decoders switched away from while each is still held: sixteen
 * wait in the retired list, the seventeenth finds it full and stays loaded
 * for good. Every one answers until its hold ends; the sixteen go then. */
SUITE_CASE(a_full_retired_list_keeps_the_next_decoder_loaded) {
  suite::AttachOnce();
  UnloadExternalDecoder();
  const int kHeld = 17;
  std::string names[kHeld + 1];
  for (int i = 0; i <= kHeld; ++i) {
    names[i] = "retired" + std::to_string(i) + ".mqf";
    CHECK(e2e::CopyWholeFile(e2e::Where().fakes + "/fake_full.mqf",
                             e2e::Where().fakes + "/" + names[i]));
  }
  e2e::UseDecoder(e2e::Where().fakes, names[0]);
  DecoderHold holds[kHeld];
  for (int i = 0; i < kHeld; ++i) {
    CHECK(HoldExternalDecoder(names[i].c_str(), false, &holds[i]));
    CHECK(SwitchExternalDecoder(names[i + 1].c_str()) != nullptr);
  }
  e2e::Input in(e2e::Jpeg());
  for (int i = 0; i < kHeld; ++i) {
    HLOCAL info = nullptr, bits = nullptr;
    CHECK_EQ_AT(names[i], holds[i].entry(const_cast<char *>(in.path().c_str()), 0, 0, &info, &bits,
                                         nullptr, 0), 0);
    if (info) LocalFree(info);
    if (bits) LocalFree(bits);
    ReleaseExternalDecoder(&holds[i]);
  }
#ifdef _WIN32
  for (int i = 0; i <= kHeld; ++i)
    CHECK_EQ_AT(names[i], GetModuleHandleA(names[i].c_str()) != nullptr, i >= kHeld - 1);
#endif
  UnloadExternalDecoder();
}

}  // namespace

E2E_MAIN()
