#!/usr/bin/env bash
# The Apache Tika server for the integration tests and for trying the document comparison by hand.
#
#   tika-server.sh fetch        downloads tika-server-standard once (Maven Central, via mvn) into the
#                               cache and prints the jar's path; later calls reuse the cache
#   tika-server.sh path         prints the cached jar's path, fails when there is none
#   tika-server.sh start [PORT] starts the server on 127.0.0.1:PORT (default 9998) in the background
#                               and waits until it answers
#   tika-server.sh stop  [PORT] stops a server started by "start"
#
# The cache is ${QUORLANE_TIKA_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorlane/tika}.
set -euo pipefail

# Versions tried in turn; the first that resolves is kept.
VERSIONS=(3.2.2 3.2.3 3.1.0 3.0.0)

cache_dir() {
    if [ -n "${QUORLANE_TIKA_CACHE:-}" ]; then
        echo "$QUORLANE_TIKA_CACHE"
    elif [ -n "${XDG_CACHE_HOME:-}" ] || [ -n "${HOME:-}" ]; then
        echo "${XDG_CACHE_HOME:-$HOME/.cache}/quorlane/tika"
    else
        echo "$(cd "$(dirname "$0")/.." && pwd)/.cache/tika"
    fi
}

cached_jar() {
    local dir jar
    dir="$(cache_dir)"
    for v in "${VERSIONS[@]}"; do
        jar="$dir/tika-server-standard-$v.jar"
        if [ -s "$jar" ]; then echo "$jar"; return 0; fi
    done
    return 1
}

fetch() {
    if cached_jar; then return 0; fi
    if ! command -v mvn >/dev/null 2>&1; then
        echo "tika-server.sh: mvn not found; cannot fetch the Tika server" >&2
        return 1
    fi
    local dir work
    dir="$(cache_dir)"
    mkdir -p "$dir"
    work="$(mktemp -d "$dir/.fetch.XXXXXX")"
    for v in "${VERSIONS[@]}"; do
        # Run in an empty folder so no project pom around us gets in the way.
        if (cd "$work" && timeout 900 mvn -q -B -ntp dependency:copy \
                -Dartifact="org.apache.tika:tika-server-standard:$v" \
                -DoutputDirectory="$work" </dev/null >"$work/mvn.log" 2>&1) \
           && [ -s "$work/tika-server-standard-$v.jar" ]; then
            mv -f "$work/tika-server-standard-$v.jar" "$dir/tika-server-standard-$v.jar"
            rm -rf "$work"
            echo "$dir/tika-server-standard-$v.jar"
            return 0
        fi
        echo "tika-server.sh: tika-server-standard $v did not resolve" >&2
    done
    echo "tika-server.sh: no tika-server-standard version could be fetched; last Maven output:" >&2
    tail -n 5 "$work/mvn.log" >&2 || true
    rm -rf "$work"
    return 1
}

# True when GET /version on 127.0.0.1:PORT answers 200.
answers() {
    local status
    status="$( (exec 3<>"/dev/tcp/127.0.0.1/$1" && printf 'GET /version HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n' >&3 \
                && timeout 5 head -n 1 <&3) 2>/dev/null)" || return 1
    [[ "$status" == *" 200"* ]]
}

pid_file() { echo "$(cache_dir)/server-$1.pid"; }

start() {
    local port="${1:-9998}" jar pid
    jar="$(fetch)"
    command -v java >/dev/null 2>&1 || { echo "tika-server.sh: java not found" >&2; return 1; }
    if [ -f "$(pid_file "$port")" ] && kill -0 "$(cat "$(pid_file "$port")")" 2>/dev/null; then
        echo "tika-server.sh: already running on port $port (pid $(cat "$(pid_file "$port")"))" >&2
        return 0
    fi
    # -noFork: one process, so stopping it leaves nothing behind.
    nohup java -jar "$jar" -noFork -h 127.0.0.1 -p "$port" >"$(cache_dir)/server-$port.log" 2>&1 &
    pid=$!
    echo "$pid" >"$(pid_file "$port")"
    for _ in $(seq 1 180); do
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "tika-server.sh: the server exited; see $(cache_dir)/server-$port.log" >&2
            rm -f "$(pid_file "$port")"
            return 1
        fi
        if answers "$port"; then
            echo "Tika server running on 127.0.0.1:$port (pid $pid)"
            return 0
        fi
        sleep 1
    done
    echo "tika-server.sh: the server did not answer within 180 s; stopping it" >&2
    stop "$port"
    return 1
}

stop() {
    local port="${1:-9998}" file pid
    file="$(pid_file "$port")"
    [ -f "$file" ] || { echo "tika-server.sh: no server started on port $port" >&2; return 0; }
    pid="$(cat "$file")"
    if kill -0 "$pid" 2>/dev/null; then
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 1 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.5; done
        kill -9 "$pid" 2>/dev/null || true
    fi
    rm -f "$file"
}

case "${1:-}" in
    fetch) fetch >/dev/null && cached_jar ;;
    path) cached_jar ;;
    start) start "${2:-9998}" ;;
    stop) stop "${2:-9998}" ;;
    *) echo "usage: $0 fetch | path | start [PORT] | stop [PORT]" >&2; exit 2 ;;
esac
