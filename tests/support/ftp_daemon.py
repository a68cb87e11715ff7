#!/usr/bin/python3
"""Runs one real FTP daemon (vsftpd, proftpd or pure-ftpd; vsftpd and proftpd
also requiring TLS), or OpenSSH's sshd for SFTP, on 127.0.0.1.

Needs root. Each run writes a throw-away configuration into --work, serves
--root as the home folder of a throw-away local account, prints
"PORT <n> USER <name> PASS <password>" once the daemon answers, and stops
the daemon when its standard input closes (so it never outlives the test
that started it). proftpd and pure-ftpd are unpacked from their Debian
packages into --kit on first use: installed, they would conflict with
vsftpd, and Debian would start them on port 21.
"""
import argparse
import fcntl
import glob
import os
import secrets
import shutil
import signal
import socket
import subprocess
import sys
import time

ACCOUNT = "quillinterop"
# sshd's account is its own: a session an FTP daemon is still closing keeps
# the FTP account busy for a moment after its run.
ACCOUNTS = {"sshd": "quillsftp"}
PACKAGES = {"proftpd": "proftpd-core", "pure-ftpd": "pure-ftpd"}
TLS_MODULE = ("usr/lib/proftpd/mod_tls.so", "proftpd-mod-crypto")   # proftpd's TLS, packaged apart
PROGRAMS = {"vsftpd": "/usr/sbin/vsftpd", "proftpd": "usr/sbin/proftpd", "pure-ftpd": "usr/sbin/pure-ftpd",
            "sshd": "/usr/sbin/sshd"}
GREETINGS = {"sshd": b"SSH"}   # what each daemon says first; FTP daemons say 220


def program_kind(kind):
    """The daemon a configuration kind runs ("proftpd-refusing-mlsd" runs proftpd)."""
    return next(k for k in PROGRAMS if kind == k or kind.startswith(k + "-"))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def unpack(kit, path, package):
    """kit/path, unpacked from package when it is not there yet."""
    wanted = os.path.join(kit, path)
    if os.path.exists(wanted):
        return wanted
    downloads = os.path.join(kit, "debs")
    os.makedirs(downloads, exist_ok=True)
    subprocess.run(["apt-get", "-qq", "download", package], cwd=downloads, check=True,
                   stdout=subprocess.DEVNULL)
    for deb in glob.glob(os.path.join(downloads, package + "_*.deb")):
        subprocess.run(["dpkg", "-x", deb, kit], check=True)
    if not os.path.exists(wanted):
        sys.exit("%s was not found in its package" % wanted)
    return wanted


