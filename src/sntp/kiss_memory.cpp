// Kiss-o'-Death for this start only: a refused server is not asked again and a server that asks
// us to slow down gets no further request. Nothing survives the start, so a forged kiss cannot
// silence a server for good.
#include "sntp/kiss_memory.h"
#include <stdio.h>
#include <string.h>
#include "base/settings.h"

enum { KissSlots = ServerListMax * 2 };

struct KissEntry {
    char code[KissCodeSize];
    int byName;                             // DENY/RSTR: the name counts too
    char name[ServerNameMax + 1];
    struct sockaddr_storage address;
};

static KissEntry Entries[KissSlots];
static int EntryCount;
static int MovesOn;

void KissCodeText(const uint8_t referenceId[4], char code[KissCodeSize])
{
    for (int i = 0; i < 4; ++i)
        code[i] = referenceId[i] >= 0x20 && referenceId[i] <= 0x7E ? (char)referenceId[i] : '.';
    code[4] = '\0';
}

void KissRefusalText(const char *code, char *out, size_t size)
{
    snprintf(out, size, "ｴﾗｰ:ｻｰﾊﾞｰから拒否されました(%s)", code);
}

void RememberKiss(const char *code, const char *serverName, const struct sockaddr_storage *address,
                  int movesOn)
{
    if (movesOn)
        MovesOn = 1;
    int byName = strcmp(code, "DENY") == 0 || strcmp(code, "RSTR") == 0;
    if ((!byName && strcmp(code, "RATE") != 0) || EntryCount >= KissSlots)
        return;
    KissEntry *entry = &Entries[EntryCount++];
    snprintf(entry->code, sizeof entry->code, "%s", code);
    entry->byName = byName;
    snprintf(entry->name, sizeof entry->name, "%s", serverName != NULL ? serverName : "");
    entry->address = *address;
}

const char *ServerRefused(const char *serverName)
{
    for (int i = 0; i < EntryCount; ++i) {
        if (Entries[i].byName && serverName != NULL && lstrcmpiA(Entries[i].name, serverName) == 0)
            return Entries[i].code;
    }
    return NULL;
}

const char *AddressRefused(const struct sockaddr_storage *address)
{
    for (int i = 0; i < EntryCount; ++i) {
        if (SameAddress(&Entries[i].address, address))
            return Entries[i].code;
    }
    return NULL;
}

int TakeKissMovesOn(void)
{
    int movesOn = MovesOn;
    MovesOn = 0;
    return movesOn;
}

void ForgetKisses(void)
{
    EntryCount = 0;
    MovesOn = 0;
}
