#!/usr/bin/python3
"""A loopback FTP server for the updater's tests.

Prints "port N" once it listens and ends when its standard input closes. Reports on standard
output, one line each: "login-failed USER", "sent PATH", "incomplete PATH".

Faults, for files whose name starts with --fault-prefix:
  --cut-after N    the file ends after N bytes and the transfer is reported complete (226)
  --fail-after N   the data connection is closed after N bytes with an error reply (426)
  --stall-after N  after N bytes nothing more is sent (the whole server stops answering)
  --throttle B     at most B bytes per second on every data connection
  --fake-listing FOLDER NAME...  the listing of FOLDER shows these file names instead
  --silent         accepts connections and never says anything
"""
import argparse
import logging
import os
import socket
import sys
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def report(*words):
    print(*words, flush=True)


class FaultyFile:
    """A file that misbehaves after `limit` bytes."""

    def __init__(self, file, limit, mode):
        self._file = file
        self._left = limit
        self._mode = mode

    def read(self, size=-1):
        if self._left <= 0:
            if self._mode == "cut":
                return b""
            if self._mode == "fail":
                raise RuntimeError("injected failure")
            time.sleep(3600)
        if size < 0 or size > self._left:
            size = self._left
        data = self._file.read(size)
        self._left -= len(data)
        return data

    def __getattr__(self, name):
        return getattr(self._file, name)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root")
    parser.add_argument("--user", default="tevalo")
    parser.add_argument("--password", default="qzrkw5831")
    parser.add_argument("--throttle", type=int, default=0)
    parser.add_argument("--fault-prefix", default="")
    parser.add_argument("--cut-after", type=int)
    parser.add_argument("--fail-after", type=int)
    parser.add_argument("--stall-after", type=int)
    parser.add_argument("--fake-listing", nargs="+", default=[])
    parser.add_argument("--silent", action="store_true")
    args = parser.parse_args()

    # Ends the server, whatever it is doing, when the test lets go of it.
    def watch_stdin():
        sys.stdin.read()
        os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()

    if args.silent:
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(16)
        report("port", listener.getsockname()[1])
        held = []
        while True:
            held.append(listener.accept()[0])

    fault = None
    if args.cut_after is not None:
        fault = ("cut", args.cut_after)
    elif args.fail_after is not None:
        fault = ("fail", args.fail_after)
    elif args.stall_after is not None:
        fault = ("stall", args.stall_after)
    fake_folder = args.fake_listing[0] if args.fake_listing else None
    fake_names = args.fake_listing[1:]

    class FS(AbstractedFS):
        def open(self, filename, mode):
            file = super().open(filename, mode)
            if fault and "r" in mode and os.path.basename(filename).startswith(args.fault_prefix):
                return FaultyFile(file, fault[1], fault[0])
            return file

        def format_list(self, basedir, listing, ignore_err=True):
            if fake_folder is not None and os.path.realpath(basedir) == os.path.realpath(self.ftp2fs(fake_folder)):
                for name in fake_names:
                    yield ("-rw-r--r--   1 owner    group         100 Jan 01 00:00 %s\r\n" % name).encode("utf8")
                return
            yield from super().format_list(basedir, listing, ignore_err)

    class Handler(FTPHandler):
        auth_failed_timeout = 0.05
        banner = "test server ready."
        abstracted_fs = FS
        use_sendfile = False  # faults and throttling need every byte to pass through Python

        def on_login_failed(self, username, password):
            report("login-failed", username)

        def on_file_sent(self, file):
            report("sent", file)

        def on_incomplete_file_sent(self, file):
            report("incomplete", file)

    class Throttled(ThrottledDTPHandler):
        write_limit = args.throttle

    if args.throttle:
        Handler.dtp_handler = Throttled

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elr")
    Handler.authorizer = authorizer

    logging.getLogger("pyftpdlib").addHandler(logging.NullHandler())
    logging.getLogger("pyftpdlib").setLevel(logging.CRITICAL)
    server = FTPServer(("127.0.0.1", 0), Handler)
    report("port", server.socket.getsockname()[1])
    server.serve_forever()


if __name__ == "__main__":
    main()
