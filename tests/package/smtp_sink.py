#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""A minimal SMTP server on loopback that keeps every message it receives.

    smtp_sink.py PORT_FILE OUTPUT_FOLDER

Listens on 127.0.0.1 on a free port, writes the port to PORT_FILE, and
stores each message's DATA as OUTPUT_FOLDER/N.eml. No TLS, no AUTH: enough
for the package test to see what an installed tessalyctl sends. Ends after
two minutes without a connection, or on SIGTERM.
"""
import os
import socket
import sys


def serve(connection, folder):
    stream = connection.makefile("rwb")

    def reply(line):
        stream.write(line.encode() + b"\r\n")
        stream.flush()

    reply("220 sink.test ESMTP")
    while True:
        line = stream.readline()
        if not line:
            return
        verb = line.strip().split(b" ")[0].upper()
        if verb in (b"EHLO", b"HELO"):
            reply("250 sink.test")
        elif verb == b"DATA":
            reply("354 go ahead")
            data = b""
            while True:
                chunk = stream.readline()
                if not chunk or chunk == b".\r\n":
                    break
                data += chunk[1:] if chunk.startswith(b"..") else chunk
            number = len(os.listdir(folder)) + 1
            with open(os.path.join(folder, f"{number}.eml"), "wb") as out:
                out.write(data)
            reply("250 kept")
        elif verb == b"QUIT":
            reply("221 bye")
            return
        else:
            reply("250 ok")


def main():
    port_file, folder = sys.argv[1], sys.argv[2]
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.bind(("127.0.0.1", 0))
    server.listen(4)
    server.settimeout(120)
    with open(port_file + ".tmp", "w") as f:
        f.write(str(server.getsockname()[1]))
    os.rename(port_file + ".tmp", port_file)
    while True:
        try:
            connection, _ = server.accept()
        except socket.timeout:
            return
        with connection:
            connection.settimeout(30)
            try:
                serve(connection, folder)
            except OSError:
                pass


if __name__ == "__main__":
    main()
