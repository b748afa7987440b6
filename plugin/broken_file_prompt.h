/*
 * broken_file_prompt.h - asks the user whether a damaged JPEG file is to be
 * shown as far as it could be decoded. The plug-in hands it to the decoder
 * as its BrokenFileHook: the decoder opens no dialog of its own.
 */
#ifndef MOVRELA_BROKEN_FILE_PROMPT_H
#define MOVRELA_BROKEN_FILE_PROMPT_H

/* Shows the modal prompt (template 130, or 131 for a Japanese host) without
 * owner. Clearing its check box stores ReportDialog = 0, so that later
 * requests neither warn nor ask. Returns 1 (Yes) or 2 (No; also Esc, the
 * close box, and a dialog that cannot be opened). */
int BrokenFilePrompt();

#endif /* MOVRELA_BROKEN_FILE_PROMPT_H */
