// Kernel handles and GDI objects of a process, from the system's counters or, under Wine, from
// the system-wide handle list and the process's shared GDI handle table. Correct in 32- and
// 64-bit builds: every layout below follows the natural alignment of the reading process.
#include "support/process_counts.h"
#include <stddef.h>
#include <stdint.h>
#include <vector>

typedef LONG(NTAPI *QuerySystemInformation)(ULONG, PVOID, ULONG, PULONG);
typedef LONG(NTAPI *QueryProcessInformation)(HANDLE, ULONG, PVOID, ULONG, PULONG);

static const ULONG SystemHandleInformation = 16;
static const LONG InfoLengthMismatch = (LONG)0xC0000004;

// One entry of the system-wide handle list; the list is a count followed by the entries, which
// start at the entries' own alignment (offset 4 in a 32-bit process, 8 in a 64-bit one).
struct HandleEntry {
    ULONG owner;
    UCHAR type;
    UCHAR flags;
    USHORT value;
    PVOID object;
    ULONG access;
};
struct HandleList {
    ULONG count;
    HandleEntry entries[1];
};

unsigned ProcessHandleCount(HANDLE process, DWORD processId)
{
    DWORD counted = 0;
    if (GetProcessHandleCount(process, &counted) && counted > 0)
        return counted;
    QuerySystemInformation query = (QuerySystemInformation)(void *)GetProcAddress(
        GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation");
    if (!query)
        return 0;
    std::vector<char> buffer(1 << 20);
    LONG status;
    ULONG got = 0;
    while ((status = query(SystemHandleInformation, buffer.data(), (ULONG)buffer.size(), &got)) ==
               InfoLengthMismatch &&
           buffer.size() < (64u << 20))
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return 0;
    const HandleList *list = (const HandleList *)buffer.data();
    size_t room = (buffer.size() - offsetof(HandleList, entries)) / sizeof(HandleEntry);
    unsigned owned = 0;
    for (size_t i = 0; i < list->count && i < room; ++i)
        if (list->entries[i].owner == processId)
            ++owned;
    return owned;
}

unsigned ProcessGdiCount(HANDLE process)
{
    DWORD counted = GetGuiResources(process, GR_GDIOBJECTS);
    if (counted > 0)
        return counted;
    // Wine keeps each process's GDI handle table in shared memory named by its PEB (the field at
    // 0x94 of a 32-bit PEB, 0xF8 of a 64-bit one): 65,536 entries of 24 bytes in either kind,
    // the object type at offset 14 (0 for a free entry).
    struct BasicInformation {
        LONG exitStatus;
        PVOID peb;
        ULONG_PTR affinity;
        LONG priority;
        ULONG_PTR processId;
        ULONG_PTR parentId;
    } basic;
#ifdef _WIN64
    const size_t tableField = 0xF8;
#else
    const size_t tableField = 0x94;
#endif
    QueryProcessInformation query = (QueryProcessInformation)(void *)GetProcAddress(
        GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess");
    ULONG length = 0;
    if (!query || query(process, 0, &basic, sizeof basic, &length) != 0)
        return 0;
    void *table = NULL;
    SIZE_T read = 0;
    if (!ReadProcessMemory(process, (char *)basic.peb + tableField, &table, sizeof table, &read) || !table)
        return 0;
    const size_t count = 0x10000, size = 24;
    std::vector<unsigned char> entries(count * size);
    if (!ReadProcessMemory(process, table, entries.data(), entries.size(), &read))
        return 0;
    unsigned used = 0;
    for (size_t i = 0; i < count; ++i)
        if (entries[i * size + 14] != 0)
            ++used;
    return used;
}
