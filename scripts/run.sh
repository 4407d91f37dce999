#!/usr/bin/env bash
# Sets everything up and runs the display server on an embedded default: a local mosquitto on a
# free loopback port, a virtual pole display on a pseudo-terminal, and the server headless with a
# demo Settings.ini pointing at both. A greeting is sent through kestova-send; Ctrl-C stops
# everything this script started. KESTOVA_PROTOCOL=NAME runs the display and the server in another
# command set (frame, epson, cd5220, logic-controls or aedex; DisplayProtocol in Settings.ini).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$(nproc)" --target kestova-displayd kestova-send kestova-virtual-display kestova-packet

protocol=${KESTOVA_PROTOCOL:-frame}
bin=$root/build/release
displayd=$bin/app/kestova-displayd/kestova-displayd
sender=$bin/tools/kestova-send/kestova-send
display=$bin/tools/virtual-display/kestova-virtual-display
run=$(mktemp -d /tmp/kestova-run.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  echo
  echo "run: stopped; logs are in $run"
}
trap cleanup EXIT
trap 'exit 0' INT TERM

# A free loopback port: nothing answers a connection to it.
port=18830
while (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do port=$((port + 1)); done

cat >"$run/mosquitto.conf" <<CONF
listener $port 127.0.0.1
allow_anonymous true
persistence false
CONF
/usr/sbin/mosquitto -c "$run/mosquitto.conf" >"$run/mosquitto.log" 2>&1 &
pids+=($!)

wait_for() {  # file text seconds
  local deadline=$((SECONDS + $3))
  until grep -qF -- "$2" "$1" 2>/dev/null; do
    if [ $SECONDS -ge $deadline ]; then echo "run: timed out waiting for '$2' in $1" >&2; exit 1; fi
    sleep 0.1
  done
}

# The virtual display prints its pty path first, then redraws its box after every frame.
"$display" --protocol "$protocol" > >(tee "$run/display.out") &
pids+=($!)
until [ -s "$run/display.out" ]; do
  # An unknown KESTOVA_PROTOCOL ends it at once, with its reason on standard error.
  if ! kill -0 "${pids[-1]}" 2>/dev/null; then echo "run: the virtual display did not start" >&2; exit 1; fi
  sleep 0.1
done
pty=$(head -n 1 "$run/display.out")

cat >"$run/Settings.ini" <<INI
[Settings]
Width=20
DisplayMode=0
ComPort=$pty
ComSpeed=9600
DisplayProtocol=$protocol
[Mqtt]
Broker=127.0.0.1
Port=$port
ClientID=Display1
Topics=pos/display1,pos/displays
INI

"$displayd" --settings "$run/Settings.ini" >"$run/server.log" 2>&1 &
pids+=($!)
wait_for "$run/server.log" 'Subscribing to "pos/display1": Accepted' 15

send() { "$sender" --broker 127.0.0.1 --port "$port" --topic pos/display1 --show "$1" "$2" --target Display1 "${@:3}"; }
# The first message opens the serial port and is shown on it.
send "Hello from Kestova" "Račun 1,50 EUR" --align2 R

cat <<TEXT

run: the server is running (log: $run/server.log), the virtual display above shows what it gets.
run: send your own lines from another terminal:
  $sender --broker 127.0.0.1 --port $port --topic pos/display1 --target Display1 --show "Line one" "Line two"
run: Ctrl-C stops the server, the display and the broker.
TEXT
wait "${pids[1]}"
