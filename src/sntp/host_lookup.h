// A host name looked up on a short-lived worker thread (getaddrinfo, or gethostbyname where the
// system lacks it), its end posted to a window. The owner may abandon a lookup at any time.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>

enum { LookupAddressMax = 8 };      // addresses kept of one lookup, in the system's order

struct HostLookup;      // a heap block shared by the owner and the worker, freed by the last one

// Starts looking name up; at the end, message is posted to window with wParam tag and lParam 0
// (an address was found) or the error. Null when no worker could be started (or the name is
// longer than any host name).
HostLookup *StartHostLookup(HWND window, UINT message, WPARAM tag, const char *name);
// The IPv4 and IPv6 addresses found (port 0), at most LookupAddressMax in the system's order:
// their count, 0 when none was. Only after the lookup's message.
int LookupResult(const HostLookup *lookup, struct sockaddr_storage *addresses, int capacity);
// The owner lets go: once this returns the worker posts nothing, and it frees the block when its
// lookup ends, however late. Harmless on null.
void AbandonLookup(HostLookup *lookup);

// The system's name functions the worker uses: getaddrinfo and freeaddrinfo of ws2_32, looked up
// at each lookup while these are null (systems before Windows XP lack them and get
// gethostbyname's IPv4 addresses). Tests put their own here.
typedef int (WSAAPI *AddressInfoFunction)(const char *, const char *, const struct addrinfo *,
                                          struct addrinfo **);
typedef void (WSAAPI *FreeAddressInfoFunction)(struct addrinfo *);
struct NameFunctionsRecord {
    AddressInfoFunction getAddressInfo;
    FreeAddressInfoFunction freeAddressInfo;
};
extern NameFunctionsRecord NameFunctions;
