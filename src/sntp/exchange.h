// One SNTP exchange at a time over WinSock 2, IPv4 or IPv6: the lookup's end and each received
// datagram as window messages, time-outs counted in the clock window's 250 ms ticks, the
// one-minute rule, and the end of the exchange on the reply evaluation's verdict.
#pragma once
#include <winsock2.h>
#include <windows.h>
#include <stdint.h>
#include "sntp/exchange_record.h"
#include "sntp/reply_receiver.h"
#include "sntp/server_address.h"

#define WM_HOST_RESOLVED 0x8001
#define WM_REPLY_RECEIVED 0x8002

struct RecentServer {
    struct sockaddr_storage address;    // family 0 marks an empty slot
    uint32_t sentAt;                // TickCounter when the request was sent
};

enum { RecentServerSlots = 32, OneMinuteTicks = 240 };

extern RecentServer RecentServers[RecentServerSlots];
extern uint32_t TickCounter;

// Replaceable by tests: the WinSock start-up (default WSAStartup) and the box that reports its
// failure (default MessageBox932). The host lookup's seam is in sntp/host_lookup.h.
extern int (WINAPI *NetworkStartup)(WORD version, LPWSADATA data);
extern int (WINAPI *NetworkErrorBox)(HWND owner, LPCSTR text, LPCSTR caption, UINT style);

// Called when a lookup has given the address a request is about to go to, before t1 is read, so
// the window can name it (AskedAddressText). Null: nothing is called.
extern void (*AnnounceLookedUpAddress)(void);
// Called on the window thread right after a request has gone out. Null: nothing is called. The
// offset benchmark keeps the window thread busy here, as painting or a log box may.
extern void (*RequestSent)(void);

void StartNetwork(void);
void StopNetwork(void);
// Prepares an exchange up to its request: 0 under way, -1 ended at once. For an address the socket
// is opened and the request waits for SendPreparedRequest, so that whatever announces the query
// is done before t1 is read; for a host name the lookup starts and its completion sends.
int StartExchange(const char *serverName, int applyRetryRule);
// Sends the request StartExchange prepared: 0 sent (or nothing was waiting), -1 failed and ended.
int SendPreparedRequest(void);
// wParam: the serial of the exchange that started the lookup; lParam: 0, or the lookup's error.
int OnHostResolved(WPARAM wParam, LPARAM lParam);               // -1 not ours, 0 going on, 1 done
// wParam: the serial of the exchange whose socket received; lParam: its ReceivedDatagram, which
// this frees whatever the outcome.
int OnReplyReceived(WPARAM wParam, LPARAM lParam);              // -1 not ours, 0 ignored, 1 done
int ExchangeTick(void);                                         // 1 when a time-out ended it
// The address the exchange asks, once it is known (text empty before). Returns text.
const char *AskedAddressText(char *text, size_t size);
// 1 when the last exchange ended on one address of the looked-up name `name` (a time-out, a
// failed send) and another address of it waits: the next attempt for it asks that one. 0 for any
// other name, so a server asked for a second opinion says nothing of the selected one.
int NameHasAddressesLeft(const char *name);
void CancelExchange(void);
void CloseExchange(void);
int FailExchange(void);
// Evaluates a datagram received on the exchange's socket and ends the exchange on the verdict.
// 0 success, 1 failed: either way the exchange has ended. -1: it was not from the server; the
// exchange goes on awaiting the reply. -2: the exchange was stopped while a log box was open.
int ProcessReply(const ReceivedDatagram *datagram);
