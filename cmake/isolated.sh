#!/bin/sh
# Runs a command in a network namespace and a mount namespace of its own: a
# loopback of its own, so that UDP port 6454 is free, and a /dev/shm of its
# own, so that the universe data area's name is free, and an empty
# $XDG_CONFIG_HOME of its own where one is set (the test runner gives each test
# program one in the build folder, and Qt keeps the settings there): two runs of
# a test from the same build folder would otherwise write into each other's
# settings between a write and the read that checks it. Test runs and a running
# program then never meet. X displays and wineservers started inside get
# socket folders of their own too: X clients fall back to the socket files in
# /tmp/.X11-unix, where a server of another namespace may have taken the same
# display number, and a wineserver owns the sockets of the programs it serves.
# The machine's own name resolves to the namespace's only address, 127.0.0.1,
# as the Winsock discovery under wine looks it up. As root the namespaces are made directly, otherwise
# inside an unprivileged user namespace.
#
#   isolated.sh COMMAND [ARGUMENT...]
set -e
if [ "${1-}" = --inside ]; then
    shift
    ip link set lo up
    mount -t tmpfs -o mode=1777 dorvantis-shm /dev/shm
    if [ -n "${XDG_CONFIG_HOME-}" ] && [ -d "$XDG_CONFIG_HOME" ]; then
        mount -t tmpfs -o mode=700 dorvantis-config "$XDG_CONFIG_HOME"
    fi
    hosts=/dev/shm/.hosts
    printf '127.0.0.1 localhost %s\n' "$(hostname)" >"$hosts"
    mount --bind "$hosts" /etc/hosts
    for dir in /tmp/.X11-unix "/tmp/.wine-$(id -u)"; do
        mkdir -p "$dir"
        mount -t tmpfs -o mode=1777 dorvantis-tmp "$dir"
    done
    exec "$@"
fi
if [ "$(id -u)" -eq 0 ]; then
    exec unshare --net --mount --propagation private -- sh "$0" --inside "$@"
fi
exec unshare --user --map-root-user --net --mount --propagation private -- sh "$0" --inside "$@"
