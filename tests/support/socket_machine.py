#!/usr/bin/env python3
"""A small scripted duplicator on a Unix stream socket: it connects to the monitor's socket
and answers its commands with 65-byte reports, as a machine written outside the project
would. Usage: socket_machine.py SOCKET_PATH [SECONDS]"""
import socket
import struct
import sys
import time

MACHINE_ID = b"SOCK-0001"
RECORDS = 3


def crc16(data):
    c = 0
    for b in data:
        c ^= b << 8
        for _ in range(8):
            c = ((c << 1) ^ 0x1021) if c & 0x8000 else c << 1
            c &= 0xFFFF
    return c


def crc32(data):
    c = 0xA9EA3693
    for b in data:
        c ^= b << 24
        for _ in range(8):
            c = ((c << 1) ^ 0x04C11DB7) if c & 0x80000000 else c << 1
            c &= 0xFFFFFFFF
    return c


def frame(status, payload, check):
    body = b"#" + struct.pack(">H", len(payload) + 1 + {None: 0, 16: 2, 32: 4}[check])
    body += bytes([status]) + payload
    if check == 16:
        body += struct.pack(">H", crc16(body))
    elif check == 32:
        body += struct.pack(">I", crc32(body))
    return body


def record(number):
    r = bytearray(256)
    r[0:4] = struct.pack(">I", number)
    r[44:46] = struct.pack(">H", number)  # port
    r[46:48] = struct.pack(">H", 512)
    r[48:48 + 9] = b"RIG DISK "
    r[116:124] = struct.pack(">Q", 1000000)
    r[144:150] = bytes([26, 12, 10, 9, 0, 0])
    r[150] = 1  # job group
    r[151] = 2  # compare
    return bytes(r)


def answer(msg):
    if msg[0] == ord("#"):  # a data block after "W" 5 or "W" 12
        return frame(0, b"", None)
    code, payload = msg[3], msg[4:-1]
    if code == ord("A"):
        p = b"SOCKET-RIG".ljust(20, b"\0") + b"v2.0.1".ljust(10, b"\0")
        p += struct.pack(">HH", 512, 4) + b"3" + bytes([0, 0x02])
        return frame(0, p, 16)
    if code == ord("W"):
        sub = payload[0]
        if sub == 1:
            return frame(0, MACHINE_ID + b"\0", None)
        if sub == 2:
            return frame(0, struct.pack("<HHB", 1, 4, 4), None)
        if sub == 3:
            return frame(0, b"RIG-BOARD".ljust(16, b"\0") + b"REV-1".ljust(8, b"\0") +
                         bytes(16) * payload[3], None)
        if sub == 4:
            return frame(0, b"Socket bay".ljust(56, b"\0"), None)
        if sub in (5, 12):
            return frame(ord("A"), b"", None)
        if sub == 22:
            return frame(0, struct.pack(">II", 1, RECORDS), None)
        return frame(0, b"", None)
    if code == ord("B"):
        return frame(0, bytes(20) + struct.pack(">II", 1, RECORDS), 32)
    if code == 0x80:
        n = struct.unpack(">I", payload[:4])[0]
        if 1 <= n <= RECORDS:
            return frame(0, record(n), 32)
        return frame(1, b"", 32)
    return None


def reports(msg):
    n = len(msg) // 60 + 1
    for i in range(1, n + 1):
        part = msg[(i - 1) * 60:i * 60] if i < n else msg[(n - 1) * 60:]
        yield bytes([0, ord("M"), n, i, len(part)]) + part.ljust(60, b"\0")


def main():
    path = sys.argv[1]
    deadline = time.time() + (float(sys.argv[2]) if len(sys.argv) > 2 else 30)
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    while True:
        try:
            s.connect(path)
            break
        except OSError:
            if time.time() > deadline:
                return 1
            time.sleep(0.05)
    s.settimeout(0.2)
    buf, msg = b"", b""
    while time.time() < deadline:
        try:
            data = s.recv(4096)
        except socket.timeout:
            continue
        if not data:
            break
        buf += data
        while len(buf) >= 65:
            rep, buf = buf[:65], buf[65:]
            if rep[1] != ord("C"):
                continue  # the raw wake-up report
            count, index, n = rep[2], rep[3], rep[4]
            if index == 1:
                msg = b""
            msg += rep[5:5 + n]
            if index == count:
                a = answer(msg)
                if a is not None:
                    for r in reports(a):
                        s.sendall(r)
    s.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
