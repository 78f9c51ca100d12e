// The time server's address in either family: literal parsing, text forms and comparison. The
// IPv6 reading is our own, since the system's (inet_pton) is missing before Windows Vista.
#include "sntp/server_address.h"
#include <stdio.h>
#include <string.h>

enum { ZoneDigitsMax = 10, TextMax = 256 };

static int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Exactly four decimal parts of 0..255, as an IPv6 address may end in.
static int ParseDottedTail(const char *text, size_t length, uint8_t out[4])
{
    size_t i = 0;
    for (int part = 0; part < 4; part++) {
        if (part > 0) {
            if (i >= length || text[i] != '.')
                return -1;
            i++;
        }
        int value = 0, digits = 0;
        while (i < length && text[i] >= '0' && text[i] <= '9' && digits < 4) {
            value = value * 10 + (text[i++] - '0');
            digits++;
        }
        if (digits == 0 || digits > 3 || value > 255)
            return -1;
        out[part] = (uint8_t)value;
    }
    return i == length ? 0 : -1;
}

// Eight groups of up to four hex digits, one "::" standing for a run of zero groups, the last
// 32 bits optionally as a dotted IPv4 address.
static int ParseIpv6(const char *text, size_t length, uint8_t out[16])
{
    uint8_t bytes[16];
    int count = 0;      // bytes read
    int gap = -1;       // where "::" stands, in bytes
    size_t i = 0;
    if (length >= 2 && text[0] == ':' && text[1] == ':') {
        gap = 0;
        i = 2;
    } else if (length == 0 || text[0] == ':') {
        return -1;
    }
    while (i < length) {
        size_t end = i;
        while (end < length && text[end] != ':')
            end++;
        if (memchr(text + i, '.', end - i) != NULL) {
            if (end != length || count > 12 ||
                ParseDottedTail(text + i, end - i, bytes + count) != 0)
                return -1;
            count += 4;
            break;
        }
        if (end == i || end - i > 4 || count == 16)
            return -1;
        int value = 0;
        for (size_t j = i; j < end; j++) {
            int digit = HexValue(text[j]);
            if (digit < 0)
                return -1;
            value = value * 16 + digit;
        }
        bytes[count++] = (uint8_t)(value >> 8);
        bytes[count++] = (uint8_t)value;
        i = end;
        if (i == length)
            break;
        if (++i == length)
            return -1;      // a single colon at the end
        if (text[i] == ':') {
            if (gap >= 0)
                return -1;
            gap = count;
            i++;
        }
    }
    if (gap < 0 ? count != 16 : count > 14)
        return -1;
    int moved = gap < 0 ? 0 : count - gap;
    memset(out, 0, 16);
    memcpy(out, bytes, (size_t)(count - moved));
    memcpy(out + 16 - moved, bytes + count - moved, (size_t)moved);
    return 0;
}

static int ParseIpv6Literal(const char *text, struct sockaddr_in6 *address)
{
    size_t length = strlen(text);
    if (length >= 2 && text[0] == '[' && text[length - 1] == ']') {
        text++;
        length -= 2;
    }
    const char *percent = (const char *)memchr(text, '%', length);
    size_t addressLength = percent != NULL ? (size_t)(percent - text) : length;
    unsigned long long zone = 0;
    if (percent != NULL) {
        size_t digits = length - addressLength - 1;
        if (digits == 0 || digits > ZoneDigitsMax)
            return -1;
        for (size_t i = 1; i <= digits; i++) {
            if (percent[i] < '0' || percent[i] > '9')
                return -1;
            zone = zone * 10 + (unsigned)(percent[i] - '0');
        }
        if (zone > 0xFFFFFFFFull)
            return -1;
    }
    uint8_t bytes[16];
    if (ParseIpv6(text, addressLength, bytes) != 0)
        return -1;
    memset(address, 0, sizeof *address);
    address->sin6_family = AF_INET6;
    memcpy(&address->sin6_addr, bytes, 16);
    address->sin6_scope_id = (ULONG)zone;
    return 0;
}

static void SetIpv4(struct sockaddr_storage *address, const void *bytes)
{
    memset(address, 0, sizeof *address);
    struct sockaddr_in *in = (struct sockaddr_in *)address;
    in->sin_family = AF_INET;
    memcpy(&in->sin_addr, bytes, 4);
}

