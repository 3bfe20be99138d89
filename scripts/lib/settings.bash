# The numbers the scripts take from the environment, checked before anything is built or
# emptied: a wrong one stops the script with one line of its own, not with a shell's or a tool's
# error later on, after the work it spoils. Sourced by scripts/demo, scripts/memory_peak,
# scripts/tick_figures, scripts/fuzz and scripts/test.

# whole_setting NAME VALUE LOW HIGH: prints VALUE, a whole number from LOW to HIGH, without its
# leading zeros (which bash's arithmetic would read as octal); else says so and fails. The
# digits are counted before any arithmetic, which a number beyond 64 bits would break.
whole_setting() {
    local name=$1 value=$2 low=$3 high=$4 digits=$2
    case $digits in
    '' | *[!0-9]*) digits="" ;;
    *)
        while [ "${#digits}" -gt 1 ] && [ "${digits#0}" != "$digits" ]; do digits=${digits#0}; done
        ;;
    esac
    if [ -n "$digits" ] && [ "${#digits}" -le "${#high}" ] && [ "$digits" -ge "$low" ] &&
        [ "$digits" -le "$high" ]; then
        echo "$digits"
        return 0
    fi
    echo "${0##*/}: $name=$value is not a whole number from $low to $high" >&2
    return 1
}
