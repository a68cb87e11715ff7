#!/usr/bin/python3
"""A plain SFTP version 3 server on 127.0.0.1 for the tests: no OpenSSH
extensions (so no POSIX rename: a rename onto a taken name is refused, as
the protocol's version 3 has it), password login, one folder served.

Prints "PORT <n>" once it listens and ends when its standard input closes.
--refuse-renames STATUS answers every rename with that SFTP status code
and renames nothing, as a server whose scanner took the file away (2) or
that forbids renames (3) would.
"""
import argparse
import os
import socket
import sys
import threading

import paramiko
from paramiko import SFTPAttributes, SFTPHandle, SFTPServer, SFTPServerInterface
from paramiko.sftp import SFTP_FAILURE, SFTP_OK

USER, PASSWORD = "demo", "demo"


class Login(paramiko.ServerInterface):
    def check_auth_password(self, username, password):
        ok = username == USER and password == PASSWORD
        return paramiko.AUTH_SUCCESSFUL if ok else paramiko.AUTH_FAILED

    def get_allowed_auths(self, username):
        return "password"

    def check_channel_request(self, kind, chanid):
        return paramiko.OPEN_SUCCEEDED if kind == "session" else paramiko.OPEN_FAILED_ADMINISTRATIVELY_PROHIBITED


class Handle(SFTPHandle):
    def stat(self):
        return SFTPAttributes.from_stat(os.fstat(self.readfile.fileno()))


def folder_server(root, refuse_renames):
    class Folder(SFTPServerInterface):
        def _path(self, path):
            # Every path stays inside root, whatever ".." it holds.
            return os.path.join(root, os.path.normpath("/" + path).lstrip("/"))

        def _status(self, call):
            try:
                call()
                return SFTP_OK
            except OSError as error:
                return SFTPServer.convert_errno(error.errno)

        def canonicalize(self, path):
            return os.path.normpath("/" + path)

        def list_folder(self, path):
            try:
                folder = self._path(path)
                return [SFTPAttributes.from_stat(os.lstat(os.path.join(folder, name)), name)
                        for name in os.listdir(folder)]
            except OSError as error:
                return SFTPServer.convert_errno(error.errno)

        def stat(self, path):
            try:
                return SFTPAttributes.from_stat(os.stat(self._path(path)))
            except OSError as error:
                return SFTPServer.convert_errno(error.errno)

        lstat = stat

        def open(self, path, flags, attr):
            try:
                fd = os.open(self._path(path), flags, 0o644)
                mode = "r+b" if flags & os.O_RDWR else "wb" if flags & os.O_WRONLY else "rb"
                handle = Handle(flags)
                handle.readfile = handle.writefile = os.fdopen(fd, mode)
                return handle
            except OSError as error:
                return SFTPServer.convert_errno(error.errno)

        def remove(self, path):
            return self._status(lambda: os.remove(self._path(path)))

        def rename(self, old, new):
            if refuse_renames:
                return refuse_renames
            if os.path.lexists(self._path(new)):
                return SFTP_FAILURE
            return self._status(lambda: os.rename(self._path(old), self._path(new)))

        def mkdir(self, path, attr):
            return self._status(lambda: os.mkdir(self._path(path)))

        def rmdir(self, path):
            return self._status(lambda: os.rmdir(self._path(path)))

    return Folder


def serve(connection, host_key, root, refuse_renames):
    transport = paramiko.Transport(connection)
    transport.add_server_key(host_key)
    transport.set_subsystem_handler("sftp", SFTPServer, folder_server(root, refuse_renames))
    transport.start_server(server=Login())
    while transport.is_active():
        transport.join(0.2)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--refuse-renames", type=int, default=0)
    options = parser.parse_args()
    host_key = paramiko.RSAKey.generate(2048)
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(4)
    print("PORT %d" % listener.getsockname()[1], flush=True)

    def accept():
        while True:
            connection, _ = listener.accept()
            threading.Thread(target=serve, args=(connection, host_key, options.root, options.refuse_renames),
                             daemon=True).start()

    threading.Thread(target=accept, daemon=True).start()
    sys.stdin.read()


if __name__ == "__main__":
    main()
