/*
 * settings_dialog.h - the settings dialog (templates 110 to 113): shows a
 * PluginSettings record, lets the user edit it, and on OK switches the
 * wrapped plug-in and saves every value.
 */
#ifndef MOVRELA_SETTINGS_DIALOG_H
#define MOVRELA_SETTINGS_DIALOG_H

#include "platform.h"

/* Dialog procedure of all four layouts. WM_INITDIALOG's lParam is the
 * caller's PluginSettings, which the dialog keeps in a process-wide pointer:
 * one settings dialog at a time. OK writes the controls into the record,
 * switches the wrapped plug-in to its JPEGPlugin and saves it (result 1);
 * Cancel, Esc and the close box end with 2 and save nothing. */
INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

/* Greys what the check boxes turn off: the mask edit without its box, the
 * aspect box and edge edits without J6I support, rotation and colour boxes
 * without PMP support. The up-down controls stay enabled. */
void UpdateSettingsControls(HWND dialog);

#endif /* MOVRELA_SETTINGS_DIALOG_H */
