"""An RFC 3161 time-stamp server on 127.0.0.1 for the signing test, answering through
`openssl ts -reply` under the configuration given.

Usage: timestamp-server.py TSA_CONFIG PORTS_FILE
Once it serves, PORTS_FILE holds two lines: the server's port, and a port bound but not
listening (a server that cannot be reached). Paths: / answers every request, /error
answers 500, /answers-once answers the first request and 500 after it.
"""
import http.server
import os
import socket
import subprocess
import sys
import tempfile

config, ports_file = sys.argv[1], sys.argv[2]
answered = {}


class TimeStampHandler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        answered[self.path] = answered.get(self.path, 0) + 1
        if self.path == "/error" or (self.path == "/answers-once" and answered[self.path] > 1):
            self.send_error(500)
            return
        with tempfile.TemporaryDirectory() as folder:
            query_file = os.path.join(folder, "query.tsq")
            reply_file = os.path.join(folder, "reply.tsr")
            with open(query_file, "wb") as f:
                f.write(query)
            done = subprocess.run(["openssl", "ts", "-reply", "-config", config, "-queryfile", query_file,
                                   "-out", reply_file], stdout=sys.stderr, stderr=sys.stderr)
            if done.returncode != 0:
                self.send_error(500)
                return
            with open(reply_file, "rb") as f:
                reply = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)


server = http.server.HTTPServer(("127.0.0.1", 0), TimeStampHandler)
# Held bound for the server's lifetime, so that no one else takes the port.
unreachable = socket.socket()
unreachable.bind(("127.0.0.1", 0))
with open(ports_file + ".new", "w") as f:
    f.write(f"{server.server_port}\n{unreachable.getsockname()[1]}\n")
os.rename(ports_file + ".new", ports_file)
server.serve_forever()
