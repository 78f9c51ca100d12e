// Reading server entries as addresses (pure functions) and what a lookup keeps of the system's
// answer, through a resolver of the test's own: no time server is needed.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "base/program.h"
#include "sntp/exchange_harness.h"
#include "sntp/host_lookup.h"
#include "sntp/server_address.h"

namespace {

const char *const Refused = "(form not accepted)";

// What a server entry is read as: an address (shown in its usual text form), a name to look up,
// or a form no lookup could find.
TEST(ServerAddress, LiteralsAreReadAndShownInTheirUsualForm)
{
    struct Row {
        const char *entry;
        const char *shown;      // null: no literal, a name to look up; Refused: refused at once
    } rows[] = {
        {"192.0.2.1", "192.0.2.1"}, {"127.1", "127.0.0.1"}, {"255.255.255.255", nullptr},
        {"time.example", nullptr}, {"2001:DB8:0:0:0:0:0:123", "2001:db8::123"},
        {"[2001:db8::123]", "2001:db8::123"}, {"fe80::1%2", "fe80::1%2"},
        {"[fe80::1%2]", "fe80::1%2"}, {"fe80::1%10", "fe80::1%10"}, {"fe80::1%eth0", Refused},
        {"fe80::1%", Refused}, {"192.0.2.1:123", Refused}, {"[2001:db8::1]:123", Refused},
        {"time.example:123", Refused}, {"::", "::"}, {"::1", "::1"}, {"1::", "1::"},
        {"2001:db8:0:1:1:1:1:1", "2001:db8:0:1:1:1:1:1"}, {"2001:0:0:1:0:0:0:1", "2001:0:0:1::1"},
        {"2001:db8:0:0:1:0:0:1", "2001:db8::1:0:0:1"}, {"::ffff:192.0.2.1", "192.0.2.1"},
        {"[::FFFF:127.0.0.1]", "127.0.0.1"}, {"64:ff9b::192.0.2.33", "64:ff9b::c000:221"},
        {"0:0:0:0:0:ffff:c000:201", "192.0.2.1"}, {"::fffe:192.0.2.1", "::fffe:c000:201"},
        {"::1:ffff:192.0.2.1", "::1:ffff:c000:201"}, {"1::ffff:192.0.2.1", "1::ffff:c000:201"},
        {"1:2:3:4:5:6:7::", "1:2:3:4:5:6:7:0"}, {"1:2:3:4:5:6:7:8:9", Refused},
        {"1:2:3:4:5:6:7:8::", Refused}, {"1:::2", Refused}, {"1::2::3", Refused},
        {"12345::", Refused}, {":1::", Refused}, {"1:", Refused}, {"[::1", Refused},
        {"::1.2.3", Refused}, {"::256.1.1.1", Refused}, {"g::1", Refused},
        {"時計.example", Refused}, {"zo\xEB.example", Refused},
    };
    for (const Row &row : rows) {
        struct sockaddr_storage address;
        char text[AddressTextSize];
        int parsed = ParseAddressLiteral(row.entry, &address);
        int expected = row.shown == nullptr ? NotALiteral : row.shown == Refused ? FormNotAccepted : 0;
        EXPECT_EQ(expected, parsed) << row.entry;
        if (parsed == 0 && expected == 0) {
            EXPECT_STREQ(row.shown, FormatAddress(&address, text, sizeof text)) << row.entry;
        }
    }
    struct Pair {
        const char *a, *b;
        int same;
    } pairs[] = {
        {"::1", "0:0:0:0:0:0:0:1", 1}, {"fe80::1%2", "fe80::1%3", 0}, {"fe80::1%2", "fe80::1", 1},
        {"127.0.0.1", "::ffff:127.0.0.1", 1}, {"127.0.0.1", "127.0.0.2", 0},
    };
    for (const Pair &pair : pairs) {
        struct sockaddr_storage a, b;
        ParseAddressLiteral(pair.a, &a);
        ParseAddressLiteral(pair.b, &b);
        EXPECT_EQ(pair.same, SameAddress(&a, &b)) << pair.a << " " << pair.b;
    }
}

const UINT LookupDone = WM_APP + 7;

// The lookup's end as the worker posts it: its error (lParam), or -1 when none came in time.
LPARAM AwaitLookup(void)
{
    MSG message;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 5000) {
        if (PeekMessageW(&message, NULL, LookupDone, LookupDone, PM_REMOVE))
            return message.lParam;
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_POSTMESSAGE);
    }
    return -1;
}

// The IPv4 and IPv6 entries of the system's answer are kept in its order, up to eight; entries of
// other families or too short for their family are passed over.
TEST(HostLookup, KeepsTheUsableAddressesInTheSystemsOrder)
{
    ResetHarness();
    UseFakeResolver();
    struct sockaddr_storage v4, v6;
    ParseAddressLiteral("192.0.2.7", &v4);
    ParseAddressLiteral("2001:db8::123", &v6);
    struct Row {
        const char *name;
        int family[10];         // the list's entries, up to the first 0
        int shortFirst;         // the first entry's ai_addrlen too small for its family
        const char *expected;   // the addresses kept, or "" when none
    } rows[] = {
        {"IPv6 first", {AF_INET6, AF_INET}, 0, "2001:db8::123 192.0.2.7"},
        {"IPv4 first", {AF_INET, AF_INET6}, 0, "192.0.2.7 2001:db8::123"},
        {"other family skipped", {AF_APPLETALK, AF_INET6}, 0, "2001:db8::123"},
        {"short entry skipped", {AF_INET6, AF_INET}, 1, "192.0.2.7"},
        {"nothing usable", {AF_APPLETALK}, 0, ""},
        {"eight kept of ten", {AF_INET, AF_INET, AF_INET, AF_INET, AF_INET, AF_INET, AF_INET,
                               AF_INET6, AF_INET6, AF_INET6}, 0,
         "192.0.2.7 192.0.2.7 192.0.2.7 192.0.2.7 192.0.2.7 192.0.2.7 192.0.2.7 2001:db8::123"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        struct addrinfo entries[10] = {};
        int count = 0;
        while (count < 10 && row.family[count] != 0)
            count++;
        for (int i = 0; i < count; i++) {
            const struct sockaddr_storage *from = row.family[i] == AF_INET ? &v4 : &v6;
            entries[i].ai_family = row.family[i];
            entries[i].ai_addr = (struct sockaddr *)from;
            entries[i].ai_addrlen = AddressLength(from);
            entries[i].ai_next = i + 1 < count ? &entries[i + 1] : nullptr;
        }
        if (row.shortFirst)
            entries[0].ai_addrlen = sizeof(struct sockaddr_in);
        FakeAddressList = entries;
        HostLookup *lookup = StartHostLookup(ClockWindow, LookupDone, 0, "any.vellmarin.test");
        ASSERT_NE(nullptr, lookup);
        EXPECT_EQ(row.expected[0] ? 0 : WSANO_DATA, AwaitLookup());
        struct sockaddr_storage kept[LookupAddressMax + 1];
        int found = LookupResult(lookup, kept, LookupAddressMax + 1);
        AbandonLookup(lookup);
        std::string shown;
        for (int i = 0; i < found; i++) {
            char text[AddressTextSize];
            shown += (i ? " " : "") + std::string(FormatAddress(&kept[i], text, sizeof text));
        }
        EXPECT_EQ(row.expected, shown);
    }
    FakeAddressList = nullptr;
    ResetHarness();
}

}  // namespace
