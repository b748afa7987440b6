/* Placeholder until the dialog lands: answers No. (Being replaced.) */
#include "decoder/broken_file_prompt.h"

int BrokenFilePrompt() { return 2; }
