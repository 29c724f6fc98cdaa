#!/usr/bin/env bash
# Sourced by test.sh: a PostgreSQL server in a temporary directory on
# 127.0.0.1, for the tests only. Exports FEEOFFICE_TEST_PG_* when it runs.
pg_test_server_start() {
  local bindir
  bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
  [ -n "$bindir" ] && [ -x "$bindir/initdb" ] || return 1
  PG_TEST_DIR=$(mktemp -d /tmp/feeoffice-pg.XXXXXX)
  chmod 755 "$PG_TEST_DIR"
  # A port of its own, so that two test runs on one machine do not meet.
  local port=${FEEOFFICE_TEST_PG_PORT:-$((50000 + RANDOM % 10000))}
  local runas=()
  if [ "$(id -u)" -eq 0 ]; then
    chown postgres:postgres "$PG_TEST_DIR"
    runas=(runuser -u postgres --)
  fi
  "${runas[@]}" "$bindir/initdb" -D "$PG_TEST_DIR/data" -U feeoffice -A trust -E UTF8 >/dev/null || return 1
  "${runas[@]}" "$bindir/pg_ctl" -D "$PG_TEST_DIR/data" -w -l "$PG_TEST_DIR/log" \
    -o "-c listen_addresses=127.0.0.1 -p $port -k $PG_TEST_DIR -c fsync=off" start >/dev/null || return 1
  "${runas[@]}" "$bindir/createdb" -h 127.0.0.1 -p "$port" -U feeoffice feeoffice_test || return 1
  export FEEOFFICE_TEST_PG_HOST=127.0.0.1 FEEOFFICE_TEST_PG_PORT=$port
  export FEEOFFICE_TEST_PG_USER=feeoffice FEEOFFICE_TEST_PG_DB=feeoffice_test
  PG_TEST_BINDIR=$bindir
  PG_TEST_RUNAS=("${runas[@]}")
  echo "PostgreSQL test server on 127.0.0.1:$port" >&2
}

pg_test_server_stop() {
  # A start that failed half-way (a port taken, initdb refused) leaves its
  # folder and perhaps a server, but not every variable: clean up anyway.
  if [ -n "${PG_TEST_DIR:-}" ] && [ -d "$PG_TEST_DIR" ]; then
    local bindir=${PG_TEST_BINDIR:-$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)}
    local runas=()
    if [ "$(id -u)" -eq 0 ]; then
      runas=(runuser -u postgres --)
    fi
    if [ -d "$PG_TEST_DIR/data" ] && [ -n "$bindir" ]; then
      "${runas[@]}" "$bindir/pg_ctl" -D "$PG_TEST_DIR/data" -m immediate stop >/dev/null 2>&1 || true
    fi
    rm -rf "$PG_TEST_DIR"
  fi
}
