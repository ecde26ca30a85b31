#!/usr/bin/env python3
"""A hostile stand-in for a MySQL server on loopback, for tests of what a client gives away.

It greets as a server that wants the clear-text authentication plugin (or, with --plugin native,
the usual one), asks for the clear-text one again by an authentication switch, accepts whatever
comes, and answers every command with OK. Every byte the
client sends (after TLS decryption, when --tls-cert is given) is appended to --record. The port
is printed on the first line of standard output. It serves clients until --lifetime seconds
have passed, so a test that forgets it never leaves it behind.
"""
import argparse
import socket
import ssl
import struct
import time

CLIENT_SSL = 0x800
CAPS = (0x1 | 0x8 | 0x200 | 0x2000 | 0x8000 | 0x20000 | 0x80000 | 0x200000)
CLEAR = b"mysql_clear_password"
NATIVE = b"mysql_native_password"


def packet(seq, payload):
    return struct.pack("<I", len(payload))[:3] + bytes([seq & 0xFF]) + payload


def read_packet(conn, record):
    head = b""
    while len(head) < 4:
        chunk = conn.recv(4 - len(head))
        if not chunk:
            return None, None
        head += chunk
    length = head[0] | head[1] << 8 | head[2] << 16
    body = b""
    while len(body) < length:
        chunk = conn.recv(length - len(body))
        if not chunk:
            return None, None
        body += chunk
    record.write(head + body)
    record.flush()
    return head[3], body


def greeting(caps, plugin):
    scramble = b"abcdefghijklmnopqrst"
    return (b"\x0a" + b"10.11.0-fake\x00" + struct.pack("<I", 7) + scramble[:8] + b"\x00"
            + struct.pack("<H", caps & 0xFFFF) + b"\x21" + struct.pack("<H", 2)
            + struct.pack("<H", caps >> 16) + bytes([21]) + b"\x00" * 10 + scramble[8:]
            + b"\x00" + plugin + b"\x00")


def ok(seq):
    return packet(seq, b"\x00\x00\x00\x02\x00\x00\x00")


def serve(conn, args, record):
    caps = CAPS | (CLIENT_SSL if args.tls_cert else 0)
    clear = args.plugin == "clear"
    conn.sendall(packet(0, greeting(caps, CLEAR if clear else NATIVE)))
    seq, body = read_packet(conn, record)
    if body is None:
        return
    if len(body) == 32 and struct.unpack("<I", body[:4])[0] & CLIENT_SSL and args.tls_cert:
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(args.tls_cert, args.tls_key)
        conn = ctx.wrap_socket(conn, server_side=True)
        seq, body = read_packet(conn, record)
        if body is None:
            return
    if clear:
        # Whatever plugin the client chose, ask for the clear-text one.
        conn.sendall(packet(seq + 1, b"\xfe" + CLEAR + b"\x00"))
        seq, body = read_packet(conn, record)
        if body is None:
            return
    conn.sendall(ok(seq + 1))
    while True:
        seq, body = read_packet(conn, record)
        if body is None or body[:1] == b"\x01":
            return
        conn.sendall(ok(seq + 1))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--record", required=True)
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    parser.add_argument("--plugin", choices=["clear", "native"], default="clear")
    parser.add_argument("--lifetime", type=float, default=60)
    args = parser.parse_args()
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(4)
    print(listener.getsockname()[1], flush=True)
    deadline = time.monotonic() + args.lifetime
    with open(args.record, "ab") as record:
        while time.monotonic() < deadline:
            listener.settimeout(max(0.1, deadline - time.monotonic()))
            try:
                conn, _ = listener.accept()
            except OSError:
                break
            conn.settimeout(10)
            try:
                serve(conn, args, record)
            except (OSError, ssl.SSLError):
                pass
            finally:
                conn.close()


if __name__ == "__main__":
    main()
