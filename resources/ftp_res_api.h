#pragma once
// What the resource library exports. Its client (resource_module.h) resolves
// these names with dlsym; nothing else links against the library.
#define FTPRES_EXPORT __attribute__((visibility("default")))

namespace qb {

extern "C" {
// Registers the dialog templates and menus with the process's XRC resources.
typedef bool (*FtpResInitFn)();
// 16x16 icon as XPM data, or null for an unknown number.
typedef const char* const* (*FtpResIconFn)(int number);
// Cursor as XPM data with its hot spot, or null.
typedef const char* const* (*FtpResCursorFn)(int number, int* hotX, int* hotY);
// UTF-8 text of a string-table entry, or null.
typedef const char* (*FtpResStringFn)(int number);
}

}  // namespace qb
