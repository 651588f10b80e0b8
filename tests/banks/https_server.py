#!/usr/bin/env python3
"""A throw-away HTTPS server on 127.0.0.1 for the hosted-bank tests.

Usage: https_server.py OPENSSL WORK

Makes a certificate for 127.0.0.1 as WORK/cert.pem (key WORK/key.pem),
serves WORK/served on a free port, writes the port to WORK/port, and serves
until killed or until its standard input closes (the test that started it
has gone). Besides plain files it answers:
  /redirect/<scheme>/<name>  302 to <scheme>://127.0.0.1:<port>/<name>
  /stall                     headers, then silence
"""
import functools
import http.server
import os
import ssl
import subprocess
import sys
import threading
import time


class Handler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        if self.path.startswith("/redirect/"):
            scheme, _, name = self.path[len("/redirect/"):].partition("/")
            port = self.server.server_address[1]
            self.send_response(302)
            self.send_header("Location", f"{scheme}://127.0.0.1:{port}/{name}")
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif self.path == "/stall":
            self.send_response(200)
            self.send_header("Content-Length", "1000")
            self.end_headers()
            self.wfile.flush()
            time.sleep(60)
        else:
            super().do_GET()

    def log_message(self, *args):
        pass


def main():
    openssl, work = sys.argv[1:3]
    cert, key = os.path.join(work, "cert.pem"), os.path.join(work, "key.pem")
    subprocess.run([openssl, "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:prime256v1", "-nodes", "-days", "1",
                    "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                    "-keyout", key, "-out", cert], check=True, capture_output=True)
    served = os.path.join(work, "served")
    os.makedirs(served, exist_ok=True)
    server = http.server.ThreadingHTTPServer(
        ("127.0.0.1", 0), functools.partial(Handler, directory=served))
    server.daemon_threads = True
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    # Written whole under another name, so the test never reads half a port.
    with open(os.path.join(work, "port.part"), "w") as port:
        port.write(f"{server.server_address[1]}\n")
    os.rename(os.path.join(work, "port.part"), os.path.join(work, "port"))

    def exit_with_parent():
        sys.stdin.read()
        os._exit(0)

    threading.Thread(target=exit_with_parent, daemon=True).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
