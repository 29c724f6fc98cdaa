#!/usr/bin/env bash
# For tests that must stop and start a server: a PostgreSQL server of their
# own in DIR on 127.0.0.1:PORT, database feeoffice_test, user feeoffice.
# Usage: pg-private-server.sh start|restart|stop DIR PORT
set -euo pipefail
what=$1 dir=$2 port=$3
bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -n "$bindir" ] && [ -x "$bindir/initdb" ] || exit 1
runas=()
if [ "$(id -u)" -eq 0 ]; then
  runas=(runuser -u postgres --)
fi
ctl() { "${runas[@]}" "$bindir/pg_ctl" -D "$dir/pg/data" "$@"; }
case $what in
start)
  mkdir -p "$dir/pg"
  chmod 755 "$dir" "$dir/pg"
  [ "$(id -u)" -eq 0 ] && chown postgres:postgres "$dir/pg"
  "${runas[@]}" "$bindir/initdb" -D "$dir/pg/data" -U feeoffice -A trust -E UTF8 >/dev/null
  ctl -w -l "$dir/pg/log" -o "-c listen_addresses=127.0.0.1 -p $port -k $dir/pg -c fsync=off" \
    start >/dev/null
  "${runas[@]}" "$bindir/createdb" -h 127.0.0.1 -p "$port" -U feeoffice feeoffice_test
  ;;
restart) ctl -w -m fast restart >/dev/null ;;
stop) [ -d "$dir/pg/data" ] && ctl -m immediate stop >/dev/null 2>&1 || true ;;
esac
