/*
 * resource.h - identifiers of the module's resources: strings and dialog
 * templates. Included by the resource script and by C++ code.
 */
#ifndef MOVRELA_RESOURCE_H
#define MOVRELA_RESOURCE_H

/* Strings */
#define IDS_VERSION 1              /* version text shown in the About dialog */
#define IDS_USER_EXT_DESCRIPTION 2 /* description of the user's extension mask */

#define IDS_KEY_MAIN 10
#define IDS_USER_DEFINE_EXTENTION 11
#define IDS_EXTENTION_MASK 12
#define IDS_EXIF_SUPPORT 14
#define IDS_SEARCH_MARKER_SUPPORT 15
#define IDS_DCT_METHOD 16
#define IDS_DITHER_MODE 17
#define IDS_UP_SAMPLING 18
#define IDS_COLOR_SELECT 19
#define IDS_PREVIEW_SIZE 20
#define IDS_IGNORE_PIXEL_ASPECT_RATIO 21
#define IDS_EXIF_PREVIEW_LEVEL 22
#define IDS_REPORT_DIALOG 23
#define IDS_JPEG_PLUGIN 24
#define IDS_USE_INTERNAL_DECODER 25

#define IDS_KEY_J6I 30
#define IDS_J6I_SUPPORT 31
#define IDS_ASPECT_X 32
#define IDS_ASPECT_Y 33
#define IDS_LEFT 34
#define IDS_RIGHT 35
#define IDS_BOTTOM 36
#define IDS_TOP 37

#define IDS_KEY_PMP 40
#define IDS_PMP_SUPPORT 41
#define IDS_ROTATION 42
#define IDS_COLOR_CORRECT 43

#define IDS_HOST_PLUGIN_KEY 50  /* the host's key holding its plug-in folder */
#define IDS_HOST_PLUGIN_PATH 51 /* ...and the value name of that folder */

#define IDS_BROKEN_FILE 60 /* broken-file prompt text; 61 is the Japanese one */

/* Dialog templates; the Japanese one of each has the next number */
#define IDD_BROKEN_FILE 130 /* broken-file prompt */

/* Controls of the broken-file prompt, besides Yes (IDOK) and No (IDCANCEL) */
#define IDC_BROKEN_FILE_TEXT 1004 /* the message */
#define IDC_BROKEN_FILE_WARN 1005 /* ticked: keep warning about broken files */

#endif /* MOVRELA_RESOURCE_H */
