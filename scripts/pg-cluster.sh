#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the tests, reachable only through a Unix socket in its folder.
#   scripts/pg-cluster.sh start <folder>   removes a cluster left at <folder>, makes a new one, starts it
#   scripts/pg-cluster.sh stop <folder>    stops it at once and removes <folder>
#   scripts/pg-cluster.sh pause <folder>   shuts it down, keeping it (a server restarted; the test
#                                          cluster commits without waiting, so a shutdown at once
#                                          would lose the last commits)
#   scripts/pg-cluster.sh resume <folder>  starts a paused one again
# The superuser is `dorvik`; every local connection is trusted but the role `dorvik_pw`'s, which
# must give its password (`secret`). Run as root, the server runs as the `postgres` user and the
# folder belongs to it.
set -euo pipefail
action=${1:-}
folder=${2:-}
if [[ ! $action =~ ^(start|stop|pause|resume)$ || -z $folder || $folder != /* ]]; then
  echo "usage: $0 start|stop|pause|resume <absolute folder>" >&2
  exit 2
fi

bindir=""
for dir in "$(pg_config --bindir 2>/dev/null || true)" $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
  if [ -n "$dir" ] && [ -x "$dir/initdb" ] && [ -x "$dir/pg_ctl" ]; then
    bindir=$dir
    break
  fi
done
if [ -z "$bindir" ]; then
  echo "no PostgreSQL server programs (initdb, pg_ctl) found: install postgresql" >&2
  exit 1
fi

# The server refuses to run as root: as root, its programs run as `postgres`.
as_server=()
[ "$(id -u)" -eq 0 ] && as_server=(runuser -u postgres --)
data=$folder/data

stop_cluster() {
  if [ -f "$data/postmaster.pid" ]; then
    (cd / && "${as_server[@]}" "$bindir/pg_ctl" stop -D "$data" -m immediate -w >/dev/null 2>&1) || true
  fi
  rm -rf "$folder"
}

if [ "$action" = stop ]; then
  stop_cluster
  exit 0
fi
if [ "$action" = pause ]; then
  (cd / && "${as_server[@]}" "$bindir/pg_ctl" stop -D "$data" -m fast -w >/dev/null)
  exit 0
fi
if [ "$action" = resume ]; then
  (cd / && "${as_server[@]}" "$bindir/pg_ctl" start -D "$data" -l "$folder/server.log" -w -s >/dev/null) ||
    { cat "$folder/server.log" >&2; exit 1; }
  exit 0
fi

stop_cluster
mkdir -p "$folder"
chmod 700 "$folder"
[ ${#as_server[@]} -gt 0 ] && chown postgres:postgres "$folder"
cd /
"${as_server[@]}" "$bindir/initdb" -D "$data" -U dorvik -E UTF8 --locale=C.UTF-8 --auth=trust >"$folder/initdb.log" 2>&1 ||
  { cat "$folder/initdb.log" >&2; exit 1; }
cat >>"$data/postgresql.conf" <<CONF
listen_addresses = ''
unix_socket_directories = '$folder'
fsync = off
synchronous_commit = off
full_page_writes = off
CONF
cat >"$data/pg_hba.conf" <<HBA
# TYPE  DATABASE  USER       METHOD
local   all       dorvik_pw  scram-sha-256
local   all       all        trust
HBA
"${as_server[@]}" "$bindir/pg_ctl" start -D "$data" -l "$folder/server.log" -w -s >/dev/null ||
  { cat "$folder/server.log" >&2; exit 1; }
"${as_server[@]}" "$bindir/psql" -X -q -v ON_ERROR_STOP=1 -h "$folder" -U dorvik -d postgres \
  -c "CREATE ROLE dorvik_pw LOGIN PASSWORD 'secret'"
