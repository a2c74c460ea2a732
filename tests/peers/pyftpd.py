#!/usr/bin/python3
"""A private pyftpdlib server on 127.0.0.1 for end-to-end tests.

usage: pyftpd.py DIR   serves DIR/root to one user whose password is new each run; once it
                       listens, DIR/ready holds "PORT USER PASSWORD".
"""
import logging
import os
import secrets
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    directory = os.path.abspath(sys.argv[1])
    root = os.path.join(directory, "root")
    os.makedirs(root, exist_ok=True)
    password = secrets.token_hex(12)
    authorizer = DummyAuthorizer()
    authorizer.add_user("tester", password, root, perm="elradfmwMT")
    handler = FTPHandler
    handler.authorizer = authorizer
    logging.basicConfig(filename=os.path.join(directory, "pyftpd.log"), level=logging.INFO)
    server = FTPServer(("127.0.0.1", 0), handler)
    port = server.socket.getsockname()[1]
    ready = os.path.join(directory, "ready")
    with open(ready + ".tmp", "w") as out:
        out.write(f"{port} tester {password}\n")
    os.rename(ready + ".tmp", ready)
    server.serve_forever()


main()
