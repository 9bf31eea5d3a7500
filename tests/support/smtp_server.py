#!/usr/bin/python3
"""A real SMTP server on 127.0.0.1 for the tests (aiosmtpd).

smtp_server.py MODE DIR prints the port it listens on, then serves until
stdin closes. Each accepted message is parsed and saved as DIR/N.json.
MODE: accept | refuse-rcpt | auth (user "ann", password "pa55") | silent
(accepts connections and never says a word) | stall-data (saves the
message, never answers it) | stall-quit (accepts the message, never answers
QUIT) | closed (nobody listens on the port). Every login attempt adds a
line to DIR/login, every connection or answer held back one to DIR/stall.
"""
import asyncio
import base64
import email
import json
import os
import socket
import sys
import threading

mode, folder = sys.argv[1], sys.argv[2]


def note(event):
    with open(os.path.join(folder, event), "a") as out:
        out.write("\n")


def wait_for_stdin_to_close():
    sys.stdin.read()
    os._exit(0)


def free_port():
    # The controller checks its server by connecting to the port it was
    # given, so it needs a real free port rather than 0.
    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    return port


def silent():
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(8)
    print(server.getsockname()[1], flush=True)
    held = []
    threading.Thread(target=wait_for_stdin_to_close, daemon=True).start()
    while True:
        conn, _ = server.accept()
        held.append(conn)
        note("stall")


if mode == "silent":
    silent()
if mode == "closed":
    print(free_port(), flush=True)
    wait_for_stdin_to_close()

from aiosmtpd.controller import Controller  # noqa: E402
from aiosmtpd.smtp import MISSING, AuthResult, LoginPassword  # noqa: E402


class Saver:
    count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if mode == "refuse-rcpt":
            return "550 5.1.1 No such user here"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        Saver.count += 1
        # Headers as written, not as a parser would normalise them.
        msg = email.message_from_bytes(envelope.original_content)
        html, html_type, attachments = None, None, []
        for part in msg.walk():
            if part.is_multipart():
                continue
            if part.get_content_disposition() == "attachment":
                attachments.append({
                    "filename": part.get_filename(),
                    "type": part.get_content_type(),
                    "encoding": part["content-transfer-encoding"],
                    "data": base64.b64encode(part.get_payload(decode=True)).decode(),
                })
            elif part.get_content_type() == "text/html":
                html = part.get_payload(decode=True).decode("utf-8")
                html_type = f'{part["content-type"]}; {part["content-transfer-encoding"]}'
        record = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "headers": dict(msg.items()),
            "html": html,
            "html_type": html_type,
            "attachments": attachments,
            "raw_lines_ok": all(len(l) <= 998 for l in envelope.original_content.split(b"\r\n")),
        }
        with open(os.path.join(folder, f"{Saver.count}.json"), "w") as out:
            json.dump(record, out)
        if mode == "stall-data":
            note("stall")
            await asyncio.sleep(3600)
        return "250 Message accepted"

    async def handle_QUIT(self, server, session, envelope):
        if mode == "stall-quit":
            note("stall")
            await asyncio.sleep(3600)
        return MISSING


def authenticate(server, session, envelope, mechanism, auth_data):
    note("login")
    ok = isinstance(auth_data, LoginPassword) and auth_data.login == b"ann" \
        and auth_data.password == b"pa55"
    return AuthResult(success=ok, auth_data=auth_data)


kwargs = {}
if mode == "auth":
    kwargs = dict(authenticator=authenticate, auth_required=True, auth_require_tls=False)
port = free_port()
controller = Controller(Saver(), hostname="127.0.0.1", port=port, **kwargs)
controller.start()
print(port, flush=True)
wait_for_stdin_to_close()
