# Starts and stops the loopback test servers from shell tests (sourced). Set
# test_server_py to the path of http_test_server.py first.
#   start_test_server ROOT [SERVER OPTIONS...]  sets server_port and server_pid
#   start_recovery_server IMAGE KEY [OPTIONS...]  the same for recovery_test_server.py,
#                                  the stand-in of Apple's Internet Recovery server
#   stop_test_server
start_test_server() {
    server_root=$1
    shift
    start_server_process "$test_server_py" --root "$server_root" "$@"
}

start_recovery_server() {
    recovery_image=$1 recovery_key=$2
    shift 2
    start_server_process "$(dirname "$test_server_py")/recovery_test_server.py" \
        --image "$recovery_image" --key "$recovery_key" "$@"
}

start_server_process() {
    server_out=$(mktemp)
    python3 "$@" >"$server_out" &
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
