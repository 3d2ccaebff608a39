# A throw-away systemd machine for tests: this machine's root file system
# under an overlay (the changes go to a scratch directory), booted by
# systemd-nspawn with systemd as PID 1. Source it from bash:
#
#   . tests/systemd/container.sh
#   container_begin "real-systemd test" /opt/vlmrefresh  # skip (77) or overlay mounted
#   container_put /path/to/program /opt/vlmrefresh       # copy into the machine
#   container_boot || exit 1                             # a failed check when it does not boot
#   in_machine systemctl is-system-running               # run inside it
#   checks_result                                        # exit code 1 when a check failed
#
# Variables after container_boot: container_root (the machine's / as seen
# from here), container_dir (a scratch directory for the test's own files),
# container_pid1 (its init as seen from here), container_boot_ms. The
# machine is powered off, unmounted and removed when the script exits.
# Needs root, systemd-nspawn (Debian: systemd-container), nsenter and the
# overlay file system.

# pass, fail, check and wait_for.
# shellcheck source=tests/support/checks.sh
. "$(dirname "${BASH_SOURCE[0]}")/../support/checks.sh"

container_dir="" container_root="" container_nspawn_pid="" container_pid1="" container_boot_ms="" container_why=""

now_ms() { echo $(($(date +%s%N) / 1000000)); }
# Runs a command inside the machine (all its namespaces, its root).
in_machine() { nsenter -t "$container_pid1" -a "$@"; }

# container_begin WHAT DIR: the start of a test script. A skip (exit code 77,
# a "SKIP:" line) where no machine can be booted here, else the overlay
# mounted and the teardown trapped. Any unit, store or program directory
# (DIR) of the service on this machine's own root is removed from the
# machine, so that it cannot count.
container_begin() {
  container_check && trap container_teardown EXIT && container_prepare || {
    echo "SKIP: the $1 cannot run here: $container_why"
    exit 77
  }
  trap 'exit 1' INT TERM
  rm -rf "$container_root/etc/systemd/system/VlmRefresh.service" \
    "$container_root/etc/systemd/system/multi-user.target.wants/VlmRefresh.service" \
    "$container_root/var/lib/VlmRefresh" "${container_root:?}$2"
}

# True when a machine can be booted here; otherwise false with the reason
# in container_why.
container_check() {
  container_why="not root (systemd-nspawn and mount need root)"
  [ "$(id -u)" = 0 ] || return 1
  local tool
  for tool in systemd-nspawn nsenter mount umount; do
    container_why="$tool is not installed (Debian: systemd-container, util-linux)"
    command -v "$tool" >/dev/null 2>&1 || return 1
  done
  container_why="systemd is not installed"
  [ -x /lib/systemd/systemd ] || [ -x /usr/lib/systemd/systemd ] || return 1
  container_why="the kernel has no overlay file system"
  grep -qw overlay /proc/filesystems || modprobe overlay 2>/dev/null
}

# Mounts the overlay (false with container_why when the mount is refused).
container_prepare() {
  container_why="mktemp failed"
  container_dir=$(mktemp -d "${TMPDIR:-/tmp}/vlm-machine.XXXXXX") || return 1
  mkdir -p "$container_dir/upper" "$container_dir/work" "$container_dir/root"
  if ! mount -t overlay overlay -o "lowerdir=/,upperdir=$container_dir/upper,workdir=$container_dir/work" \
      "$container_dir/root" 2>"$container_dir/mount.err"; then
    container_why="mount -t overlay refused: $(cat "$container_dir/mount.err")"
    rm -rf "$container_dir" && container_dir=""
    return 1
  fi
  container_root=$container_dir/root
  # Runtime state of this machine must not leak in.
  rm -rf "${container_root:?}/run/"* 2>/dev/null
}

# CPU clock ticks that the machine's processes have used, with those of the
# ended processes they reaped (its init reaps every orphan), but without the
# init's own: it works for every question asked from here.
container_ticks() {
  pgrep --ns "$container_pid1" --nslist pid | sed 's#.*#/proc/&/stat#' | xargs -r cat 2>/dev/null |
    awk -v init="$container_pid1" '{ own = $1 != init; sub(/^.*\) /, "")
      t += own * ($12 + $13) + $14 + $15 } END { print t + 0 }'
}

