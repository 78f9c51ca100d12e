// The time server's address in either family: reading a literal as the user types it, the usual
// text forms, and the comparison the one-minute rule and the datagram source check rely on.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>
#include <stddef.h>
#include <stdint.h>

enum { AddressTextSize = 64 };      // the longest IPv6 form with a zone index fits

enum { NotALiteral = -1, FormNotAccepted = -2 };

// A dotted IPv4 address (read as inet_addr reads it, so 255.255.255.255 is none) or an IPv6
// address, also in brackets and with a numeric zone index (fe80::1%2). An IPv4-mapped address
// (::ffff:192.0.2.1) is read as the IPv4 address it carries: an IPv6 socket on Windows sends no
// IPv4. Port 0. 0; NotALiteral for a host name; FormNotAccepted for a text with a colon that is
// no IPv6 address (a port as in 192.0.2.1:123 or [2001:db8::1]:123, a zone by name as in
// fe80::1%eth0), which no host name can have either, and for a text with a byte outside
// ASCII.
int ParseAddressLiteral(const char *text, struct sockaddr_storage *address);
int AddressLength(const struct sockaddr_storage *address);     // 0 for a family not handled
void SetAddressPort(struct sockaddr_storage *address, uint16_t port);
uint16_t AddressPort(const struct sockaddr_storage *address);  // host byte order
// One host: the same family and address, and the same zone where both name one. Port ignored.
int SameAddress(const struct sockaddr_storage *a, const struct sockaddr_storage *b);
// 192.0.2.1, or 2001:db8::123 (lower case, the longest run of zero groups shortened, the zone
// index after %). Returns text.
const char *FormatAddress(const struct sockaddr_storage *address, char *text, size_t size);
