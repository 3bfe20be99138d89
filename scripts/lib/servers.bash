# The stand-in servers and the program of a run against them, for scripts/demo and
# scripts/memory_peak, which source this file. The servers run in sessions of their own, so that
# Ctrl-C in the terminal reaches the program alone: it closes as a user closes it and signs out
# from a RealTraffic stand-in that is still there. The servers are stopped once it has ended.
server_pids=()
program_pid=""

# A signal ends the script through its EXIT trap, which stops what it started.
trap_signals() {
    trap 'exit 130' INT TERM
    trap 'exit 129' HUP
}

# start_server LOG VARIABLE COMMAND...: starts a stand-in server in the background and exports the
# URL it listens on as VARIABLE. Not in a command substitution: its subshell would keep the
# server's pid from stop_servers.
start_server() {
    local log=$1 variable=$2 url=""
    shift 2
    # The child opens its log only once it runs: made here, the first look finds it.
    : >"$log"
    setsid "$@" >"$log" 2>&1 &
    server_pids+=($!)
    for _ in $(seq 100); do
        url=$(grep -o 'http://127\.0\.0\.1:[0-9]*[^ ]*' "$log" | head -n 1 || true)
        [ -n "$url" ] && { export "$variable=$url"; return; }
        sleep 0.1
    done
    echo "stand-in did not start: $*" >&2
    cat "$log" >&2
    exit 1
}

# start_program FOLDER ARGUMENTS...: the program in the background, with FOLDER as its program
# folder.
start_program() {
    local folder=$1
    shift
    (cd "$folder" && exec "$root/build/src/app/vntq" "$@") &
    program_pid=$!
}

# status_words STATUS: an exit status as words, naming the signal that ended a process.
status_words() {
    if [ "$1" -gt 128 ] && [ "$1" -lt 160 ]; then
        echo "exit status $1 (SIG$(kill -l "$(($1 - 128))" 2>/dev/null || echo "$(($1 - 128))"))"
    else
        echo "exit status $1"
    fi
}

# Closes the program as a user closes it and waits until it has ended; returns its exit status.
# Its close-down signs out and saves what it learned: a Ctrl-C (or SIGTERM, SIGHUP) meanwhile is
# told and let be, and only a further one kills it. Two quick Ctrl-C, one to close and one as it
# closed, killed it and lost both. The trap is a line, not a function: bash 5.2 loses its
# function contexts when a trap calls one in the exit trap that an earlier signal's trap ran.
stop_program() {
    local status=0 interrupts=0
    [ -n "$program_pid" ] || return 0
    trap 'interrupts=$((interrupts + 1))
        if [ "$interrupts" -eq 1 ]; then
            echo "${0##*/}: the program is closing down (signing out, saving what it learned);" \
                "Ctrl-C again kills it at once, and those are lost" >&2
        else
            echo "${0##*/}: killing the program in its close-down: its sign-out and save are lost" >&2
            kill -KILL "$program_pid" 2>/dev/null || true
        fi' INT TERM HUP
    kill -INT "$program_pid" 2>/dev/null || true
    # Waited for at least once: a program that has ended by itself is reaped already, and only
    # wait still knows its status. A wait that a signal cuts short returns while the program
    # still runs: wait again.
    while :; do
        status=0
        wait "$program_pid" 2>/dev/null || status=$?
        kill -0 "$program_pid" 2>/dev/null || break
    done
    program_pid=""
    trap_signals
    return "$status"
}

stop_servers() {
    local p
    for p in "${server_pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${server_pids[@]}"; do wait "$p" 2>/dev/null || true; done
    server_pids=()
}
