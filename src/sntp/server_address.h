// The time server's address in either family: reading a literal as the user types it, the usual
// text forms, and the comparison the one-minute rule and the datagram source check rely on.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>
#include <stddef.h>
#include <stdint.h>

enum { AddressTextSize = 64 };      // the longest IPv6 form with a zone index fits

// A dotted IPv4 address (read as inet_addr reads it, so 255.255.255.255 is none) or an IPv6
// address, also in brackets and with a numeric zone index (fe80::1%2). Port 0. 0, or -1 when the
// text is no literal address (a host name).
int ParseAddressLiteral(const char *text, struct sockaddr_storage *address);
int AddressLength(const struct sockaddr_storage *address);     // 0 for a family not handled
void SetAddressPort(struct sockaddr_storage *address, uint16_t port);
uint16_t AddressPort(const struct sockaddr_storage *address);  // host byte order
// One host: the same family and address, and the same zone where both name one. Port ignored.
int SameAddress(const struct sockaddr_storage *a, const struct sockaddr_storage *b);
// 192.0.2.1, or 2001:db8::123 (lower case, the longest run of zero groups shortened, the zone
// index after %). Returns text.
const char *FormatAddress(const struct sockaddr_storage *address, char *text, size_t size);
