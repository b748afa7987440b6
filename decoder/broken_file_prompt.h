/*
 * broken_file_prompt.h - asks the user whether a damaged JPEG file is to be
 * shown as far as it could be decoded.
 */
#ifndef MOVRELA_BROKEN_FILE_PROMPT_H
#define MOVRELA_BROKEN_FILE_PROMPT_H

/* 1 (Yes) or 2 (No; also when the dialog cannot be opened). */
int BrokenFilePrompt();

#endif /* MOVRELA_BROKEN_FILE_PROMPT_H */
