"""An FTP server for the tests on 127.0.0.1 at a port of the system's choosing (pyftpdlib).

Prints "listening 127.0.0.1:<port>" once it accepts connections and serves until it is terminated.
  --root DIR            the user's home folder (must exist)
  --user NAME --password TEXT
  --cert PEM --key PEM  explicit TLS, required on control and data connections
  --read-limit BYTES    the server reads uploads at most this fast (bytes per second)
"""
import argparse
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--read-limit", type=int, default=0)
    args = parser.parse_args()

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")

    if args.cert:
        from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler

        class EarlyHandshakeDTPHandler(TLS_DTPHandler):
            # libcurl starts TLS on a data connection as soon as it is connected, before it sends STOR;
            # pyftpdlib would take that early ClientHello for a closed connection and drop it.
            def readable(self):
                if self._ssl_accepting:
                    return True
                return super().readable()

        handler = TLS_FTPHandler
        handler.dtp_handler = EarlyHandshakeDTPHandler
        handler.certfile = args.cert
        handler.keyfile = args.key
        handler.tls_control_required = True
        handler.tls_data_required = True
    else:
        handler = FTPHandler
    if args.read_limit > 0:
        dtp = ThrottledDTPHandler
        dtp.read_limit = args.read_limit
        handler.dtp_handler = dtp
    handler.authorizer = authorizer
    handler.banner = "parcelmoor test server"

    server = FTPServer(("127.0.0.1", 0), handler)
    print("listening 127.0.0.1:%d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    sys.exit(main())
