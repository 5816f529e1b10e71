# Starts and stops the loopback test server from shell tests (sourced). Set
# test_server_py to the path of http_test_server.py first.
#   start_test_server ROOT [SERVER OPTIONS...]  sets server_port and server_pid
#   stop_test_server
start_test_server() {
    server_root=$1
    shift
    server_out=$(mktemp)
    python3 "$test_server_py" --root "$server_root" "$@" >"$server_out" &
    server_pid=$!
    tries=0
    while ! grep -q '^PORT ' "$server_out" && [ $tries -lt 300 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
    server_port=$(sed -n 's/^PORT //p' "$server_out")
    rm -f "$server_out"
    [ -n "$server_port" ]
}

stop_test_server() {
    [ -n "${server_pid:-}" ] || return 0
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true  # a server ended by the signal is what was asked
    server_pid=
}
