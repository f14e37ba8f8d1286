#!/usr/bin/env bash
# Pictures of the HUD in each phase of the staged demo session, taken on a
# private X server (with a compositor unless --no-compositor is given):
#   scripts/demo-snaps.sh OUTPUT-DIR [--no-compositor] [--appearance light|dark]
set -euo pipefail
out=${1:?usage: scripts/demo-snaps.sh OUTPUT-DIR [--no-compositor] [--appearance light|dark]}
shift
compositor=1
extra=()
while [ $# -gt 0 ]; do
    case $1 in
    --no-compositor) compositor=0 ;;
    --appearance) extra+=(--appearance "$2"); shift ;;
    esac
    shift
done
cd "$(dirname "$0")/.."
vell=${VELL:-build/default/bin/vell}
mkdir -p "$out"
home=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$home"
}
trap cleanup EXIT

# A free display: Xvfb picks it and writes its number to the pipe.
exec 3< <(Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp 2>/dev/null & echo "pid $!")
read -r _ xvfb <&3
pids+=("$xvfb")
read -r display <&3
export DISPLAY=:$display
if [ $compositor = 1 ]; then xcompmgr >/dev/null 2>&1 & pids+=($!); fi

export XDG_CONFIG_HOME=$home/config XDG_STATE_HOME=$home/state XDG_RUNTIME_DIR=$home/run HOME=$home
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
for state in live sending sent failed; do
    "$vell" --demo --state "$state" --snap "$out/$state.png" "${extra[@]}" &
    pid=$!
    for _ in $(seq 100); do
        grep -q "demo snap .*$state.png" "$XDG_STATE_HOME/Vell/Vell.log" 2>/dev/null && break
        sleep 0.1
    done
    kill "$pid"; wait "$pid" 2>/dev/null || true
    grep "demo snap .*$state.png" "$XDG_STATE_HOME/Vell/Vell.log" || echo "no picture of $state"
done
