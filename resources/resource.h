/*
 * resource.h - identifiers of the module's resources: strings and dialog
 * templates. Included by the resource script and by C++ code.
 */
#ifndef MOVRELA_RESOURCE_H
#define MOVRELA_RESOURCE_H

/* The version: the About dialog's text, and the file's version resource. */
#define MOVRELA_VERSION_TEXT "0.04(Base on quorelv6.mqf v0.11)"
#define MOVRELA_VERSION_NUMBERS 0, 4, 0, 0
#define MOVRELA_PRODUCT_NAME "Talvo JPEG Filter"

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
#define IDS_EXIF_ROTATION 26
#define IDS_COLOR_MANAGEMENT 27

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
#define IDD_ABOUT 100       /* About dialog */
#define IDD_SETTINGS 110    /* settings dialog; 112/113 are its INI-mode layouts */
#define IDD_BROKEN_FILE 130 /* broken-file prompt */

/* Controls without an id: labels and group boxes */
#define IDC_NONE (-1)

/* The About dialog's version line */
#define IDC_ABOUT_VERSION 1003

/* Controls of the settings dialog, besides OK (IDOK) and Cancel (IDCANCEL) */
#define IDC_SEARCH_MARKER 1000     /* check: SearchMarkerSupport */
#define IDC_EXTENSION_MASK 1001    /* edit: ExtentionMask */
#define IDC_DCT_METHOD 1002        /* drop-down list: DCTMethod */
#define IDC_USER_EXTENSION 1003    /* check: UserDefineExtention */
#define IDC_EXIF 1004              /* check: ExifSupport */
#define IDC_ASPECT 1005            /* check: AspectX, AspectY */
#define IDC_LEFT 1006              /* edit: Left */
#define IDC_LEFT_SPIN 1007         /* up-down of IDC_LEFT */
#define IDC_RIGHT 1008             /* edit: Right */
#define IDC_RIGHT_SPIN 1009        /* up-down of IDC_RIGHT */
#define IDC_TOP 1010               /* edit: Top */
#define IDC_TOP_SPIN 1011          /* up-down of IDC_TOP */
#define IDC_BOTTOM 1012            /* edit: Bottom */
#define IDC_BOTTOM_SPIN 1013       /* up-down of IDC_BOTTOM */
#define IDC_PMP 1014               /* check: PMPSupport */
#define IDC_J6I 1015               /* check: J6ISupport */
#define IDC_ROTATION 1016          /* check: Rotation */
#define IDC_COLOR_CORRECT 1017     /* check: ColorCorrect */
#define IDC_PREVIEW_SIZE 1018      /* drop-down list: PreviewSize */
#define IDC_BROWSE 1019            /* button: pick JPEGPlug-in */
#define IDC_IGNORE_ASPECT 1020     /* check: IgnorePixelAspectRatio */
#define IDC_REPORT_DIALOG 1021     /* check: ReportDialog */
#define IDC_INTERNAL_DECODER 1022  /* check: UseInternalDecoder */

/* Controls of the broken-file prompt, besides Yes (IDOK) and No (IDCANCEL) */
#define IDC_BROKEN_FILE_TEXT 1004 /* the message */
#define IDC_BROKEN_FILE_WARN 1005 /* ticked: keep warning about broken files */

#endif /* MOVRELA_RESOURCE_H */
