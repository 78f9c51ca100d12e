// What the synchronisation machine needs of the server page: the server to test and the locking
// of the sheet while a test runs; and the one call the page makes back to the machine.
#pragma once

const char *TestServerName(void);
void SetTestControlsEnabled(int enable);

// What the test button asks of the program above the sheet; the state machine fills it in before
// it opens the sheet. Null: the button does nothing.
extern void (*ServerTestRequested)(void);
