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
    int count;
    struct sockaddr_storage addresses[LookupAddressMax];
    char name[NameSize];
};

NameFunctionsRecord NameFunctions;

// Keeps an owner that abandons its lookup apart from a worker about to post the result: once
// the owner has let go, no message of that lookup is posted any more.
static CRITICAL_SECTION PostLock;
static int PostLockReady;

static void Release(HostLookup *lookup)
{
    if (InterlockedDecrement(&lookup->references) == 0)
        HeapFree(GetProcessHeap(), 0, lookup);
}

// The IPv4 and IPv6 entries of a getaddrinfo list, in its order, up to LookupAddressMax.
static int UsableAddresses(const struct addrinfo *list, struct sockaddr_storage *addresses)
{
    int count = 0;
    for (const struct addrinfo *entry = list; entry != NULL && count < LookupAddressMax;
         entry = entry->ai_next) {
        size_t wanted = entry->ai_family == AF_INET    ? sizeof(struct sockaddr_in)
                        : entry->ai_family == AF_INET6 ? sizeof(struct sockaddr_in6)
                                                       : 0;
        if (wanted == 0 || entry->ai_addr == NULL || entry->ai_addrlen < wanted ||
            entry->ai_addr->sa_family != entry->ai_family)
            continue;
        memset(&addresses[count], 0, sizeof addresses[count]);
        memcpy(&addresses[count], entry->ai_addr, wanted);
        count++;
    }
    return count;
}

// 0 with *count addresses in the system's order, or the lookup's error.
static int ResolveHostName(const char *name, struct sockaddr_storage *addresses, int *count)
{
    *count = 0;
    AddressInfoFunction getInfo = NameFunctions.getAddressInfo;
    FreeAddressInfoFunction freeInfo = NameFunctions.freeAddressInfo;
    HMODULE ws2 = GetModuleHandleW(L"ws2_32.dll");
    if ((getInfo == NULL || freeInfo == NULL) && ws2 != NULL) {
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
        *count = UsableAddresses(list, addresses);
        freeInfo(list);
        return *count > 0 ? 0 : WSANO_DATA;
    }
    // Systems before Windows XP: IPv4 only, and the entry is this thread's own.
    const struct hostent *entry = gethostbyname(name);
    if (entry == NULL)
        return WSAGetLastError() != 0 ? WSAGetLastError() : WSAHOST_NOT_FOUND;
    if (entry->h_addrtype != AF_INET || entry->h_length != 4 || entry->h_addr_list == NULL)
        return WSANO_DATA;
    for (int i = 0; *count < LookupAddressMax && entry->h_addr_list[i] != NULL; i++) {
        struct sockaddr_storage *slot = &addresses[(*count)++];
        memset(slot, 0, sizeof *slot);
        struct sockaddr_in *in = (struct sockaddr_in *)slot;
        in->sin_family = AF_INET;
        memcpy(&in->sin_addr, entry->h_addr_list[i], 4);
    }
    return *count > 0 ? 0 : WSANO_DATA;
}

static DWORD WINAPI LookupWorker(LPVOID parameter)
{
    HostLookup *lookup = (HostLookup *)parameter;
    // A start-up of its own keeps WinSock alive for this thread even if the owner cleans up.
    WSADATA data;
    int started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    int error = started ? ResolveHostName(lookup->name, lookup->addresses, &lookup->count)
                        : WSANOTINITIALISED;
    if (started)
        WSACleanup();
    lookup->error = error;
    EnterCriticalSection(&PostLock);
    if (!lookup->abandoned)
        PostMessageW(lookup->window, lookup->message, lookup->tag, (LPARAM)error);
    LeaveCriticalSection(&PostLock);
    Release(lookup);
    return 0;
}

HostLookup *StartHostLookup(HWND window, UINT message, WPARAM tag, const char *name)
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
    lookup->references = 2;
    lookup->window = window;
    lookup->message = message;
    lookup->tag = tag;
    memcpy(lookup->name, name, length);
    HANDLE thread = CreateThread(NULL, 0, LookupWorker, lookup, 0, NULL);
    if (thread == NULL) {
        HeapFree(GetProcessHeap(), 0, lookup);
        return NULL;
    }
    CloseHandle(thread);
    return lookup;
}

int LookupResult(const HostLookup *lookup, struct sockaddr_storage *addresses, int capacity)
{
    if (lookup == NULL || lookup->error != 0)
        return 0;
    int count = lookup->count < capacity ? lookup->count : capacity;
    memcpy(addresses, lookup->addresses, (size_t)count * sizeof addresses[0]);
    return count;
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
