"""python -m quorbel_torso.view [torso.json] [--host HOST] [--port PORT]

Serves the torso (the example torso without a file) in the browser until
interrupted. Exit status 2, with one line on stderr, for a torso file that
does not read or a port that is taken."""

import argparse
import errno
import socket
import sys
import time
from typing import List, NoReturn, Optional

from quorbel_torso import Torso

DEFAULT_PORT = 8080


def fail(message: str) -> NoReturn:
    print(f"quorbel_torso.view: {message}", file=sys.stderr)
    raise SystemExit(2)


def read_torso(path: Optional[str]) -> Torso:
    if path is None:
        return Torso.example()
    try:
        with open(path, encoding="utf-8") as file:
            text = file.read()
    except (OSError, UnicodeDecodeError) as error:
        fail(f"cannot read {path}: {error}")
    try:
        return Torso.from_json(text)
    except ValueError as error:
        fail(f"{path}: {error}")


def check_port_free(host: str, port: int) -> None:
    """Fail before serving when the port is taken: viser itself would move
    on to the next free port, and the user would look at the wrong one."""
    family = socket.AF_INET6 if ":" in host else socket.AF_INET
    with socket.socket(family, socket.SOCK_STREAM) as probe:
        # As the server binds it, so that a port left in TIME_WAIT counts as free.
        probe.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            probe.bind((host, port))
        except OSError as error:
            if error.errno == errno.EADDRINUSE:
                fail(f"port {port} on {host} is already in use; pick another with --port")
            fail(f"cannot listen on {host} port {port}: {error.strerror}")


def port_number(text: str) -> int:
    port = int(text)
    if not 0 < port < 65536:
        raise argparse.ArgumentTypeError(f"{text} is not a port number (1 to 65535)")
    return port


def main(argv: Optional[List[str]] = None) -> None:
    parser = argparse.ArgumentParser(
        prog="python -m quorbel_torso.view",
        description="Show a torso's arms and neck in the browser.")
    parser.add_argument("torso_json", nargs="?", help="a torso.json file (default: the example)")
    parser.add_argument("--host", default="127.0.0.1",
                        help="address to serve on (default 127.0.0.1, this machine only)")
    parser.add_argument("--port", type=port_number, default=DEFAULT_PORT,
                        help=f"port to serve on (default {DEFAULT_PORT})")
    args = parser.parse_args(argv)
    torso = read_torso(args.torso_json)
    check_port_free(args.host, args.port)
    try:
        from quorbel_torso.view.app import serve
    except ImportError as missing:
        fail(f"the viewer needs viser ({missing}): pip install 'quorbel_torso_kinematics[view]'")
    server = serve(torso, args.host, args.port)
    if server.get_port() != args.port:
        server.stop()
        fail(f"port {args.port} on {args.host} is already in use; pick another with --port")
    print(f"Serving the torso at http://{args.host}:{args.port} (Ctrl-C to stop)", flush=True)
    try:
        while True:
            time.sleep(3600)
    except KeyboardInterrupt:
        server.stop()


if __name__ == "__main__":
    main()
