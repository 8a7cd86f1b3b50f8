# step TEXT COMMAND...: one line for the step; the command's output goes to "$log" and is
# shown only when it fails. The caller sets `log` before the first step.
step() {
    local text=$1
    shift
    printf '%s ... ' "$text"
    if "$@" </dev/null >>"$log" 2>&1; then
        echo "done"
    else
        echo "failed"
        echo "---- last lines of $log ----" >&2
        tail -n 40 "$log" >&2
        exit 1
    fi
}
