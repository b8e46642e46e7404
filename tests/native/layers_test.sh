#!/bin/sh
# The engine's layers only look down: core < ops < commands < api. A file of one layer may
# include files of its own layer and of those below it (and the portable modules log, script and
# package, which are part of the core), never of a layer above. Tests are exempt: they reach
# wherever they test.
# layers_test.sh SOURCE_DIR
cd "$1/engine" || exit 2
rank() {
  case $1 in
    log|script|package|core) echo 0 ;;
    ops) echo 1 ;;
    commands) echo 2 ;;
    api) echo 3 ;;
    *) echo 9 ;;
  esac
}
status=0
for file in */*.h */*.cpp; do
  case $file in *_test.cpp) continue ;; esac
  own=$(rank "${file%%/*}")
  for included in $(sed -n 's@^#include "engine/\([a-z]*\)/.*@\1@p' "$file"); do
    if [ "$(rank "$included")" -gt "$own" ]; then
      echo "engine/$file includes from engine/$included/, a layer above its own" >&2
      status=1
    fi
  done
done
exit $status
