#!/usr/bin/env bash
# The program against a real controller: OLA (the Open Lighting Architecture,
# from Debian) on a host of its own, cabled to the PC by a veth pair, on the
# networks users have. OLA finds the node by ArtPoll and sends Art-Net only to
# the nodes whose replies list the universe, as current controllers do, and
# sends sACN by multicast. For each network it checks that both reach the
# area, as read through the driver library, and prints one line.
#
#   bash scripts/interop-ola.sh [build folder]     (default: build/release)
#
# Everything runs in network and mount namespaces this script makes: nothing
# reaches the machine's own network. Needs root (or sudo); installs OLA and
# the demo's packages if missing. Takes about 20 seconds a network.

# One network, run inside fresh namespaces: the node (Dorvantis) here, the
# controller in a namespace "controller". Prints "ok" or what failed.
if [ "${1-}" = --inside ]; then
    node=$2 controller=$3 app=$4 monitor=$5 library=$6 work=$7
    source "$(dirname "$0")/lib.sh"
    mount -t tmpfs tmpfs /dev/shm
    for d in /tmp/.X11-unix /run/netns; do mkdir -p "$d"; mount -t tmpfs tmpfs "$d"; done
    ip link set lo up
    ip netns add controller
    ip link add node0 type veth peer name ctl0 netns controller
    ip addr add "$node" brd + dev node0
    ip link set node0 up
    ip -n controller addr add "$controller" brd + dev ctl0
    ip -n controller link set ctl0 up
    ip -n controller link set lo up
    ip -n controller route add 224.0.0.0/4 dev ctl0

    xvfb_pid= app_pid= olad_pid=
    trap 'kill $olad_pid $app_pid 2>/dev/null; sleep 0.5; kill $xvfb_pid 2>/dev/null' EXIT
    start_display "$work"
    start_dorvantis "$app" "$work" "${node%/*}"

    # OLA with its Art-Net and E1.31 plugins only, on the controller's address.
    # olad refuses to run as root: its package's user runs it.
    ola=$work/ola
    mkdir -p "$ola"
    for plugin in artnet e131; do
        printf 'enabled = true\nip = %s\n' "${controller%/*}" >"$ola/ola-$plugin.conf"
    done
    for plugin in dummy espnet kinet karate milinst opendmx opendeck osc pathport renard sandnet shownet spi \
        stageprofi uartdmx usbdmx usbserial ftdidmx gpio nanoleaf dmx4linux openpixelcontrol; do
        printf 'enabled = false\n' >"$ola/ola-$plugin.conf"
    done
    chown -R olad "$ola"
    chmod 755 "$work"
    ip netns exec controller runuser -u olad -- olad --config-dir "$ola" --no-http -l 2 >/dev/null 2>&1 &
    olad_pid=$!
    for _ in $(seq 50); do
        ip netns exec controller ola_dev_info >"$work/devices.txt" 2>/dev/null && break
        sleep 0.2
    done
    device() { sed -n "s/^Device \([0-9]*\): $1.*/\1/p" "$work/devices.txt"; }
    # OLA universe 1 on Art-Net Port-Address 1 (record 1), 3 on sACN universe 3 (record 2).
    ip netns exec controller ola_patch -d "$(device ArtNet)" -p 0 -u 1
    ip netns exec controller ola_patch -d "$(device E1.31)" -p 0 -u 3
    for i in $(seq 10); do
        ip netns exec controller ola_set_dmx -u 1 -d 10,20,$i
        ip netns exec controller ola_set_dmx -u 3 -d 40,50,$i
        sleep 0.5
        read_back=$("$monitor" --once --library "$library" -u 1-2 -c 1-3)
        if grep -q "universe 1 .*: 10 20 $i$" <<<"$read_back" && grep -q "universe 2 .*: 40 50 $i$" <<<"$read_back"; then
            echo "ok, $(grep -o 'broadcast address .*' "$work/dorvantis.log")"
            exit 0
        fi
    done
    echo "failed: Art-Net to record 1, sACN to record 2; the area reads: $(grep '^universe' <<<"$read_back" | tr '\n' ';')"
    exit 1
fi

source "$(dirname "$0")/lib.sh"
release_programs "${1:-}"
if [ ! -e "$app" ]; then
    bash scripts/install-deps.sh demo
    build_release >/dev/null
fi
if ! command -v olad >/dev/null; then
    if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends ola >/dev/null
fi
if [ "$(id -u)" -ne 0 ]; then
    exec sudo bash "$top/scripts/interop-ola.sh" "$dir"
fi

failed=0
while read -r name node controller; do
    work=$(mktemp -d "${TMPDIR:-/tmp}/dorvantis-interop.XXXXXX")
    chmod 755 "$work"
    result=$(unshare --net --mount --propagation private -- \
        bash "$top/scripts/interop-ola.sh" --inside "$node" "$controller" "$app" "$monitor" "$library" "$work" 2>&1 \
        | tail -n 1) || true
    grep -q '^ok' <<<"$result" || failed=1
    printf '%-28s %-16s <-> %-16s %s\n' "$name" "$node" "$controller" "$result"
    rm -rf "$work"
done <<'EOF'
home-network            192.168.1.10/24   192.168.1.1/24
link-local,cabled       169.254.20.2/16   169.254.10.1/16
private-/12             172.31.9.9/12     172.16.5.1/12
Art-Net-2.x             2.0.0.10/8        2.0.0.1/8
EOF
exit $failed
