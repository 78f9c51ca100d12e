// A resolver of the test's own behind the look-up's name functions: every name gets the same list
// of addresses, given as literals, and the look-ups are counted.
#include "support/fake_resolver.h"
#include "sntp/host_lookup.h"
#include "sntp/server_address.h"

const struct addrinfo *volatile FakeAddressList;
volatile LONG FakeLookups;
HANDLE FakeResolverGate;

static int WSAAPI FakeGetAddressInfo(const char *, const char *, const struct addrinfo *,
                                     struct addrinfo **result)
{
    InterlockedIncrement(&FakeLookups);
    if (FakeResolverGate != NULL)
        WaitForSingleObject(FakeResolverGate, 5000);
    *result = (struct addrinfo *)FakeAddressList;
    return *result != NULL ? 0 : WSAHOST_NOT_FOUND;
}

static void WSAAPI KeepAddressList(struct addrinfo *)
{
}

void UseFakeResolver(void)
{
    NameFunctions.getAddressInfo = FakeGetAddressInfo;
    NameFunctions.freeAddressInfo = KeepAddressList;
}

void FakeAddresses(const std::vector<const char *> &literals)
{
    static struct addrinfo entries[8];
    static struct sockaddr_storage addresses[8];
    size_t count = literals.size() < 8 ? literals.size() : 8;
    for (size_t i = 0; i < count; i++) {
        ParseAddressLiteral(literals[i], &addresses[i]);
        entries[i] = addrinfo{};
        entries[i].ai_family = addresses[i].ss_family;
        entries[i].ai_addr = (struct sockaddr *)&addresses[i];
        entries[i].ai_addrlen = AddressLength(&addresses[i]);
        entries[i].ai_next = i + 1 < count ? &entries[i + 1] : nullptr;
    }
    FakeAddressList = count > 0 ? entries : nullptr;
}
