#!/usr/bin/env bash
# Runs a command beside a throw-away PostgreSQL server whose data lives in a temporary folder and
# which listens on a Unix socket only. PINDLE_TEST_POSTGRES holds the connection string, and
# PINDLE_TEST_POSTGRES_CTL a command that stops and starts it.
set -euo pipefail

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
if [[ -z "$bin" ]]; then
    echo "with-postgres: PostgreSQL is not installed (scripts/install-deps.sh installs it)" >&2
    exit 1
fi

scratch=$(mktemp -d /tmp/pindle-pg.XXXXXX)
chmod 755 "$scratch"
as_owner=()
owner=$(id -un)
if ((EUID == 0)); then
    # PostgreSQL refuses to run as root.
    owner=postgres
    chown postgres "$scratch"
    as_owner=(runuser -u postgres --)
fi

cleanup() {
    "${as_owner[@]}" "$bin/pg_ctl" -D "$scratch/data" -m immediate stop >/dev/null 2>&1 || true
    rm -rf "$scratch"
}
trap cleanup EXIT

"${as_owner[@]}" "$bin/initdb" -D "$scratch/data" -U "$owner" --auth=trust -E UTF8 >/dev/null
"${as_owner[@]}" "$bin/pg_ctl" -D "$scratch/data" -l "$scratch/log" -w \
    -o "-c listen_addresses='' -k $scratch -c fsync=off" start >/dev/null
"${as_owner[@]}" "$bin/createdb" -h "$scratch" -U "$owner" pindle_test

export PINDLE_TEST_POSTGRES="host=$scratch user=$owner dbname=pindle_test"
# Stops and starts the server again ("stop -m fast", "start"), for tests of an outage.
cat >"$scratch/pg_ctl" <<EOF
#!/bin/sh
exec ${as_owner[*]} "$bin/pg_ctl" -D "$scratch/data" -l "$scratch/log" -w -o "-c listen_addresses='' -k $scratch -c fsync=off" "\$@"
EOF
chmod 755 "$scratch/pg_ctl"
export PINDLE_TEST_POSTGRES_CTL="$scratch/pg_ctl"
status=0
"$@" || status=$?
exit "$status"
