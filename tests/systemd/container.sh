# A throw-away systemd machine for tests: this machine's root file system
# under an overlay (the changes go to a scratch directory), booted by
# systemd-nspawn with systemd as PID 1. Source it from bash:
#
#   . tests/systemd/container.sh
#   container_check || { echo "SKIP: $container_why"; exit 77; }
#   trap container_teardown EXIT
#   container_boot || { echo "FAIL: $container_why"; exit 1; }
#   container_put /path/to/program /opt/vlmrefresh/     # copy into the machine
#   container_run systemctl is-system-running            # run inside it
#   container_teardown                                   # power off, unmount, remove
#
# Variables after container_boot: container_root (the machine's / as seen
# from here), container_pid1 (its init as seen from here), container_boot_ms.
# Needs root, systemd-nspawn (Debian: systemd-container), nsenter and the
# overlay file system.

# pass, fail, check and wait_for.
# shellcheck source=tests/support/checks.sh
. "$(dirname "${BASH_SOURCE[0]}")/../support/checks.sh"

container_dir=""
container_root=""
container_nspawn_pid=""
container_pid1=""
container_boot_ms=""
container_why=""

container_now_ms() { echo $(($(date +%s%N) / 1000000)); }

# The start of a test script: a skip (exit code 77, a "SKIP:" line) where no
# machine can be booted here, else the overlay mounted, the teardown trapped,
# and the helpers now_ms and in_machine defined (pass, fail, check and
# wait_for come from tests/support/checks.sh).
# Any unit, store or program directory (the argument) of the service on this
# machine's own root is removed from the machine, so that it cannot count.
container_begin() {
  local what=$1 dir=$2
  container_check && trap container_teardown EXIT && container_prepare || {
    echo "SKIP: the $what cannot run here: $container_why"
    exit 77
  }
  trap 'exit 1' INT TERM
  failures=0
  rm -rf "$container_root/etc/systemd/system/VlmRefresh.service" \
    "$container_root/etc/systemd/system/multi-user.target.wants/VlmRefresh.service" \
    "$container_root/var/lib/VlmRefresh" "$container_root$dir"
}
now_ms() { container_now_ms; }
in_machine() { container_run "$@"; }
# The end of a test script: exit code 1 when a check failed, else 0.
container_result() {
  [ "$failures" -eq 0 ] && { echo "all checks passed"; exit 0; }
  echo "$failures check(s) failed"
  exit 1
}

# True when a machine can be booted here; otherwise false with the reason
# in container_why.
container_check() {
  if [ "$(id -u)" != 0 ]; then
    container_why="not root (systemd-nspawn and mount need root)"
    return 1
  fi
  local tool
  for tool in systemd-nspawn nsenter mount umount; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      container_why="$tool is not installed (Debian: systemd-container, util-linux)"
      return 1
    fi
  done
  if [ ! -x /lib/systemd/systemd ] && [ ! -x /usr/lib/systemd/systemd ]; then
    container_why="systemd is not installed"
    return 1
  fi
  if ! grep -qw overlay /proc/filesystems && ! modprobe overlay 2>/dev/null; then
    container_why="the kernel has no overlay file system"
    return 1
  fi
  return 0
}

# Mounts the overlay (false with container_why when the mount is refused).
container_prepare() {
  container_dir=$(mktemp -d "${TMPDIR:-/tmp}/vlm-machine.XXXXXX") || {
    container_why="mktemp failed"
    return 1
  }
  mkdir -p "$container_dir/upper" "$container_dir/work" "$container_dir/root"
  if ! mount -t overlay overlay \
      -o "lowerdir=/,upperdir=$container_dir/upper,workdir=$container_dir/work" \
      "$container_dir/root" 2>"$container_dir/mount.err"; then
    container_why="mount -t overlay refused: $(cat "$container_dir/mount.err")"
    rm -rf "$container_dir"
    container_dir=""
    return 1
  fi
  container_root=$container_dir/root
  # Runtime state of this machine must not leak in.
  rm -rf "${container_root:?}/run/"* 2>/dev/null
  return 0
}

