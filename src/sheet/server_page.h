// What the synchronisation machine needs of the server page: the server to test and the locking
// of the sheet while a test runs.
#pragma once

const char *TestServerName(void);
void SetTestControlsEnabled(int enable);
