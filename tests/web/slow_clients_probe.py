#!/usr/bin/python3
"""Slow HTTP clients against the hub's web page, as an attacker would send them, and what the
owner's requests get meanwhile. A manual probe (about 40 s); the web security test holds the
lean version.

    tests/web/slow_clients_probe.py [BUILD_DIR]"""
import collections
import os
import socket
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from webrig import Rig  # noqa: E402

build = sys.argv[1] if len(sys.argv) > 1 else os.environ.get("KONF_BUILD_DIR", "build")


def connect(port, source):
    s = socket.socket()
    s.bind((source, 0))
    s.connect(("127.0.0.1", port))
    return s


def get(port, source):
    """The owner's request: the status, or what happened to the connection instead."""
    try:
        s = connect(port, source)
        s.settimeout(5)
        s.sendall(f"GET / HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n\r\n".encode())
        head = s.recv(64)
        s.close()
        return head.split(b" ")[1].decode() if head.startswith(b"HTTP/") else "closed"
    except ConnectionResetError:
        return "reset"
    except socket.timeout:
        return "timeout"


def slow_clients(port, source, count, seconds):
    """`count` connections sending a request header at a byte a second; each one the server
    drops is opened again at once. Returns how many were dropped."""
    header = f"GET / HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nX-Pad: {'a' * 64}\r\n\r\n".encode()
    conns = [[connect(port, source), 0] for _ in range(count)]
    dropped = 0
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        for c in conns:
            try:
                c[0].send(header[c[1] % len(header):c[1] % len(header) + 1])
                c[1] += 1
            except OSError:
                dropped += 1
                c[0].close()
                try:
                    c[0], c[1] = connect(port, source), 0
                except OSError:
                    pass
        time.sleep(1)
    for c in conns:
        c[0].close()
    return dropped


def scenario(rig, title, slow_source, count, owner_source, requests, seconds):
    result = {}
    attack = threading.Thread(target=lambda: result.update(
        dropped=slow_clients(rig.port, slow_source, count, seconds)))
    attack.start()
    time.sleep(2)
    got = collections.Counter()
    for _ in range(requests):
        got[get(rig.port, owner_source)] += 1
        time.sleep((seconds - 4) / requests)
    attack.join()
    print(f"{title}: owner's GETs {dict(got)}; slow connections dropped by the server: "
          f"{result.get('dropped', 0)}")


rig = Rig(build)
try:
    scenario(rig, f"100 slow connections from 127.0.0.1, owner on 127.0.0.1",
             "127.0.0.1", 100, "127.0.0.1", 30, 16)
    scenario(rig, f"66 slow connections from 127.0.0.2, owner on 127.0.0.3",
             "127.0.0.2", 66, "127.0.0.3", 30, 16)
finally:
    rig.close()
