#!/ usr / bin / env python3
"""A loopback HTTP server for the set-up tests: serves the files under ROOT
by their path. Beside a path, PATH.redirect holds a target to answer 302
with, and PATH.slow a number of seconds to wait before closing without an
answer. Prints its port on the first line of its output once it listens."""
import http.server
import os
import sys
import time

ROOT = os.path.abspath(sys.argv[1])


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        path = os.path.normpath(os.path.join(ROOT, self.path.split("?")[0].lstrip("/")))
        if not path.startswith(ROOT + os.sep):
            self.send_error(403)
            return
        if os.path.isfile(path + ".slow"):
            with open(path + ".slow") as f:
                time.sleep(float(f.read()))
            self.close_connection = True
            return
        if os.path.isfile(path + ".redirect"):
            with open(path + ".redirect") as f:
                target = f.read().strip()
            self.send_response(302)
            self.send_header("Location", target)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if not os.path.isfile(path):
            self.send_error(404)
            return
        with open(path, "rb") as f:
            body = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/xml")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
print(server.server_address[1], flush=True)
server.serve_forever()
