// An exchange's receiving thread. The window thread may be painting, in a log box's modal loop or
// simply not scheduled when the reply lands; this thread does nothing but wait for the socket to
// become readable, so the instant it reads is the reply's arrival, whatever the window thread is
// doing. The block it shares with its owner has two references; whoever lets go last frees it.
#include "sntp/reply_receiver.h"
#include "sntp/exchange_record.h"

enum { ReceiverEndWaitMs = 1000, ReceiverStartWaitMs = 1000 };

struct ReplyReceiver {
    volatile LONG references;
    int silenced;               // set and read under PostLock
    SOCKET socket;
    HWND window;
    UINT message;
    WPARAM tag;
    HANDLE thread;              // the owner's
    // Closed with the block: set by the thread as it starts, by WinSock when a datagram is
    // waiting, by the owner when it lets go.
    HANDLE running;
    HANDLE readable;
    HANDLE stop;
};

// Keeps an owner that lets go apart from a thread about to post: once silenced, nothing is posted.
static CRITICAL_SECTION PostLock;
static int PostLockReady;

static void Release(ReplyReceiver *receiver)
{
    if (InterlockedDecrement(&receiver->references) != 0)
        return;
    HANDLE *handles[] = {&receiver->running, &receiver->readable, &receiver->stop};
    for (HANDLE *handle : handles) {
        if (*handle != NULL)
            CloseHandle(*handle);
    }
    HeapFree(GetProcessHeap(), 0, receiver);
}

void ReceiveDatagram(SOCKET socket, uint64_t receivedAt, ReceivedDatagram *datagram)
{
    ZeroMemory(datagram, sizeof *datagram);
    datagram->receivedAt = receivedAt;
    datagram->fromLength = sizeof datagram->from;
    datagram->length = recvfrom(socket, (char *)datagram->data, sizeof datagram->data, 0,
                                (struct sockaddr *)&datagram->from, &datagram->fromLength);
    if (datagram->length == SOCKET_ERROR)
        datagram->error = WSAGetLastError();
}

ReceivedDatagram *CopyReceivedDatagram(const ReceivedDatagram *datagram)
{
    ReceivedDatagram *copy =
        (ReceivedDatagram *)HeapAlloc(GetProcessHeap(), 0, sizeof *copy);
    if (copy != NULL)
        *copy = *datagram;
    return copy;
}

void FreeReceivedDatagram(ReceivedDatagram *datagram)
{
    if (datagram != NULL)
        HeapFree(GetProcessHeap(), 0, datagram);
}

// Hands one datagram to the owner: 1 when the thread is to go on receiving.
static int HandOver(ReplyReceiver *receiver, const ReceivedDatagram *datagram)
{
    ReceivedDatagram *copy = CopyReceivedDatagram(datagram);
    EnterCriticalSection(&PostLock);
    int silenced = receiver->silenced;
    if (copy != NULL && !silenced &&
        PostMessageW(receiver->window, receiver->message, receiver->tag, (LPARAM)copy))
        copy = NULL;
    LeaveCriticalSection(&PostLock);
    FreeReceivedDatagram(copy);     // a hand-over nobody will handle
    // A failure other than a datagram too long for the buffer leaves nothing to wait for: it is
    // handed over all the same, and the thread ends.
    int failed = datagram->length == SOCKET_ERROR && datagram->error != WSAEMSGSIZE;
    return !silenced && !failed;
}

static DWORD WINAPI ReceiverThread(LPVOID parameter)
{
    ReplyReceiver *receiver = (ReplyReceiver *)parameter;
    HANDLE events[2] = {receiver->readable, receiver->stop};
    SetEvent(receiver->running);
    for (int going = 1; going;) {
        DWORD woken = WaitForMultipleObjects(2, events, FALSE, INFINITE);
        // The clock first: nothing done with the datagram may enter the measured delay.
        uint64_t arrival = ReadUtcNow();
        if (woken != WAIT_OBJECT_0)
            break;
        WSANETWORKEVENTS noted;
        WSAEnumNetworkEvents(receiver->socket, receiver->readable, &noted);     // resets the event
        // Every datagram waiting now is taken; one that lands meanwhile sets the event again.
        for (;;) {
            ReceivedDatagram datagram;
            ReceiveDatagram(receiver->socket, arrival, &datagram);
            if (datagram.length == SOCKET_ERROR && datagram.error == WSAEWOULDBLOCK)
                break;
            going = HandOver(receiver, &datagram);
            if (!going)
                break;
        }
    }
    Release(receiver);
    return 0;
}

ReplyReceiver *StartReplyReceiver(SOCKET socket, HWND window, UINT message, WPARAM tag)
{
    // The first receiver starts before any of their threads exists: this set-up runs on one thread.
    if (!PostLockReady) {
        InitializeCriticalSection(&PostLock);
        PostLockReady = 1;
    }
    ReplyReceiver *receiver =
        (ReplyReceiver *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *receiver);
    if (receiver == NULL)
        return NULL;
    receiver->references = 2;
    receiver->socket = socket;
    receiver->window = window;
    receiver->message = message;
    receiver->tag = tag;
    receiver->running = CreateEventW(NULL, TRUE, FALSE, NULL);
    receiver->readable = CreateEventW(NULL, TRUE, FALSE, NULL);
    receiver->stop = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (receiver->running != NULL && receiver->readable != NULL && receiver->stop != NULL &&
        WSAEventSelect(socket, receiver->readable, FD_READ) == 0)
        receiver->thread = CreateThread(NULL, 0, ReceiverThread, receiver, CREATE_SUSPENDED, NULL);
    if (receiver->thread == NULL) {
        receiver->references = 1;
        Release(receiver);
        return NULL;
    }
    // It does almost nothing, so it may run ahead of everything else of the program's.
    SetThreadPriority(receiver->thread, THREAD_PRIORITY_HIGHEST);
    ResumeThread(receiver->thread);
    // Running before the request goes out: its start-up cannot enter the reply's time.
    WaitForSingleObject(receiver->running, ReceiverStartWaitMs);
    return receiver;
}

void SilenceReplyReceiver(ReplyReceiver *receiver)
{
    if (receiver == NULL)
        return;
    EnterCriticalSection(&PostLock);
    receiver->silenced = 1;
    LeaveCriticalSection(&PostLock);
    SetEvent(receiver->stop);
}

void EndReplyReceiver(ReplyReceiver *receiver)
{
    if (receiver == NULL)
        return;
    // A thread still in its receive after this would only free its block when it ends.
    WaitForSingleObject(receiver->thread, ReceiverEndWaitMs);
    CloseHandle(receiver->thread);
    Release(receiver);
}
