#!/usr/bin/env bash
# Runs a command as the tests' own unprivileged Unix user (made here when missing), with the
# build trees given to it: as root, Wine lets a program write a read-only file, so a program
# that forgets to clear the attribute would pass every test. Needs root.
# Usage: tools/as-test-user.sh COMMAND [ARGS...]
# The command gets the user's USER and LOGNAME (Wine names a new prefix's profile after
# them) and a HOME in the build tree. Where that user cannot read the source tree, the
# command runs as root, with a warning and RAVELNEST_AS_ROOT=1.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
user="ravelnest-tests"
if [ "$(id -u)" -ne 0 ]; then
  echo "as-test-user: needs root" >&2
  exit 2
fi

if ! id -u "$user" >/dev/null 2>&1; then
  # A run in another worktree may make it at the same moment.
  useradd --system --user-group --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user" \
      2>/dev/null || id -u "$user" >/dev/null
fi
as_user=(setpriv --reuid="$user" --regid="$user" --init-groups)
if ! "${as_user[@]}" test -r "$root/CMakeLists.txt" -a -x "$root/tools/run-tests.sh"; then
  echo "as-test-user: $user cannot read $root; running as root, where read-only files are writable" >&2
  exec env RAVELNEST_AS_ROOT=1 "$@"
fi

home="$root/build/test-home"
mkdir -p "$root/build" "$root/build-x64" "$root/build-native" "$home"
# Not the main job's prefixes, which root's Wine refuses once another user owns them; -h:
# never through a link, such as a prefix's drive Z:.
for tree in "$root/build" "$root/build-x64" "$root/build-native"; do
  find "$tree" -path "$tree/demo-prefix" -prune -o -exec chown -h "$user:$user" {} +
done

# Git refuses a repository that another user owns unless told it is safe.
exec env -u XDG_RUNTIME_DIR -u XAUTHORITY -u DBUS_SESSION_BUS_ADDRESS HOME="$home" USER="$user" LOGNAME="$user" \
    GIT_CONFIG_COUNT=1 GIT_CONFIG_KEY_0=safe.directory GIT_CONFIG_VALUE_0="$root" "${as_user[@]}" "$@"
