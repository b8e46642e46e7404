#!/bin/sh
# run-fuzz.sh BIN_DIR SECONDS [TARGET...]: runs each libFuzzer target for SECONDS from the seed
# corpus in tests/fuzz/corpus (new inputs go to a scratch corpus, not the repo). Crashes, leaks
# and hangs (over 10 s per input) fail the run; their inputs land in tests/fuzz/findings/.
set -e
bin=$1 seconds=$2
shift 2
targets=${*:-"fuzz_directory fuzz_unpack fuzz_script"}
here=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$here/tests/fuzz/findings"
status=0
for t in $targets; do
  seed=$here/tests/fuzz/corpus/${t#fuzz_}
  work=$(mktemp -d)
  cp "$seed"/* "$work"/
  echo "== $t for ${seconds}s"
  if ! "$bin/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -artifact_prefix="$here/tests/fuzz/findings/$t-" -print_final_stats=1 "$work" 2>"$work.log"; then
    tail -n 40 "$work.log"
    status=1
  fi
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)|^#[0-9]+.*DONE' "$work.log" || tail -n 3 "$work.log"
  rm -rf "$work" "$work.log"
done
exit $status
