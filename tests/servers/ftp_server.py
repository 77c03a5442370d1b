#!/usr/bin/python3
"""An anonymous FTP server for tests: serves a directory on 127.0.0.1 with
passive data connections, with faults for the listings and transfers a client
must survive.

Prints the port it listens on as the first line of standard output, then
serves until it is terminated.

  --port N              port to listen on; 0 (the default) picks a free one
  --root DIR            directory served as "/" (default: the current one)
  --break NAME=BYTES    a RETR of a file named NAME ends after BYTES bytes,
                        the data connection closing early (repeatable)
  --list-format F       LIST answers in "unix" (ls -l, the default) or
                        "dos" (the IIS style) format
  --no-mlsd             the server does not know MLSD (nor offers MLST)
  --list-extra NAME=SIZE  LIST and MLSD report one more file entry NAME of
                        SIZE bytes after the real entries (repeatable, so a
                        name can be reported twice)
  --log FILE            appends "connect" per control connection and each
                        command received ("RETR name") to FILE
"""

import argparse
import logging
import os
import sys
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler, proto_cmds
from pyftpdlib.servers import FTPServer


class BrokenFile:
    """A file object that ends after limit bytes, for a transfer that breaks off."""

    def __init__(self, real, limit):
        self._real = real
        self._left = limit
        self.name = real.name
        self.closed = False

    def read(self, size=-1):
        if self._left <= 0:
            return b""
        if size < 0 or size > self._left:
            size = self._left
        data = self._real.read(size)
        self._left -= len(data)
        return data

    def seek(self, *args):
        return self._real.seek(*args)

    def tell(self):
        return self._real.tell()

    def close(self):
        self.closed = True
        self._real.close()


class FaultFS(AbstractedFS):
    # Set by main().
    breaks = {}
    list_format = "unix"
    extras = []

    def open(self, filename, mode):
        real = super().open(filename, mode)
        limit = self.breaks.get(os.path.basename(filename))
        if limit is not None and "r" in mode:
            return BrokenFile(real, limit)
        return real

    def format_list(self, basedir, listing, ignore_err=True):
        if self.list_format == "dos":
            lines = self._dos_lines(basedir, listing)
        else:
            lines = super().format_list(basedir, listing, ignore_err)
        yield from lines
        if len(listing) != 1 or self.isdir(basedir):
            for name, size in self.extras:
                if self.list_format == "dos":
                    line = "01-15-20  03:45PM %20d %s\r\n" % (size, name)
                else:
                    line = "-rw-r--r--   1 owner    group    %8d Jan 15 15:45 %s\r\n" % (size, name)
                yield line.encode("utf8")

    def _dos_lines(self, basedir, listing):
        for name in listing:
            path = os.path.join(basedir, name)
            try:
                st = self.lstat(path)
            except OSError:
                continue
            stamp = time.strftime("%m-%d-%y  %I:%M%p", time.gmtime(st.st_mtime))
            if self.isdir(path):
                line = "%s       <DIR>          %s\r\n" % (stamp, name)
            else:
                line = "%s %20d %s\r\n" % (stamp, st.st_size, name)
            yield line.encode("utf8")

    def format_mlsx(self, basedir, listing, perms, facts, ignore_err=True):
        yield from super().format_mlsx(basedir, listing, perms, facts, ignore_err)
        if len(listing) != 1 or self.isdir(basedir):
            for name, size in self.extras:
                yield ("type=file;size=%d;modify=20200115154500; %s\r\n" % (size, name)).encode("utf8")


class LoggingHandler(FTPHandler):
    log_path = None

    def _log(self, text):
        if self.log_path:
            with open(self.log_path, "a", encoding="utf-8") as log:
                log.write(text + "\n")

    def on_connect(self):
        self._log("connect")

    def pre_process_command(self, line, cmd, arg):
        self._log(("%s %s" % (cmd, arg)).rstrip() if arg else cmd)
        return super().pre_process_command(line, cmd, arg)


def pairs(items, parser, what, convert):
    result = []
    for item in items:
        name, _, value = item.rpartition("=")
        try:
            result.append((name, convert(value)))
        except ValueError:
            parser.error("%s wants NAME=NUMBER" % what)
        if not name:
            parser.error("%s wants NAME=NUMBER" % what)
    return result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--root", default=".")
    parser.add_argument("--break", dest="breaks", action="append", default=[])
    parser.add_argument("--list-format", choices=("unix", "dos"), default="unix")
    parser.add_argument("--no-mlsd", action="store_true")
    parser.add_argument("--list-extra", action="append", default=[])
    parser.add_argument("--log")
    args = parser.parse_args()

    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(os.path.abspath(args.root))
    FaultFS.breaks = dict(pairs(args.breaks, parser, "--break", int))
    FaultFS.list_format = args.list_format
    FaultFS.extras = pairs(args.list_extra, parser, "--list-extra", int)

    handler = LoggingHandler
    handler.authorizer = authorizer
    handler.abstracted_fs = FaultFS
    handler.log_path = args.log
    handler.banner = "test server ready."
    if args.no_mlsd:
        handler.proto_cmds = {k: v for k, v in proto_cmds.items() if k not in ("MLSD", "MLST")}

    logging.basicConfig(level=logging.CRITICAL)  # quiet: tests read results
    try:
        server = FTPServer(("127.0.0.1", args.port), handler)
    except OSError as error:
        print("cannot listen on 127.0.0.1:%d: %s" % (args.port, error), file=sys.stderr)
        return 1
    print(server.address[1], flush=True)
    try:
        server.serve_forever(handle_exit=True)
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
