#!/usr/bin/python3
"""A real FTP server on loopback for the tests and the demo.

Prints "PORT <n>" once it listens, then serves until killed or until its
standard input closes (so it never outlives the process that started it).
"""
import argparse
import logging
import os
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--user", default="demo")
    parser.add_argument("--password", default="demo")
    parser.add_argument("--tls-cert", help="PEM file with certificate and key: serve FTP over TLS")
    parser.add_argument("--tls-required", action="store_true", help="refuse logins without TLS")
    parser.add_argument("--tls-data-cert",
                        help="PEM file with another certificate and key for the data connections, "
                             "as a machine in the middle would show")
    parser.add_argument("--send-limit", type=int, default=0,
                        help="bytes per second a download may take (0: no limit)")
    parser.add_argument("--watch-stdin", action="store_true",
                        help="stop when standard input closes")
    args = parser.parse_args()

    logging.basicConfig(level=logging.WARNING)
    if args.tls_cert:
        from pyftpdlib.handlers import TLS_FTPHandler as base
    else:
        base = FTPHandler

    class Handler(base):
        authorizer = DummyAuthorizer()
        banner = "Quillmar test server ready."
        timeout = 120
        # A refused login is answered at once rather than after the usual pause.
        auth_failed_timeout = 0.1
        # Names that are not UTF-8 travel as their bytes, as other servers send them.
        unicode_errors = "surrogateescape"
        # Read by the TLS handler only.
        certfile = args.tls_cert
        tls_control_required = tls_data_required = args.tls_required

    Handler.authorizer.add_user(args.user, args.password, os.path.abspath(args.root), perm="elradfmwMT")
    if args.tls_data_cert:
        from OpenSSL import SSL
        from pyftpdlib.handlers import TLS_DTPHandler
        foreign = SSL.Context(Handler.ssl_protocol)
        foreign.use_certificate_chain_file(args.tls_data_cert)
        foreign.use_privatekey_file(args.tls_data_cert)

        class ForeignData(TLS_DTPHandler):
            def secure_connection(self, ssl_context):
                super().secure_connection(foreign)

        Handler.dtp_handler = ForeignData
    if args.send_limit > 0:
        class Slow(ThrottledDTPHandler):
            write_limit = args.send_limit
        Handler.dtp_handler = Slow
        Handler.use_sendfile = False  # sendfile would pass the throttle by

    server = FTPServer(("127.0.0.1", args.port), Handler)
    server.max_cons = 64
    port = server.socket.getsockname()[1]
    print("PORT %d" % port, flush=True)

    if args.watch_stdin:
        def watch():
            try:
                while sys.stdin.buffer.read(1024):
                    pass
            finally:
                os._exit(0)
        threading.Thread(target=watch, daemon=True).start()

    try:
        server.serve_forever(timeout=0.2, blocking=True, handle_exit=True)
    finally:
        server.close_all()


if __name__ == "__main__":
    main()
