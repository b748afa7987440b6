/*
 * configuration.h - the ConfigurationDlg export, the About dialog and the
 * rule by which every dialog is picked in English or Japanese.
 */
#ifndef MOVRELA_CONFIGURATION_H
#define MOVRELA_CONFIGURATION_H

#include <cstdint>

#include "base/host_interface.h"

/* Template id for the English resource `baseId`: one more for a Japanese
 * host, and for the settings dialog (IDD_SETTINGS) two more in INI mode,
 * whose layouts are the older ones. Asked afresh every time. */
int SelectDialogId(int baseId);

/* The About dialog: shows "Ver " and the version string; only OK (or Enter)
 * closes it. */
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

/* Function 0: the About dialog; 1: the settings dialog, on freshly loaded
 * settings. Both are modal to `parent` and answer Success whatever the user
 * did and even when the dialog could not be opened; any other function
 * answers NotImplemented and shows nothing. */
PLUGIN_EXPORT int32_t WINAPI ConfigurationDlg(HWND parent, int32_t function);

#endif /* MOVRELA_CONFIGURATION_H */
