#!/usr/bin/env python3
"""A Motion JPEG camera for the tests: serves the given JPEG files in turn,
ten a second (or $FPS), as multipart/x-mixed-replace on 127.0.0.1, on a free port
that it prints first. It ends when its standard input closes."""
import http.server
import os
import sys
import threading
import time

frames = [open(path, "rb").read() for path in sys.argv[1:]]


class Camera(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(200)
        self.send_header("Content-Type", "multipart/x-mixed-replace; boundary=frame")
        self.end_headers()
        n = 0
        try:
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
