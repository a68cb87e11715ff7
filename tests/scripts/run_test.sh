#!/usr/bin/env bash
# scripts/run without a display stops at once with a message that says so,
# instead of building, starting the server and promising a window.
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
out="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
  QUILLMAR_BUILD_DIR=/nonexistent bash "$root/scripts/run" 2>&1)"
rc=$?
fail() { echo "run_test: $*" >&2; echo "$out" >&2; exit 1; }
[ "$rc" -ne 0 ] || fail "scripts/run went on without a display"
echo "$out" | grep -q 'no display' || fail "the message does not name the missing display"
! echo "$out" | grep -q 'double-click' || fail "it still told the person to double-click a site"
echo "run_test: scripts/run stops clearly without a display"
