#!/usr/bin/python3
"""A serial device server made of python3-serial's RFC 2217 port server
(serial.rfc2217.PortManager): it bridges a TCP port on 127.0.0.1 to the
serial device named on the command line, one client at a time.

Usage: rfc2217_port_server.py DEVICE
Prints the TCP port on its first line and ends when its standard input closes.
"""
import contextlib
import os
import socket
import sys
import threading

import serial
import serial.rfc2217


class PtyPort(serial.Serial):
    """A pseudo-terminal has no modem lines: setting them does nothing, and
    CTS seems to toggle at every look, so that the server sends its modem
    state notifications in the middle of the data."""

    _cts = False
    _update_dtr_state = _update_rts_state = lambda self: None
    dsr = ri = cd = property(lambda self: False)

    @property
    def cts(self):
        self._cts = not self._cts
        return self._cts


class Connection:
    def __init__(self, sock):
        self.sock, self.lock = sock, threading.Lock()

    def write(self, data):
        with self.lock, contextlib.suppress(OSError):
            self.sock.sendall(data)


def serve(port, sock):
    connection = Connection(sock)
    manager = serial.rfc2217.PortManager(port, connection)
    done = threading.Event()

    def device_to_network():
        while not done.is_set():
            data = port.read(port.in_waiting or 1)
            if data:
                connection.write(b"".join(manager.escape(data)))
            manager.check_modem_lines()

    reader = threading.Thread(target=device_to_network, daemon=True)
    reader.start()
    with contextlib.suppress(OSError):
        while data := sock.recv(1024):
            port.write(b"".join(manager.filter(data)))
    done.set()
    reader.join()
    sock.close()


def main():
    port = PtyPort(sys.argv[1], 9600, timeout=0.05)
    listener = socket.create_server(("127.0.0.1", 0))
    print(listener.getsockname()[1], flush=True)
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    while True:
        sock, _ = listener.accept()
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        serve(port, sock)


if __name__ == "__main__":
    main()
