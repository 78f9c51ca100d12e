#!/usr/bin/env python3
# A native time server for the offset benchmark: answers every SNTP request on ADDRESS:123 (IPv4
# or IPv6) with an honest version 4 reply whose clock runs OFFSET seconds ahead of this machine's.
import socket
import struct
import sys
import time

NTP_ERA_START = 2208988800  # seconds from 1900 to 1970


def ntp_stamp(ns):
    seconds, rest = divmod(ns, 1_000_000_000)
    return struct.pack("!II", (seconds + NTP_ERA_START) & 0xFFFFFFFF, (rest << 32) // 1_000_000_000)


def main():
    address = sys.argv[1] if len(sys.argv) > 1 else "127.0.0.3"
    offset_ns = int(float(sys.argv[2]) * 1e9) if len(sys.argv) > 2 else 5_000_000_000
    server = socket.socket(socket.AF_INET6 if ":" in address else socket.AF_INET, socket.SOCK_DGRAM)
    server.bind((address, 123))
    while True:
        request, client = server.recvfrom(512)
        arrival = time.time_ns() + offset_ns
        if len(request) < 48:
            continue
        header = struct.pack("!BBbbII4s", 0x24, 2, 6, -20, 0, 0x100, b"LOCL")
        reply = header + ntp_stamp(arrival - 64_000_000_000) + request[40:48] + ntp_stamp(arrival)
        server.sendto(reply + ntp_stamp(time.time_ns() + offset_ns), client)


if __name__ == "__main__":
    main()
