#!/usr/bin/env python3
"""Drives a real telnet client through a pseudo-terminal.

telnet_driver.py TELNET PORT PASSWORD: logs in, switches the client to
character mode, asks for the status report with the single key 5, leaves
with 9, and prints everything the client showed. A connection refused or
closed before the banner (the console serves one client at a time) is
tried again. Exit code 1 on a timeout.
"""
import os
import pty
import select
import sys
import time

telnet, port, password = sys.argv[1], sys.argv[2], sys.argv[3]
seen = b""


def expect(text, timeout=30.0):
    """Waits for text; False when the client ended first."""
    global seen
    end = time.monotonic() + timeout
    while text.encode() not in seen:
        left = end - time.monotonic()
        if left <= 0:
            sys.stdout.buffer.write(seen)
            print(f"\ntimeout waiting for {text!r}")
            sys.exit(1)
        ready, _, _ = select.select([fd], [], [], left)
        if ready:
            try:
                chunk = os.read(fd, 4096)
            except OSError:
                chunk = b""
            if not chunk:
                return False
            seen += chunk
    at = seen.index(text.encode()) + len(text.encode())
    shown, seen = seen[:at], seen[at:]
    sys.stdout.buffer.write(shown)
    return True


end = time.monotonic() + 30.0
while True:
    pid, fd = pty.fork()
    if pid == 0:
        os.execv(telnet, [telnet, "127.0.0.1", port])
    if expect("Password: ", max(end - time.monotonic(), 0.1)):
        break
    os.waitpid(pid, 0)
    os.close(fd)
    seen = b""
os.write(fd, password.encode() + b"\r")
expect("9 - Exit")
os.write(fd, b"\x1d")  # the client's escape character
expect("telnet>")
os.write(fd, b"mode character\r")
expect("9 - Exit")  # the negotiation arrived as one piece: menu only
time.sleep(0.3)
os.write(fd, b"5")
expect("Timestamp   : ")
os.write(fd, b"9")
expect("Bye...")
time.sleep(0.2)
try:
    os.kill(pid, 9)
except ProcessLookupError:
    pass
sys.exit(0)
