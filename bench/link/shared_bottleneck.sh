#!/bin/bash
# One bottleneck shared by all connections: a network namespace joined to
# this one by a veth pair, each end's egress shaped by a token bucket (tbf),
# so every connection between the two sides shares the same rate. Clients run
# inside the namespace (ip netns exec NAME ...) and reach the relay at
# 10.77.N.1; the relay forwards to the mail server on loopback.
#
#   shared_bottleneck.sh up NAME N RATE      e.g. up pvlink 7 40mbit
#   shared_bottleneck.sh down NAME N
#
# Needs CAP_NET_ADMIN (root in this container). The kernel has no netem:
# the delay and the per-connection caps stay in bench_link_relay.
set -euo pipefail
action=$1 name=$2 n=$3
host_if="${name}h" ns_if="${name}n"
case "$action" in
up)
    rate=$4
    ip netns add "$name"
    ip link add "$host_if" type veth peer name "$ns_if"
    ip link set "$ns_if" netns "$name"
    ip addr add "10.77.$n.1/24" dev "$host_if"
    ip link set "$host_if" up
    ip -n "$name" addr add "10.77.$n.2/24" dev "$ns_if"
    ip -n "$name" link set "$ns_if" up
    ip -n "$name" link set lo up
    # Both directions: stores go out of the namespace, reads come into it.
    tc qdisc add dev "$host_if" root tbf rate "$rate" burst 64kb latency 400ms
    tc -n "$name" qdisc add dev "$ns_if" root tbf rate "$rate" burst 64kb latency 400ms
    echo "clients: ip netns exec $name ...; relay listens on 10.77.$n.1"
    ;;
down)
    ip link del "$host_if" 2>/dev/null || true
    ip netns del "$name" 2>/dev/null || true
    ;;
*)
    echo "usage: $0 up NAME N RATE | down NAME N" >&2
    exit 2
    ;;
esac
