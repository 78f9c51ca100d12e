// A resolver of the test's own for the look-up's worker, so a name can have any addresses.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <vector>

// A resolver of the test's own behind NameFunctions (clearing them puts the system's back): every
// name gets FakeAddressList (null: no such host) and counts in FakeLookups; while FakeResolverGate
// is set, each answer waits for it to be signalled.
extern const struct addrinfo *volatile FakeAddressList;
extern volatile LONG FakeLookups;
extern HANDLE FakeResolverGate;
void UseFakeResolver(void);
// FakeAddressList made of these literals, in order (one list at a time; at most 8).
void FakeAddresses(const std::vector<const char *> &literals);
