#!/usr/bin/env bash
# The running application over a quiet period: resident memory after one minute, and CPU time
# over the minute after that. Teams "runs" (a process named MSTeams), its log folder holds a
# log that does not change, and the light is the virtual one.
#   bench/app-idle.sh BUILD_DIR
set -euo pipefail
build=${1:-build/dev}
home=$(mktemp -d)
cleanup() { kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$home"; }
pids=()
trap cleanup EXIT

logs="$home/Library/Group Containers/UBF8T346G9.com.microsoft.teams/Library/Application Support/Logs"
mkdir -p "$logs" "$home/run" && chmod 700 "$home/run"
echo "UserPresenceAction: {availability: Busy}" > "$logs/MSTeams_quiet.log"
cp /bin/sleep "$home/MSTeams"
"$home/MSTeams" 100000 & pids+=($!)

exec 3< <(exec "$build/tools/tally-virtual-light" --quiet)
pids+=($!)
read -r port <&3

HOME=$home XDG_RUNTIME_DIR=$home/run XDG_STATE_HOME=$home/state QT_QPA_PLATFORM=offscreen \
  "$build/app/tally" --port "$port" & pids+=($!)
tally=$!

# Nanoseconds on a CPU, summed over the process's threads (finer than the clock ticks of stat).
cpu() { cat /proc/"$tally"/task/*/schedstat | awk '{ns += $1} END {print ns}'; }
sleep 60
rss=$(awk '/VmRSS/ {print $2}' "/proc/$tally/status")
before=$(cpu)
sleep 60
after=$(cpu)
ms=$(( (after - before) / 1000000 ))
echo "resident after one minute: ${rss} KiB; CPU over the next quiet minute: ${ms} ms" \
     "($(awk "BEGIN {printf \"%.3f\", $ms / 600}")% of one core)"
