#!/usr/bin/env bash
# Starts a throwaway PostgreSQL 15 cluster for the server tests: data folder and unix socket
# in a fresh temporary folder, TCP on a free loopback port, trust authentication, one
# database. Writes the connection details as shell assignments to the file given as $1
# (default $KUBRIX_PG_ENV, else ./pg-env.sh) and prints the file's name. As root the server
# runs as the `postgres` OS user. Stop it with scripts/pg-stop.sh <file>.
set -euo pipefail

ENV_FILE=${1:-${KUBRIX_PG_ENV:-$PWD/pg-env.sh}}
PGBIN=${KUBRIX_PG_BIN:-/usr/lib/postgresql/15/bin}
DBUSER=kubrix
DBNAME=kubrix_test

if [ ! -x "$PGBIN/initdb" ]; then
  echo "pg-start: no PostgreSQL server binaries in $PGBIN" >&2
  exit 1
fi

DRIVER=$(dpkg -L odbc-postgresql 2>/dev/null | grep '/psqlodbca\.so$' | head -n1 || true)
if [ -z "$DRIVER" ]; then
  echo "pg-start: the psqlODBC driver (odbc-postgresql) is not installed" >&2
  exit 1
fi

DIR=$(mktemp -d "${TMPDIR:-/tmp}/kubrix-pg.XXXXXX")
chmod 755 "$DIR"
RUN=()
if [ "$(id -u)" -eq 0 ]; then
  chown postgres: "$DIR"
  RUN=(runuser -u postgres --)
fi

# A free loopback port: the first one from a random start that nobody answers on.
port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
PORT=""
base=$((20000 + RANDOM % 20000))
for i in $(seq 0 200); do
  p=$((base + i))
  if ! port_in_use "$p"; then PORT=$p; break; fi
done
if [ -z "$PORT" ]; then
  echo "pg-start: no free loopback port" >&2
  rm -rf "$DIR"
  exit 1
fi

cleanup_on_failure() {
  "${RUN[@]}" "$PGBIN/pg_ctl" -D "$DIR/data" -m immediate stop >/dev/null 2>&1 || true
  cat "$DIR/server.log" >&2 2>/dev/null || true
  rm -rf "$DIR"
}
trap cleanup_on_failure ERR

# The server log is readable by the tests, which count the statements a session ran.
touch "$DIR/server.log"
chmod 644 "$DIR/server.log"
if [ "$(id -u)" -eq 0 ]; then chown postgres: "$DIR/server.log"; fi
"${RUN[@]}" "$PGBIN/initdb" -D "$DIR/data" -U "$DBUSER" -A trust -E UTF8 --locale=C.UTF-8 >"$DIR/initdb.log" 2>&1
"${RUN[@]}" "$PGBIN/pg_ctl" -D "$DIR/data" -l "$DIR/server.log" -w -t 60 \
  -o "-p $PORT -k $DIR -c listen_addresses=127.0.0.1 -c fsync=off" start >/dev/null
"${RUN[@]}" "$PGBIN/createdb" -h 127.0.0.1 -p "$PORT" -U "$DBUSER" "$DBNAME"
trap - ERR

CONNSTR="Driver=$DRIVER;Server=127.0.0.1;Port=$PORT;Database=$DBNAME;Uid=$DBUSER;Pwd=;BoolsAsChar=0;ConnSettings={SET client_encoding TO 'UTF8'}"
{
  printf 'KUBRIX_PG_DIR=%q\n' "$DIR"
  printf 'KUBRIX_PG_PORT=%q\n' "$PORT"
  printf 'KUBRIX_PG_BIN=%q\n' "$PGBIN"
  printf 'KUBRIX_PG_CONNSTR=%q\n' "$CONNSTR"
  printf 'KUBRIX_PG_LOG=%q\n' "$DIR/server.log"
  printf 'export KUBRIX_PG_DIR KUBRIX_PG_PORT KUBRIX_PG_BIN KUBRIX_PG_CONNSTR KUBRIX_PG_LOG\n'
} >"$ENV_FILE"
echo "$ENV_FILE"
