#!/usr/bin/python3
"""The local operator: the web and FTP servers a client build talks to.

Serves WEBDIR over HTTP at /patch/NAME (the gate file, the notices, the patch
list) and FTPDIR over anonymous FTP as /pub/corvanth/QelPatch (the patch
files), both on 127.0.0.1 only. Prints one "ready" line when both listen and
runs until it receives SIGTERM or SIGINT.

Run it with Debian's /usr/bin/python3, which has pyftpdlib.
"""

import argparse
import http.server
import os
import shutil
import signal
import sys
import tempfile
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

WEB_PREFIX = "/patch/"
FTP_PATCH_DIR = ("pub", "corvanth", "QelPatch")


def make_web_handler(web_dir):
    class WebHandler(http.server.SimpleHTTPRequestHandler):
        def file_name(self):
            path = self.path.split("?", 1)[0].split("#", 1)[0]
            if not path.startswith(WEB_PREFIX):
                return None
            name = path[len(WEB_PREFIX):]
            # Plain file names only: nothing outside WEBDIR is reachable.
            if not name or "/" in name or "\0" in name or name in (".", ".."):
                return None
            return name

        def send_head(self):
            name = self.file_name()
            if name is None or not os.path.isfile(os.path.join(web_dir, name)):
                self.send_error(404, "File not found")
                return None
            return super().send_head()

        def translate_path(self, path):
            return os.path.join(web_dir, self.file_name() or "")

        def list_directory(self, path):
            self.send_error(404, "File not found")
            return None

        def end_headers(self):
            self.send_header("Cache-Control", "no-cache, no-store")
            super().end_headers()

        def log_message(self, fmt, *args):
            if not self.server.quiet:
                sys.stderr.write("web: %s\n" % (fmt % args))

    return WebHandler


def make_ftp_handler(root, ftp_dir):
    ftp_real = os.path.realpath(ftp_dir)

    class PatchFS(AbstractedFS):
        # The patch directory is a link out of the skeleton root; allow it.
        def validpath(self, path):
            real = os.path.realpath(path)
            for base in (os.path.realpath(self.root), ftp_real):
                if real == base or real.startswith(base + os.sep):
                    return True
            return False

    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(root, perm="elr")

    class Handler(FTPHandler):
        pass

    Handler.authorizer = authorizer
    Handler.abstracted_fs = PatchFS
    Handler.banner = "local operator ready"
    return Handler


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("web_dir", metavar="WEBDIR")
    parser.add_argument("ftp_dir", metavar="FTPDIR")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--web-port", type=int, default=18080)
    parser.add_argument("--ftp-port", type=int, default=18021)
    parser.add_argument("--quiet", action="store_true", help="no request log")
    args = parser.parse_args()

    for d in (args.web_dir, args.ftp_dir):
        if not os.path.isdir(d):
            sys.exit("operator: %s: no such directory" % d)
    if args.host not in ("127.0.0.1", "localhost", "::1"):
        sys.exit("operator: serves the loopback interface only")
    web_dir = os.path.abspath(args.web_dir)
    ftp_dir = os.path.abspath(args.ftp_dir)

    if args.quiet:
        import logging
        log = logging.getLogger("pyftpdlib")
        log.addHandler(logging.StreamHandler())
        log.setLevel(logging.WARNING)
        log.propagate = False

    # The FTP root is a skeleton whose patch directory links to FTPDIR.
    root = tempfile.mkdtemp(prefix="corvanth-ftp-root-")
    parent = os.path.join(root, *FTP_PATCH_DIR[:-1])
    os.makedirs(parent)
    os.symlink(ftp_dir, os.path.join(parent, FTP_PATCH_DIR[-1]))

    try:
        try:
            web = http.server.ThreadingHTTPServer((args.host, args.web_port),
                                                  make_web_handler(web_dir))
        except OSError as e:
            sys.exit("operator: web port %d: %s" % (args.web_port, e.strerror))
        web.quiet = args.quiet
        try:
            ftp = FTPServer((args.host, args.ftp_port),
                            make_ftp_handler(root, ftp_dir))
        except OSError as e:
            web.server_close()
            sys.exit("operator: FTP port %d: %s" % (args.ftp_port, e.strerror))

        def stop(signum, frame):
            raise KeyboardInterrupt

        signal.signal(signal.SIGTERM, stop)
        threading.Thread(target=web.serve_forever, daemon=True).start()
        print("ready: web http://%s:%d%s  ftp ftp://%s:%d/%s" %
              (args.host, web.server_address[1], WEB_PREFIX, args.host,
               ftp.address[1], "/".join(FTP_PATCH_DIR)), flush=True)
        try:
            ftp.serve_forever(handle_exit=False)
        except KeyboardInterrupt:
            pass
        finally:
            ftp.close_all()
            web.shutdown()
            web.server_close()
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
