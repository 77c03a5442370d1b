#!/usr/bin/python3
"""A web server for tests: serves a directory under a URL prefix on 127.0.0.1,
with fault modes for the answers a client must survive.

Prints the port it listens on as the first line of standard output, then
serves until it is terminated.

  --port N          port to listen on; 0 (the default) picks a free one
  --root DIR        directory to serve (default: the current directory)
  --prefix /patch   URL prefix mapped onto DIR (default: none, DIR is "/")
  --fault PATH=MODE answer the URL path PATH with fault MODE (repeatable)
  --request-log F   append "METHOD<TAB>PATH<TAB>USER-AGENT" per request to F

Every path /fault/MODE/ANYTHING answers with fault MODE as well. Modes:
  not-found   404 with a 120-byte page and Content-Length 120
  chunked     200, chunked, no Content-Length, 500 bytes of body
  drop        Content-Length 500, 300 bytes, then the connection is closed
  bad-length  Content-Length "abc", 500 bytes, then the connection is closed
  empty       200, Content-Length 0, no body
The 500-byte bodies are BODY below: the alphabet repeated.
"""

import argparse
import http.server
import os
import posixpath
import sys
import threading
import urllib.parse

BODY = (b"abcdefghijklmnopqrstuvwxyz" * 20)[:500]
NOT_FOUND_PAGE = (b"<html><body><h1>404 Not Found</h1></body></html>\n" + b"." * 120)[:119] + b"\n"
MODES = ("not-found", "chunked", "drop", "bad-length", "empty")


class Handler(http.server.SimpleHTTPRequestHandler):
    # Set by main().
    prefix = ""
    faults = {}
    request_log = None
    log_lock = threading.Lock()

    def log_message(self, format, *args):
        pass  # quiet: tests read results, not server chatter

    def do_GET(self):
        self._record()
        mode = self._fault_mode()
        if mode is not None:
            self._answer_fault(mode)
            return
        if not self._under_prefix():
            self.send_error(404)
            return
        super().do_GET()

    def do_HEAD(self):
        self._record()
        if not self._under_prefix():
            self.send_error(404)
            return
        super().do_HEAD()

    def _under_prefix(self):
        path = urllib.parse.urlsplit(self.path).path
        return not self.prefix or path.startswith(self.prefix + "/")

    def _record(self):
        if not self.request_log:
            return
        agent = self.headers.get("User-Agent", "")
        with self.log_lock, open(self.request_log, "a", encoding="utf-8") as log:
            log.write("%s\t%s\t%s\n" % (self.command, self.path, agent))

    def _fault_mode(self):
        path = urllib.parse.urlsplit(self.path).path
        if path in self.faults:
            return self.faults[path]
        parts = path.split("/")
        if len(parts) >= 3 and parts[1] == "fault" and parts[2] in MODES:
            return parts[2]
        return None

    def _answer_fault(self, mode):
        if mode == "not-found":
            self.send_response(404)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(NOT_FOUND_PAGE)))
            self.end_headers()
            self.wfile.write(NOT_FOUND_PAGE)
        elif mode == "chunked":
            self.protocol_version = "HTTP/1.1"
            self.send_response(200)
            self.send_header("Transfer-Encoding", "chunked")
            self.send_header("Connection", "close")
            self.end_headers()
            for start in range(0, len(BODY), 128):
                piece = BODY[start:start + 128]
                self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
            self.wfile.write(b"0\r\n\r\n")
        elif mode == "drop":
            self.send_response(200)
            self.send_header("Content-Length", str(len(BODY)))
            self.end_headers()
            self.wfile.write(BODY[:300])
            self.wfile.flush()
        elif mode == "bad-length":
            self.send_response(200)
            self.send_header("Content-Length", "abc")
            self.end_headers()
            self.wfile.write(BODY)
        elif mode == "empty":
            self.send_response(200)
            self.send_header("Content-Length", "0")
            self.end_headers()
        self.close_connection = True

    def translate_path(self, path):
        # URLs under the prefix map into the root (do_GET refuses the rest).
        path = urllib.parse.urlsplit(path).path
        if self.prefix and path.startswith(self.prefix + "/"):
            path = path[len(self.prefix):]
        path = posixpath.normpath(urllib.parse.unquote(path))
        result = self.directory
        for word in path.split("/"):
            if word and word not in (os.curdir, os.pardir):
                result = os.path.join(result, word)
        return result

    def copyfile(self, source, outputfile):
        # sendfile keeps the server out of the way of the client it measures.
        try:
            self.connection.sendfile(source)
        except (BrokenPipeError, ConnectionResetError):
            pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--root", default=".")
    parser.add_argument("--prefix", default="")
    parser.add_argument("--fault", action="append", default=[])
    parser.add_argument("--request-log")
    args = parser.parse_args()

    faults = {}
    for item in args.fault:
        path, _, mode = item.rpartition("=")
        if not path or mode not in MODES:
            parser.error("--fault wants PATH=MODE with MODE one of " + ", ".join(MODES))
        faults[path] = mode
    Handler.prefix = args.prefix.rstrip("/")
    Handler.faults = faults
    Handler.request_log = args.request_log
    root = os.path.abspath(args.root)

    def make_handler(*handler_args, **handler_kwargs):
        return Handler(*handler_args, directory=root, **handler_kwargs)

    http.server.ThreadingHTTPServer.allow_reuse_address = True
    http.server.ThreadingHTTPServer.daemon_threads = True
    try:
        server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), make_handler)
    except OSError as error:
        print("cannot listen on 127.0.0.1:%d: %s" % (args.port, error), file=sys.stderr)
        return 1
    print(server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
