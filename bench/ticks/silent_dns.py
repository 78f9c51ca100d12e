# A name server that hears every question and answers none: 127.0.0.5:53 over UDP and TCP.
import socket, sys, threading

def udp():
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind(("127.0.0.5", 53))
    while True:
        data, peer = s.recvfrom(4096)
        print("question from %s:%d, %d bytes" % (peer[0], peer[1], len(data)), flush=True)

def tcp():
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("127.0.0.5", 53))
    s.listen(8)
    held = []
    while True:
        held.append(s.accept()[0])

threading.Thread(target=tcp, daemon=True).start()
print("listening", flush=True)
udp()