int ParseAddressLiteral(const char *text, struct sockaddr_storage *address)
{
    static const uint8_t MappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    memset(address, 0, sizeof *address);
    if (text == NULL || strnlen(text, TextMax + 1) > TextMax)
        return NotALiteral;
    // A host name or address is ASCII: any other byte would reach the resolver as the system's
    // code page reads it, another name than the one shown.
    for (const char *p = text; *p; ++p)
        if ((unsigned char)*p >= 0x80)
            return FormNotAccepted;
    if (strchr(text, ':') != NULL) {
        struct sockaddr_in6 *in6 = (struct sockaddr_in6 *)address;
        if (ParseIpv6Literal(text, in6) != 0) {
            memset(address, 0, sizeof *address);
            return FormNotAccepted;
        }
        const uint8_t *bytes = (const uint8_t *)&in6->sin6_addr;
        if (memcmp(bytes, MappedPrefix, sizeof MappedPrefix) == 0) {
            uint8_t v4[4];
            memcpy(v4, bytes + 12, 4);
            SetIpv4(address, v4);
        }
        return 0;
    }
    unsigned long v4 = inet_addr(text);
    if (v4 == INADDR_NONE)
        return NotALiteral;
    SetIpv4(address, &v4);
    return 0;
}

int AddressLength(const struct sockaddr_storage *address)
{
    if (address->ss_family == AF_INET)
        return (int)sizeof(struct sockaddr_in);
    if (address->ss_family == AF_INET6)
        return (int)sizeof(struct sockaddr_in6);
    return 0;
}

void SetAddressPort(struct sockaddr_storage *address, uint16_t port)
{
    if (address->ss_family == AF_INET)
        ((struct sockaddr_in *)address)->sin_port = htons(port);
    else if (address->ss_family == AF_INET6)
        ((struct sockaddr_in6 *)address)->sin6_port = htons(port);
}

uint16_t AddressPort(const struct sockaddr_storage *address)
{
    if (address->ss_family == AF_INET)
        return ntohs(((const struct sockaddr_in *)address)->sin_port);
    if (address->ss_family == AF_INET6)
        return ntohs(((const struct sockaddr_in6 *)address)->sin6_port);
    return 0;
}

int SameAddress(const struct sockaddr_storage *a, const struct sockaddr_storage *b)
{
    if (a->ss_family != b->ss_family)
        return 0;
    if (a->ss_family == AF_INET)
        return ((const struct sockaddr_in *)a)->sin_addr.s_addr ==
               ((const struct sockaddr_in *)b)->sin_addr.s_addr;
    if (a->ss_family != AF_INET6)
        return 0;
    const struct sockaddr_in6 *a6 = (const struct sockaddr_in6 *)a;
    const struct sockaddr_in6 *b6 = (const struct sockaddr_in6 *)b;
    if (memcmp(&a6->sin6_addr, &b6->sin6_addr, 16) != 0)
        return 0;
    return a6->sin6_scope_id == 0 || b6->sin6_scope_id == 0 ||
           a6->sin6_scope_id == b6->sin6_scope_id;
}

static void FormatIpv6(const uint8_t *bytes, unsigned long zone, char *text, size_t size)
{
    static const uint8_t MappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    size_t used = 0;
    if (memcmp(bytes, MappedPrefix, 12) == 0) {
        used = (size_t)snprintf(text, size, "::ffff:%u.%u.%u.%u", bytes[12], bytes[13], bytes[14],
                                bytes[15]);
    } else {
        unsigned groups[8];
        for (int i = 0; i < 8; i++)
            groups[i] = (unsigned)bytes[2 * i] << 8 | bytes[2 * i + 1];
        int bestStart = -1, bestLength = 1;     // a single zero group is never shortened
        for (int i = 0; i < 8;) {
            int run = 0;
            while (i + run < 8 && groups[i + run] == 0)
                run++;
            if (run > bestLength) {
                bestStart = i;
                bestLength = run;
            }
            i += run > 0 ? run : 1;
        }
        for (int i = 0; i < 8 && used < size; i++) {
            if (i == bestStart) {
                used += (size_t)snprintf(text + used, size - used, "::");
                i += bestLength - 1;
                continue;
            }
            int after = i > 0 && i != bestStart + bestLength;
            used += (size_t)snprintf(text + used, size - used, "%s%x", after ? ":" : "", groups[i]);
        }
    }
    if (zone != 0 && used < size)
        snprintf(text + used, size - used, "%%%lu", zone);
}

const char *FormatAddress(const struct sockaddr_storage *address, char *text, size_t size)
{
    if (size == 0)
        return text;
    text[0] = '\0';
    if (address->ss_family == AF_INET) {
        const uint8_t *octet = (const uint8_t *)&((const struct sockaddr_in *)address)->sin_addr;
        snprintf(text, size, "%u.%u.%u.%u", octet[0], octet[1], octet[2], octet[3]);
    } else if (address->ss_family == AF_INET6) {
        const struct sockaddr_in6 *in6 = (const struct sockaddr_in6 *)address;
        FormatIpv6((const uint8_t *)&in6->sin6_addr, in6->sin6_scope_id, text, size);
    }
    return text;
}
