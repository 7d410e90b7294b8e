#!/usr/bin/env bash
# The running application over a quiet period: resident memory after one minute, and CPU time
# over the minute after that. Teams "runs" (a process named MSTeams), its log folder holds a
# log that does not change, the light is the virtual one, and a sound server of its own (when
# pulseaudio is installed) has a microphone nobody records from.
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

if command -v pulseaudio >/dev/null; then
  sound=$home/pulse
  mkdir -p "$sound"
  HOME=$sound XDG_RUNTIME_DIR=$sound PULSE_RUNTIME_PATH=$sound/runtime PULSE_STATE_PATH=$sound/state \
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --log-target=file:"$sound/log" \
    -L "module-native-protocol-unix socket=$sound/native auth-anonymous=1" \
    -L "module-null-source source_name=mic" & pids+=($!)
  for _ in $(seq 100); do [ -S "$sound/native" ] && break; sleep 0.1; done
  export PULSE_SERVER=unix:$sound/native
fi

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
