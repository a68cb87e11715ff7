#!/usr/bin/env bash
# A vsftpd on 127.0.0.1 that requires TLS, for the tests: throw-away
# configuration, root folder and certificate (all in $1, which must exist),
# and the local account "quilltls" with a new password each run. Prints
# "PORT <n> USER <u> PASS <p> ROOT <folder> PID <vsftpd>" once it listens and
# leaves vsftpd running; the caller ends it by that PID. Needs root.
set -euo pipefail
work="$1"
user=quilltls
# vsftpd reads the certificate before login and the account enters srv: both need a way in.
chmod 755 "$work"
mkdir -p "$work/srv" "$work/empty"
id "$user" >/dev/null 2>&1 || useradd --system --no-create-home --home-dir "$work/srv" --shell /bin/sh "$user"
usermod -d "$work/srv" "$user" >/dev/null 2>&1 || true
chown "$user" "$work/srv"
pass=$(head -c 18 /dev/urandom | base64 | tr -dc 'A-Za-z0-9' | head -c 16)
echo "$user:$pass" | chpasswd
[ -f "$work/cert.pem" ] ||
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
pasv=$((40000 + RANDOM % 20000))
cat > "$work/vsftpd.conf" <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$port
background=NO
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
anonymous_enable=NO
local_enable=YES
write_enable=YES
local_umask=022
local_root=$work/srv
pam_service_name=vsftpd
secure_chroot_dir=$work/empty
pasv_enable=YES
pasv_address=127.0.0.1
pasv_min_port=$pasv
pasv_max_port=$((pasv + 100))
xferlog_enable=NO
ssl_enable=YES
rsa_cert_file=$work/cert.pem
rsa_private_key_file=$work/key.pem
force_local_logins_ssl=YES
force_local_data_ssl=YES
CONF
/usr/sbin/vsftpd "$work/vsftpd.conf" > "$work/vsftpd.log" 2>&1 < /dev/null &
server=$!
for _ in $(seq 100); do
  if timeout 1 bash -c "exec 3<>/dev/tcp/127.0.0.1/$port" 2>/dev/null; then
    echo "PORT $port USER $user PASS $pass ROOT $work/srv PID $server"
    exit 0
  fi
  sleep 0.1
done
kill "$server" 2>/dev/null
echo "vsftpd did not start" >&2
exit 1