def prepare_account(account, home, password):
    """A local account without a login shell of its own, home at root."""
    if subprocess.run(["id", account], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode:
        subprocess.run(["useradd", "--system", "--no-create-home", "--home-dir", home,
                        "--shell", "/bin/sh", account], check=True)
    # sshd is told where to start instead: a session of its last run may
    # still be ending under the account, which usermod refuses to touch.
    if account not in ACCOUNTS.values():
        subprocess.run(["usermod", "-d", home, account], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["chpasswd"], input=("%s:%s\n" % (account, password)).encode(), check=True)
    subprocess.run(["chown", "-hR", account, home], check=True)
    # The way down to the home folder must be open to the account.
    path = os.path.dirname(os.path.abspath(home))
    while path != "/":
        os.chmod(path, os.stat(path).st_mode | 0o011)
        path = os.path.dirname(path)


def vsftpd_command(program, work, root, port, pasv, tls=False):
    empty = os.path.join(work, "empty")
    os.makedirs(empty, exist_ok=True)
    conf = os.path.join(work, "vsftpd.conf")
    with open(conf, "w") as f:
        if tls:
            # TLS required on both connections; vsftpd asks by default that
            # every data connection resume the control session. It reads the
            # certificate before the login, so the work folder must be open.
            os.chmod(work, 0o755)
            key, certificate = self_signed(work)
            f.write("\n".join([
                "ssl_enable=YES", "rsa_cert_file=%s" % certificate, "rsa_private_key_file=%s" % key,
                "force_local_logins_ssl=YES", "force_local_data_ssl=YES", ""]))
        f.write("\n".join([
            "listen=YES", "listen_ipv6=NO", "listen_address=127.0.0.1", "listen_port=%d" % port,
            "background=NO", "seccomp_sandbox=NO", "isolate=NO", "isolate_network=NO",
            "anonymous_enable=NO", "local_enable=YES", "write_enable=YES", "local_umask=022",
            "local_root=%s" % root, "pam_service_name=vsftpd", "secure_chroot_dir=%s" % empty,
            "pasv_enable=YES", "pasv_address=127.0.0.1",
            "pasv_min_port=%d" % pasv, "pasv_max_port=%d" % (pasv + 100),
            "xferlog_enable=NO", "dirlist_enable=YES", "max_clients=20", ""]))
    return [program, conf]


def proftpd_command(program, work, root, port, pasv, refuse_mlsd=False, tls=False):
    conf = os.path.join(work, "proftpd.conf")
    with open(conf, "w") as f:
        f.write("\n".join([
            "ServerType standalone", "DefaultServer on", "Port %d" % port,
            "DefaultAddress 127.0.0.1", "SocketBindTight on", "UseIPv6 off", "UseReverseDNS off",
            "User nobody", "Group nogroup", "Umask 022", "AllowOverwrite on",
            "PidFile %s/proftpd.pid" % work, "ScoreboardFile %s/proftpd.scoreboard" % work,
            "DelayTable none", "WtmpLog off", "TransferLog none",
            "SystemLog %s/proftpd.log" % work,
            "AuthOrder mod_auth_unix.c", "AuthPAM off", "RequireValidShell off",
            "DefaultRoot %s" % root, "DefaultChdir %s" % root,
            "PassivePorts %d %d" % (pasv, pasv + 100), "MaxInstances 20", ""]))
        if refuse_mlsd:
            # Offers machine listings in FEAT but refuses them.
            f.write("<Limit MLSD>\n  DenyAll\n</Limit>\n")
        if tls:
            # TLS required on both connections, with mod_tls's default of
            # requiring every data connection to resume the control session.
            kit = program[:-len(PROGRAMS["proftpd"])]
            module = unpack(kit, *TLS_MODULE)
            key, certificate = self_signed(work)
            f.write("\n".join([
                "ModulePath %s" % os.path.dirname(module), "LoadModule mod_tls.c",
                "TLSEngine on", "TLSRequired on", "TLSProtocol TLSv1.2 TLSv1.3",
                "TLSRSACertificateFile %s" % certificate, "TLSRSACertificateKeyFile %s" % key,
                "TLSLog %s/tls.log" % work, ""]))
    return [program, "-n", "-q", "-c", conf]


def self_signed(work):
    """A throw-away key and certificate for 127.0.0.1 in work, readable by the daemon."""
    key, certificate = os.path.join(work, "key.pem"), os.path.join(work, "cert.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=127.0.0.1", "-keyout", key, "-out", certificate],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return key, certificate


def pure_ftpd_command(program, work, root, port, pasv):
    return [program, "-S", "127.0.0.1,%d" % port, "-l", "unix", "-E", "-H", "-A",
            "-p", "%d:%d" % (pasv, pasv + 100), "-u", "1", "-c", "20", "-C", "20"]


def sshd_command(program, work, root, port, pasv, authorized=""):
    """sshd with a throw-away host key (work/host_key, kept when there),
    passwords and the public key authorized (kept in root, which the
    account can read), serving SFTP in-process."""
    if authorized:
        shutil.copy(authorized, os.path.join(root, ".authorized_keys"))
    key = os.path.join(work, "host_key")
    if not os.path.exists(key):
        subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", key], check=True,
                       stdout=subprocess.DEVNULL)
    os.makedirs("/run/sshd", mode=0o755, exist_ok=True)
    conf = os.path.join(work, "sshd_config")
    with open(conf, "w") as f:
        f.write("\n".join([
            "Port %d" % port, "ListenAddress 127.0.0.1", "HostKey %s" % key,
            "PidFile %s/sshd.pid" % work, "PasswordAuthentication yes", "KbdInteractiveAuthentication no",
            "PubkeyAuthentication %s" % ("yes" if authorized else "no"),
            "AuthorizedKeysFile %s" % (os.path.join(root, ".authorized_keys") if authorized else "none"),
            "UsePAM no", "StrictModes no", "PermitRootLogin no",
            "Subsystem sftp internal-sftp -d %s" % root, ""]))
    return [program, "-D", "-e", "-f", conf]


