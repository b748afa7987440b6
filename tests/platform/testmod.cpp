/*
 * testmod.cpp - a tiny module for the LoadLibraryA tests, built three ways:
 * standin_testmod.dll (DllMain that succeeds, a string table),
 * standin_testmod_fail.dll (DllMain refusing DLL_PROCESS_ATTACH) and
 * standin_testmod_plain.dll (no DllMain, no string table).
 *
 * DllMain reports each call to StandinTestModuleEvent, which the test
 * program exports (counting survives the module's unloading).
 */
#include "platform.h"

#include <cstring>
#include <dlfcn.h>

namespace {
HINSTANCE g_instance = nullptr;
char g_attachString[64];
char g_attachPath[MAX_PATH];
}  // namespace

extern "C" {

int TestModAnswer(void) { return 42; }
HINSTANCE TestModInstance(void) { return g_instance; }
const char *TestModAttachString(void) { return g_attachString; }
const char *TestModAttachPath(void) { return g_attachPath; }

#ifndef TESTMOD_PLAIN
typedef void (*EventFn)(const char *module, DWORD reason);

BOOL DllMain(HINSTANCE inst, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    g_instance = inst;
    /* Calls back into the loader from DllMain, as Win32 DLLs may. */
    LoadStringA(inst, 1, g_attachString, sizeof g_attachString);
    GetModuleFileNameA(inst, g_attachPath, sizeof g_attachPath);
  }
  if (auto report = reinterpret_cast<EventFn>(dlsym(RTLD_DEFAULT, "StandinTestModuleEvent")))
    report(TESTMOD_NAME, reason);
#ifdef TESTMOD_FAIL_ATTACH
  if (reason == DLL_PROCESS_ATTACH) return FALSE;
#endif
  return TRUE;
}

/* extern: a const array would otherwise have internal linkage. */
extern const StandinString StandinStringTable[] = {
    {1, "module string"},
    {2, "second"},
    {0, nullptr},
};
#endif

}  // extern "C"
