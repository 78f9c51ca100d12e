// The server page: editing the ordered server list and locking the sheet while a server test runs.
#include <windows.h>
#include "settings/sheet/server_page.h"

const char *TestServerName(void)
{
    return "";
}

void SetTestControlsEnabled(int enable)
{
    (void)enable;
}
