# The checks of the shell tests, sourced by each: check DESCRIPTION
# COMMAND... runs the command, says "ok" or "FAILED" with the description,
# and counts the failures in $failures, which the test ends on.
failures=0
check() {  # check DESCRIPTION COMMAND...
    local description=$1
    shift
    if "$@"; then
        echo "  ok       $description"
    else
        echo "  FAILED   $description"
        failures=$((failures + 1))
    fi
}
