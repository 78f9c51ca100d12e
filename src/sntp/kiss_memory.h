// What Kiss-o'-Death replies said during this start: the servers that refused us (DENY, RSTR)
// and the addresses that asked us to slow down (RATE). Kept in memory only, never saved.
#pragma once
#include <winsock2.h>
#include "sntp/server_address.h"

enum { KissCodeSize = 5 };

// The kiss code of a reply's Reference ID: four ASCII characters, others shown as ".".
void KissCodeText(const uint8_t referenceId[4], char code[KissCodeSize]);
// The message of a refusal by kiss, "ｴﾗｰ:ｻｰﾊﾞｰから拒否されました(DENY)", cut to size.
enum { KissMessageSize = 64 };
void KissRefusalText(const char *code, char *out, size_t size);
// DENY and RSTR refuse the server (its name and its address), RATE its address; other codes
// are only reported. With movesOn the next attempt goes to the next server: not for a server
// asked for a second opinion, which is not the selected one.
void RememberKiss(const char *code, const char *serverName, const struct sockaddr_storage *address,
                  int movesOn);
// The kiss code that refused the server by name or address, or null.
const char *ServerRefused(const char *serverName);
const char *AddressRefused(const struct sockaddr_storage *address);
// 1 once after a kiss: the attempt that follows moves on to the next server of the list.
int TakeKissMovesOn(void);
void ForgetKisses(void);
