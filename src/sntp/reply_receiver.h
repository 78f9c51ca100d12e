// The thread that waits on an exchange's socket and reads the clock the moment a datagram is
// delivered, handing datagram, sender and that instant to the window thread as a posted message.
#pragma once
#include <winsock2.h>
#include <windows.h>
#include <stdint.h>

enum { ReceivedDatagramCapacity = 50 };     // a longer datagram is a failed receive

// One receive and what came with it. A block posted to the window belongs to whoever handles the
// message, who frees it with FreeReceivedDatagram.
struct ReceivedDatagram {
    uint8_t data[ReceivedDatagramCapacity];
    int length;                     // bytes received, or SOCKET_ERROR
    int error;                      // the receive's WinSock error when it failed, else 0
    struct sockaddr_storage from;   // the sender, zeros when unknown
    int fromLength;
    uint64_t receivedAt;            // t4: ReadUtcNow as the datagram was found waiting
};

// One receive on the socket of a datagram that arrived at receivedAt.
void ReceiveDatagram(SOCKET socket, uint64_t receivedAt, ReceivedDatagram *datagram);
// A copy on the heap, for a hand-over. Null when memory ran out.
ReceivedDatagram *CopyReceivedDatagram(const ReceivedDatagram *datagram);
void FreeReceivedDatagram(ReceivedDatagram *datagram);      // harmless on null

struct ReplyReceiver;   // a heap block shared by the owner and the thread, freed by the last one

// Starts a thread that receives on the bound socket until it is stopped and posts each datagram
// to window as message, wParam tag and lParam a ReceivedDatagram. The socket becomes
// non-blocking. Returns once the thread runs; null when it could not start.
ReplyReceiver *StartReplyReceiver(SOCKET socket, HWND window, UINT message, WPARAM tag);
// The owner lets go: from now on the thread posts nothing, and its wait ends. Harmless on null.
void SilenceReplyReceiver(ReplyReceiver *receiver);
// After SilenceReplyReceiver and closing the socket: waits for the thread to end and releases
// the owner's share. Harmless on null.
void EndReplyReceiver(ReplyReceiver *receiver);