# Boots the machine and waits (up to CONTAINER_BOOT_TIMEOUT seconds, 90 by
# default) until systemd says "running" or "degraded" (the host's own
# services may fail inside: ports taken, no hardware).
container_boot() {
  [ -n "$container_root" ] || container_prepare || return 1
  local t0 state=""
  t0=$(container_now_ms)
  systemd-nspawn -D "$container_root" --register=no --keep-unit -b -q \
    </dev/null >"$container_dir/console.log" 2>&1 &
  container_nspawn_pid=$!
  local deadline=$((t0 + ${CONTAINER_BOOT_TIMEOUT:-90} * 1000))
  while [ "$(container_now_ms)" -lt "$deadline" ]; do
    if ! kill -0 "$container_nspawn_pid" 2>/dev/null; then
      container_why="systemd-nspawn ended: $(tail -5 "$container_dir/console.log")"
      container_nspawn_pid=""
      return 1
    fi
    # The machine's init is the child of systemd-nspawn that has become
    # systemd; a child seen earlier may have been a helper that has ended.
    if [ -z "$container_pid1" ] || ! kill -0 "$container_pid1" 2>/dev/null; then
      container_pid1=$(pgrep -x systemd -P "$container_nspawn_pid" | head -1)
    fi
    if [ -n "$container_pid1" ]; then
      state=$(nsenter -t "$container_pid1" -a systemctl is-system-running 2>/dev/null)
      case "$state" in
        running | degraded)
          container_boot_ms=$(($(container_now_ms) - t0))
          return 0
          ;;
      esac
    fi
    sleep 0.2
  done
  container_why="not up within ${CONTAINER_BOOT_TIMEOUT:-90} s (state: ${state:-none}; init: ${container_pid1:-none}; console: $(tail -3 "$container_dir/console.log" | tr '\n' ' '))"
  return 1
}

# Runs a command inside the machine (all its namespaces, its root).
container_run() {
  nsenter -t "$container_pid1" -a "$@"
}

# container_put FILE... DIR: copies files into the machine's DIR (made when
# missing); works before and after the boot.
container_put() {
  local dest=${!#}
  local n=$(($# - 1))
  mkdir -p "$container_root$dest"
  cp "${@:1:$n}" "$container_root$dest/"
}

# Powers the machine off (SIGTERM to systemd-nspawn is a clean poweroff;
# SIGKILL after 20 s), unmounts the overlay and removes the scratch
# directory. Safe to call more than once and after a failed boot.
container_teardown() {
  if [ -n "$container_nspawn_pid" ] && kill -0 "$container_nspawn_pid" 2>/dev/null; then
    kill -TERM "$container_nspawn_pid" 2>/dev/null
    local i
    for i in $(seq 200); do
      kill -0 "$container_nspawn_pid" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$container_nspawn_pid" 2>/dev/null; then
      echo "container: no poweroff within 20 s, killing systemd-nspawn" >&2
      kill -KILL "$container_nspawn_pid" 2>/dev/null
    fi
    wait "$container_nspawn_pid" 2>/dev/null
  fi
  container_nspawn_pid=""
  container_pid1=""
  if [ -n "$container_root" ] && mountpoint -q "$container_root"; then
    umount "$container_root" 2>/dev/null || umount -l "$container_root"
  fi
  if [ -n "$container_root" ] && mountpoint -q "$container_root"; then
    # Never remove through a mounted overlay: leave the scratch directory.
    echo "container: $container_root is still mounted; $container_dir left in place" >&2
    container_root=""
    container_dir=""
    return 1
  fi
  container_root=""
  if [ -n "$container_dir" ]; then
    rm -rf "$container_dir"
    container_dir=""
  fi
}
