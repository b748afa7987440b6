/*
 * string_table.cpp - the module's string table for the native build, where
 * the platform stand-in's LoadStringA reads it from this exported array.
 * The Windows build compiles the same entries from movrela.rc instead.
 */
#include "platform.h"
#include "resource.h"

#define MOVRELA_STRING(id, text) {id, text},

extern "C" const StandinString StandinStringTable[] = {
#include "strings.inc"
    {0, nullptr},
};
