# Throw-away network namespaces for the scripts; source this file.
#   netns_add NAME [multicast]  makes NAME with its loopback up; with
#       "multicast" the loopback also carries the group traffic, so that the
#       namespace is a whole multicast network of its own.
#   netns_remove_all  ends whatever still runs in them and removes them.
# Call netns_remove_all from the script's EXIT trap, so that nothing is left
# behind when the script fails or is interrupted.
netns_made=()

netns_add() {
  netns_made+=("$1")
  ip netns add "$1"
  ip -n "$1" link set lo up
  if [ "${2:-}" = multicast ]; then
    ip -n "$1" link set lo multicast on
    ip -n "$1" route add 224.0.0.0/4 dev lo src 127.0.0.1
  fi
}

netns_remove_all() {
  local ns pids
  for ns in "${netns_made[@]}"; do
    pids=$(ip netns pids "$ns" 2>/dev/null || true)
    [ -n "$pids" ] && kill -KILL $pids 2>/dev/null || true
    ip netns delete "$ns" 2>/dev/null || true
  done
  netns_made=()
}
