// A host name looked up on a short-lived worker thread (getaddrinfo, or gethostbyname where the
// system lacks it), its end posted to a window. The owner may abandon a lookup at any time.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>

struct HostLookup;      // a heap block shared by the owner and the worker, freed by the last one

// Starts looking name up; at the end, message is posted to window with wParam tag and lParam 0
// (an address was found) or the error. Null when no worker could be started.
HostLookup *StartLookupThread(HWND window, UINT message, WPARAM tag, const char *name);
// Replaceable by tests; default StartLookupThread.
extern HostLookup *(*StartHostLookup)(HWND window, UINT message, WPARAM tag, const char *name);
// The address found (port 0): 0, or -1 when none was. Only after the lookup's message.
int LookupResult(const HostLookup *lookup, struct sockaddr_storage *address);
// The owner lets go: once this returns the worker posts nothing, and it frees the block when its
// lookup ends, however late. Harmless on null.
void AbandonLookup(HostLookup *lookup);

// How the worker finds the address; tests replace it (default ResolveHostName).
extern int (*ResolveHost)(const char *name, struct sockaddr_storage *address);
// getaddrinfo of ws2_32 where the module exports it, else gethostbyname (IPv4 only): the first
// address of either family in the system's order. 0, or the lookup's error.
int ResolveHostName(const char *name, struct sockaddr_storage *address);
// The first IPv4 or IPv6 entry of a getaddrinfo list: 0, or -1 when there is none.
int FirstUsableAddress(const struct addrinfo *list, struct sockaddr_storage *address);
// Lookup blocks not yet freed, whether their owner or their worker still holds them.
extern volatile LONG LookupBlocksHeld;
