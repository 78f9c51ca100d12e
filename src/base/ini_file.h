// The INI file as bytes: its text stays code page 932 whatever the system's code page is (the
// profile functions would convert it through that code page), read and written whole through a
// wide path, so a folder named in any script works.
#pragma once
#include <windows.h>
#include <stddef.h>

// The file's text in memory: loaded, looked up and changed, then written back in one piece.
struct IniText {
    char *bytes;                // code page 932, CR LF lines; null while empty
    size_t length;
    size_t capacity;
    int failed;                 // memory ran out while changing it: it is not written
};

// Reads the file; a missing file is an empty text. 0, or -1 with GetLastError set (the text is
// then empty).
int LoadIniText(const WCHAR *path, IniText *ini);
// Writes the text over the file: 0, or -1 with GetLastError set.
int SaveIniText(const WCHAR *path, const IniText *ini);
void FreeIniText(IniText *ini);

// The value of the first key of that name in the first section of that name (names without
// case, spaces around them and the value ignored, one pair of enclosing quotes taken off), cut
// to whole characters. 1 found, 0 not (out is then empty).
int IniValue(const IniText *ini, const char *section, const char *key, char *out, size_t size);
// Sets the key's value, adding the key at the end of its section, or the section at the end.
void SetIniValue(IniText *ini, const char *section, const char *key, const char *value);
// Takes every key out of the section; the section's heading stays.
void ClearIniSection(IniText *ini, const char *section);
