/*
 * exif_suite.cpp - the Exif subsystem's suite: report (exif_report_test),
 * segment parser and marker readers (exif_reader_test), thumbnail bitmaps
 * (exif_thumbnail_test). Natively and as a Windows program under Wine.
 */
#include "harness.h"

SUITE_MAIN()
