// The INI file beside the program, as the tests write and check it: through the program's own
// byte-level INI functions, so a value is the same bytes under every system code page.
#pragma once
#include <string>
#include "base/ini_file.h"
#include "base/settings.h"

inline std::string IniFileValue(const char *section, const char *key)
{
    IniText ini;
    LoadIniText(IniPath, &ini);
    char value[1024];
    int found = IniValue(&ini, section, key, value, sizeof value);
    FreeIniText(&ini);
    return found ? value : "<missing>";
}

inline void PutIniValue(const char *section, const char *key, const char *value)
{
    IniText ini;
    LoadIniText(IniPath, &ini);
    SetIniValue(&ini, section, key, value);
    SaveIniText(IniPath, &ini);
    FreeIniText(&ini);
}
