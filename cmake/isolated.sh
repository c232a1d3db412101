#!/bin/sh
# Runs a command in a network namespace and a mount namespace of its own: a
# loopback of its own, so that UDP port 6454 is free, and a /dev/shm of its
# own, so that the universe data area's name is free. Test runs and a running
# program then never meet. As root the namespaces are made directly, otherwise
# inside an unprivileged user namespace.
#
#   isolated.sh COMMAND [ARGUMENT...]
set -e
if [ "${1-}" = --inside ]; then
    shift
    ip link set lo up
    mount -t tmpfs -o mode=1777 dorvantis-shm /dev/shm
    exec "$@"
fi
if [ "$(id -u)" -eq 0 ]; then
    exec unshare --net --mount --propagation private -- sh "$0" --inside "$@"
fi
exec unshare --user --map-root-user --net --mount --propagation private -- sh "$0" --inside "$@"
