// Host lookups on short-lived worker threads. The block a lookup lives in has two references,
// the owner's and the worker's; whoever lets go last frees it, so a lookup that hangs never
// holds up its owner or the program's exit, and a late one touches nothing of its owner's.
#include "sntp/host_lookup.h"
#include <string.h>

enum { NameSize = 257 };

struct HostLookup {
    volatile LONG references;
    int abandoned;              // set and read under PostLock
    HWND window;
    UINT message;
    WPARAM tag;
    int error;
    struct sockaddr_storage address;
    char name[NameSize];
};

HostLookup *(*StartHostLookup)(HWND, UINT, WPARAM, const char *) = StartLookupThread;
int (*ResolveHost)(const char *, struct sockaddr_storage *) = ResolveHostName;
volatile LONG LookupBlocksHeld;

// Keeps an owner that abandons its lookup apart from a worker about to post the result: once
// the owner has let go, no message of that lookup is posted any more.
static CRITICAL_SECTION PostLock;
static int PostLockReady;

typedef int (WSAAPI *AddressInfoFunction)(const char *, const char *, const struct addrinfo *,
                                          struct addrinfo **);
typedef void (WSAAPI *FreeAddressInfoFunction)(struct addrinfo *);

static void Release(HostLookup *lookup)
{
    if (InterlockedDecrement(&lookup->references) == 0) {
        HeapFree(GetProcessHeap(), 0, lookup);
        InterlockedDecrement(&LookupBlocksHeld);
    }
}

int FirstUsableAddress(const struct addrinfo *list, struct sockaddr_storage *address)
{
    for (const struct addrinfo *entry = list; entry != NULL; entry = entry->ai_next) {
        size_t wanted = entry->ai_family == AF_INET    ? sizeof(struct sockaddr_in)
                        : entry->ai_family == AF_INET6 ? sizeof(struct sockaddr_in6)
                                                       : 0;
        if (wanted == 0 || entry->ai_addr == NULL || entry->ai_addrlen < wanted ||
            entry->ai_addr->sa_family != entry->ai_family)
            continue;
        memset(address, 0, sizeof *address);
        memcpy(address, entry->ai_addr, wanted);
        return 0;
    }
    return -1;
}

int ResolveHostName(const char *name, struct sockaddr_storage *address)
{
    memset(address, 0, sizeof *address);
    HMODULE ws2 = GetModuleHandleA("ws2_32.dll");
    AddressInfoFunction getInfo = NULL;
    FreeAddressInfoFunction freeInfo = NULL;
    if (ws2 != NULL) {
        getInfo = (AddressInfoFunction)(void (*)(void))GetProcAddress(ws2, "getaddrinfo");
        freeInfo = (FreeAddressInfoFunction)(void (*)(void))GetProcAddress(ws2, "freeaddrinfo");
    }
    if (getInfo != NULL && freeInfo != NULL) {
        struct addrinfo hints;
        memset(&hints, 0, sizeof hints);
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_DGRAM;
        hints.ai_protocol = IPPROTO_UDP;
        struct addrinfo *list = NULL;
        int error = getInfo(name, NULL, &hints, &list);
        if (error != 0)
            return error;
        int found = FirstUsableAddress(list, address);
        freeInfo(list);
        return found == 0 ? 0 : WSANO_DATA;
    }
    // Systems before Windows XP: IPv4 only, and the entry is this thread's own.
    const struct hostent *entry = gethostbyname(name);
    if (entry == NULL)
        return WSAGetLastError() != 0 ? WSAGetLastError() : WSAHOST_NOT_FOUND;
    if (entry->h_addrtype != AF_INET || entry->h_length != 4 || entry->h_addr_list == NULL ||
        entry->h_addr_list[0] == NULL)
        return WSANO_DATA;
    struct sockaddr_in *in = (struct sockaddr_in *)address;
    in->sin_family = AF_INET;
    memcpy(&in->sin_addr, entry->h_addr_list[0], 4);
    return 0;
}

static DWORD WINAPI LookupWorker(LPVOID parameter)
{
    HostLookup *lookup = (HostLookup *)parameter;
    // A start-up of its own keeps WinSock alive for this thread even if the owner cleans up.
    WSADATA data;
    int started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    int error = started ? ResolveHost(lookup->name, &lookup->address) : WSANOTINITIALISED;
    if (started)
        WSACleanup();
    lookup->error = error;
    EnterCriticalSection(&PostLock);
    if (!lookup->abandoned)
        PostMessageA(lookup->window, lookup->message, lookup->tag, (LPARAM)error);
    LeaveCriticalSection(&PostLock);
    Release(lookup);
    return 0;
}

HostLookup *StartLookupThread(HWND window, UINT message, WPARAM tag, const char *name)
{
    // The first lookup starts before any worker exists, so this set-up runs on one thread.
    if (!PostLockReady) {
        InitializeCriticalSection(&PostLock);
        PostLockReady = 1;
    }
    size_t length = name != NULL ? strnlen(name, NameSize) : (size_t)NameSize;
    if (length >= NameSize)
        return NULL;
    HostLookup *lookup =
        (HostLookup *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *lookup);
    if (lookup == NULL)
        return NULL;
    InterlockedIncrement(&LookupBlocksHeld);
    lookup->references = 2;
    lookup->window = window;
    lookup->message = message;
    lookup->tag = tag;
    memcpy(lookup->name, name, length);
    HANDLE thread = CreateThread(NULL, 0, LookupWorker, lookup, 0, NULL);
    if (thread == NULL) {
        HeapFree(GetProcessHeap(), 0, lookup);
        InterlockedDecrement(&LookupBlocksHeld);
        return NULL;
    }
    CloseHandle(thread);
    return lookup;
}

int LookupResult(const HostLookup *lookup, struct sockaddr_storage *address)
{
    if (lookup == NULL || lookup->error != 0)
        return -1;
    memcpy(address, &lookup->address, sizeof *address);
    return 0;
}

void AbandonLookup(HostLookup *lookup)
{
    if (lookup == NULL)
        return;
    EnterCriticalSection(&PostLock);
    lookup->abandoned = 1;
    LeaveCriticalSection(&PostLock);
    Release(lookup);
}
