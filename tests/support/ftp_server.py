"""Loopback FTP server for the tests: pyftpdlib serving one folder read-only
to anonymous users on one or more loopback addresses.

Prints "READY <address> <port>" per address once every server listens.
Files whose name contains "refused" are never sent: RETR answers 550; folders
whose name contains "refused" are never listed: LIST and MLSD answer 550 (the
server runs as root, which reads any folder whatever its mode).
"""
import argparse
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.ioloop import IOLoop
from pyftpdlib.servers import FTPServer


class RefusingHandler(FTPHandler):
    def ftp_RETR(self, file):
        if "refused" in file.rsplit("/", 1)[-1]:
            self.respond("550 Permission denied.")
            return
        return FTPHandler.ftp_RETR(self, file)

    def _refused_folder(self, path):
        if "refused" in path.rstrip("/").rsplit("/", 1)[-1]:
            self.respond("550 Permission denied.")
            return True
        return False

    def ftp_LIST(self, path):
        if self._refused_folder(path):
            return
        return FTPHandler.ftp_LIST(self, path)

    def ftp_MLSD(self, path):
        if self._refused_folder(path):
            return
        return FTPHandler.ftp_MLSD(self, path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--address", action="append", required=True)
    args = parser.parse_args()

    for address in args.address:
        if not address.startswith("127."):
            sys.exit("loopback addresses only")

    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(args.root)
    RefusingHandler.authorizer = authorizer
    RefusingHandler.banner = "test server ready"

    ioloop = IOLoop.instance()
    servers = []
    for address in args.address:
        server = FTPServer((address, 0), RefusingHandler, ioloop=ioloop)
        servers.append(server)
        print("READY %s %d" % (address, server.address[1]), flush=True)
    ioloop.loop()


if __name__ == "__main__":
    main()
