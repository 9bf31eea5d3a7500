#!/usr/bin/env python3
"""A Motion JPEG camera for the tests: serves the given JPEG files in turn,
ten a second (or $FPS), as multipart/x-mixed-replace on 127.0.0.1, on a free port
that it prints first; with --endless instead, one part that begins as a JPEG
picture and goes on for 200 MB without its end marker. It ends when its
standard input closes."""
import http.server
import os
import sys
import threading
import time

endless = sys.argv[1:] == ["--endless"]
frames = [] if endless else [open(path, "rb").read() for path in sys.argv[1:]]


class Camera(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(200)
        self.send_header("Content-Type", "multipart/x-mixed-replace; boundary=frame")
        self.end_headers()
        n = 0
        try:
            if endless:
                self.wfile.write(b"--frame\r\nContent-Type: image/jpeg\r\n\r\n\xff\xd8")
                for _ in range(200 * 16):
                    self.wfile.write(bytes(65536))
                time.sleep(3600)  # the part is still not over
            while True:
                jpeg = frames[n % len(frames)]
                self.wfile.write(b"--frame\r\nContent-Type: image/jpeg\r\n")
                self.wfile.write(b"Content-Length: %d\r\n\r\n" % len(jpeg) + jpeg + b"\r\n")
                n += 1
                time.sleep(1 / float(os.environ.get("FPS", "10")))
        except OSError:
            pass

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Camera)
server.daemon_threads = True
print(server.server_address[1], flush=True)
threading.Thread(target=server.serve_forever, daemon=True).start()
sys.stdin.read()