# Boots the machine and waits until systemd says "running" or "degraded" (the
# host's own services may fail inside: ports taken, no hardware). A boot that
# is slow on a loaded machine is waited for while it moves: its pending jobs
# change or its processes use CPU time. A failed check, with the pending jobs,
# when systemd-nspawn ends, when the machine goes into maintenance or stops,
# when it has not moved for CONTAINER_BOOT_STALL seconds (60 by default) or
# is not up after CONTAINER_BOOT_TIMEOUT seconds (400 by default).
container_boot() {
  local t0 now moved state="" jobs="" seen="" progress
  t0=$(now_ms) && moved=$t0
  systemd-nspawn -D "$container_root" --register=no --keep-unit -b -q \
    </dev/null >"$container_dir/console.log" 2>&1 &
  container_nspawn_pid=$!
  while now=$(now_ms); [ $((now - t0)) -lt $((${CONTAINER_BOOT_TIMEOUT:-400} * 1000)) ] &&
    [ $((now - moved)) -lt $((${CONTAINER_BOOT_STALL:-60} * 1000)) ]; do
    kill -0 "$container_nspawn_pid" 2>/dev/null ||
      { fail "boot: systemd-nspawn ended: $(tail -5 "$container_dir/console.log")"; container_nspawn_pid=""; return 1; }
    # The machine's init is the child of systemd-nspawn that has become
    # systemd; a child seen earlier may have been a helper that has ended.
    kill -0 "$container_pid1" 2>/dev/null || container_pid1=$(pgrep -x systemd -P "$container_nspawn_pid" | head -1)
    state=$(in_machine systemctl is-system-running 2>/dev/null)
    jobs=$(in_machine systemctl list-jobs --no-legend 2>&1)
    case "$state" in
    running | degraded) container_boot_ms=$((now - t0)) && return 0 ;;
    maintenance | stopping) break ;;
    esac
    progress="$jobs $(container_ticks)"
    [ "$progress" = "$seen" ] || seen=$progress moved=$now
    sleep 0.2
  done
  fail "boot: not up after $(((now - t0) / 1000)) s, $(((now - moved) / 1000)) s of them without a change" \
    "(state: ${state:-none}; init: ${container_pid1:-none}; jobs: $(head -5 <<<"$jobs" | tr -s '\n ' '; ')" \
    "console: $(tail -3 "$container_dir/console.log" | tr '\n' ' '))"
  return 1
}

# container_put FILE... DIR: copies files into the machine's DIR (made when
# missing); works before and after the boot.
container_put() {
  mkdir -p "$container_root${!#}"
  cp "${@:1:$#-1}" "$container_root${!#}/"
}

# container_serve_page PAGE_SERVER DIR: the loopback page server runs inside
# the machine and DIR/config.ini points at it (url_set_ms: when it did).
container_serve_page() {
  container_put "$1" /root/pageserver
  in_machine systemd-run --quiet --unit=vlm-page-server /root/pageserver/VlmPageServer --seconds 600 \
    --port-file /root/pageserver/url
  wait_for 50 test -s "$container_root/root/pageserver/url"
  url=$(cat "$container_root/root/pageserver/url" 2>/dev/null)
  in_machine sed -i "s#^Url=.*#Url=$url\r#" "$2/config.ini"
  url_set_ms=$(now_ms)
  [ -n "$url" ] && in_machine grep -q "^Url=$url" "$2/config.ini" || fail "page server without address ($url) or Url not set"
}

# Powers the machine off (SIGTERM to systemd-nspawn is a clean poweroff;
# SIGKILL after 20 s), unmounts the overlay and removes the scratch
# directory. Safe to call more than once and after a failed boot.
container_teardown() {
  if [ -n "$container_nspawn_pid" ] && kill -TERM "$container_nspawn_pid" 2>/dev/null; then
    if ! wait_for 200 eval '! kill -0 "$container_nspawn_pid" 2>/dev/null'; then
      echo "container: no poweroff within 20 s, killing systemd-nspawn" >&2
      kill -KILL "$container_nspawn_pid" 2>/dev/null
    fi
    wait "$container_nspawn_pid" 2>/dev/null
  fi
  container_nspawn_pid="" container_pid1=""
  if [ -n "$container_root" ]; then
    umount "$container_root" 2>/dev/null || umount -l "$container_root"
    # Never remove through a mounted overlay: leave the scratch directory.
    if mountpoint -q "$container_root"; then
      echo "container: $container_root is still mounted; $container_dir left in place" >&2
      container_dir=""
    fi
  fi
  [ -n "$container_dir" ] && rm -rf "$container_dir"
  container_root="" container_dir=""
}