COMMANDS = {
    "vsftpd": vsftpd_command,
    "vsftpd-tls": lambda *args: vsftpd_command(*args, tls=True),
    "proftpd": proftpd_command,
    "proftpd-refusing-mlsd": lambda *args: proftpd_command(*args, refuse_mlsd=True),
    "proftpd-tls": lambda *args: proftpd_command(*args, tls=True),
    "pure-ftpd": pure_ftpd_command,
    "sshd": sshd_command,
}


def wait_greeting(port, greeting, deadline):
    while time.time() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=2) as s:
                if s.recv(3) == greeting:
                    return True
        except OSError:
            pass
        time.sleep(0.1)
    return False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kind", required=True, choices=sorted(COMMANDS))
    parser.add_argument("--root", required=True)
    parser.add_argument("--work", required=True, help="a throw-away folder for configuration and logs")
    parser.add_argument("--kit", required=True, help="where unpacked daemons are kept")
    parser.add_argument("--password", default="")
    parser.add_argument("--port", type=int, default=0, help="the port to take; a free one when 0")
    parser.add_argument("--authorized-key", default="", help="sshd: a public key that may log in")
    args = parser.parse_args()
    if os.geteuid() != 0:
        sys.exit("the real FTP daemons need root")

    # One daemon at a time on this machine: they share the account, whose
    # password and home each run sets.
    lock = open("/run/quillmar-ftp-daemon.lock", "w")
    fcntl.flock(lock, fcntl.LOCK_EX)
    kind = program_kind(args.kind)
    program = unpack(args.kit, PROGRAMS[kind], PACKAGES[kind]) if kind in PACKAGES else PROGRAMS[kind]
    password = args.password or secrets.token_urlsafe(12)
    root = os.path.abspath(args.root)
    account = ACCOUNTS.get(args.kind, ACCOUNT)
    prepare_account(account, root, password)
    port = args.port or free_port()
    pasv = 40000 + secrets.randbelow(20000)
    extra = {"authorized": args.authorized_key} if args.authorized_key else {}
    command = COMMANDS[args.kind](program, args.work, root, port, pasv, **extra)
    log = open(os.path.join(args.work, "daemon.out"), "wb")
    daemon = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                              start_new_session=True)
    try:
        if not wait_greeting(port, GREETINGS.get(args.kind, b"220"), time.time() + 20):
            log.flush()
            with open(log.name, "rb") as f:
                sys.stderr.write(f.read().decode(errors="replace"))
            sys.exit("%s did not answer on port %d" % (args.kind, port))
        print("PORT %d USER %s PASS %s" % (port, account, password), flush=True)
        while sys.stdin.buffer.read(1024):
            pass
    finally:
        # The daemon's sessions end with it (sshd's leave its process group):
        # a client still connected sees its server go.
        subprocess.run(["pkill", "-TERM", "-P", str(daemon.pid)])
        os.killpg(daemon.pid, signal.SIGTERM)
        try:
            daemon.wait(5)
        except subprocess.TimeoutExpired:
            os.killpg(daemon.pid, signal.SIGKILL)
            daemon.wait()
        subprocess.run(["passwd", "-l", account], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


if __name__ == "__main__":
    main()
