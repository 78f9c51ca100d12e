#!/usr/bin/env python3
# A name server of our own for tests, on ADDRESS:53 (UDP): v6only.vellmarin.test has only the
# IPv6 address ::1 (its A question gets an empty answer), dual.vellmarin.test has ::1 and
# 127.0.0.1, hang.vellmarin.test is never answered, every other name does not exist. Prints each
# question it hears.
import socket
import struct
import sys

V6_ONLY = "v6only.vellmarin.test"
DUAL = "dual.vellmarin.test"
HANGING = "hang.vellmarin.test"
TYPE_A = 1
TYPE_AAAA = 28


def question(data):
    labels, at = [], 12
    while at < len(data) and data[at] != 0:
        length = data[at]
        labels.append(data[at + 1:at + 1 + length].decode("ascii", "replace"))
        at += 1 + length
    qtype = struct.unpack("!H", data[at + 1:at + 3])[0]
    return ".".join(labels).lower(), qtype, at + 5


def answer(data):
    name, qtype, end = question(data)
    print("question %s type %d" % (name, qtype), flush=True)
    if name == HANGING:
        return None
    known = name in (V6_ONLY, DUAL)
    flags = 0x8400 | (0 if known else 3)     # authoritative; NXDOMAIN for strangers
    records = b""
    if known and qtype == TYPE_AAAA:
        records = struct.pack("!HHHIH", 0xC00C, TYPE_AAAA, 1, 60, 16) + socket.inet_pton(
            socket.AF_INET6, "::1")
    elif name == DUAL and qtype == TYPE_A:
        records = struct.pack("!HHHIH", 0xC00C, TYPE_A, 1, 60, 4) + socket.inet_aton("127.0.0.1")
    header = struct.pack("!HHHHHH", struct.unpack("!H", data[:2])[0], flags | (data[2] & 1) << 8,
                         1, 1 if records else 0, 0, 0)
    return header + data[12:end] + records


def main():
    server = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    server.bind((sys.argv[1] if len(sys.argv) > 1 else "127.0.0.6", 53))
    print("listening", flush=True)
    while True:
        data, peer = server.recvfrom(4096)
        if len(data) < 17:
            continue
        reply = answer(data)
        if reply is not None:
            server.sendto(reply, peer)


if __name__ == "__main__":
    main()
