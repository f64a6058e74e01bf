#!/usr/bin/env bash
# The copy through the windows against quillmere-cli copy and against the engine alone, on
# one many-small-files tree, warm cache, round by round in alternating order.
#
#   bench/gui_copy_bench.sh [BUILD_DIR] [ROUNDS]
#
# BUILD_DIR (default build/dev) must hold quillmere-cli and tests/gui_copy_bench, Release or
# RelWithDebInfo for figures worth quoting. Environment:
#   BENCH_DIR    where the tree and the copies go (default: a new directory in /tmp);
#                a tree already there is reused
#   BENCH_FILES  files in the generated tree (default 60000)
#   BENCH_DIRS   directories in the generated tree (default 3000)
#   BENCH_CLEAN  set to delete this run's copies at the end (by default they stay)
#
# Each run writes into its own fresh output directory, and nothing is deleted before or
# between the runs: a copy made soon after a large delete is several times slower. Delete
# old copies (BENCH_DIR/out) between invocations, then sync and wait a few minutes. Every
# run starts after a sync, so that it does not pay for the write-back of the one before.
# Window and engine figures are timed inside the test process (window creation and
# process start excluded); the command line is timed from outside, process start included.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build/dev}" && pwd)
rounds=${2:-5}
cli=$build/quillmere-cli
uitests=$build/tests/gui_copy_bench
for f in "$cli" "$uitests"; do
    [[ -x $f ]] || { echo "missing $f (build first)" >&2; exit 2; }
done

dir=${BENCH_DIR:-$(mktemp -d /tmp/quillmere-guibench.XXXXXX)}
tree=$dir/work/small
if [[ ! -d $tree ]]; then
    echo "generating $tree ..." >&2
    python3 "$here/gen_tree.py" "$tree" --kind small --files "${BENCH_FILES:-60000}" --dirs "${BENCH_DIRS:-3000}"
fi
outs=$dir/out/$(date +%Y%m%d-%H%M%S)
mkdir -p "$outs"
sync
# Warm the cache for the tree's metadata and content.
find "$tree" -type f -exec cat {} + > /dev/null

now_ms() { date +%s%N | awk '{ printf "%.1f", $1 / 1e6 }'; }

run_ui() {  # mode out -> the test's "BENCH" line
    local filter=$1 out=$2
    QT_QPA_PLATFORM=offscreen QUILLMERE_BENCH_TREE=$tree QUILLMERE_BENCH_OUT=$out \
        "$uitests" --gtest_filter="GuiCopyBench.$filter" 2>/dev/null | grep '^BENCH ' ||
        { echo "the $filter run failed" >&2; exit 1; }
}

field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p"; }

results=$outs/results.txt
: > "$results"
for ((i = 1; i <= rounds; i++)); do
    if ((i % 2)); then order="gui cli engine"; else order="engine cli gui"; fi
    for what in $order; do
        out=$outs/$what-$i
        mkdir -p "$out"
        # The previous run's dirty pages are written back before this one starts, not during.
        sync
        sleep 1
        case $what in
            gui) line=$(run_ui ThroughTheWindows "$out")
                 echo "$i gui $(field total_ms <<< "$line") $(field copy_ms <<< "$line") $(field window_cpu_ms <<< "$line")" >> "$results" ;;
            engine) line=$(run_ui EngineAlone "$out")
                 echo "$i engine $(field total_ms <<< "$line") $(field copy_ms <<< "$line") -" >> "$results" ;;
            cli) t0=$(now_ms)
                 "$cli" copy "$tree" "$out" > /dev/null
                 t1=$(now_ms)
                 echo "$i cli $(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", b - a }') - -" >> "$results" ;;
        esac
    done
done

python3 - "$results" <<'EOF'
import statistics, sys
rows = [l.split() for l in open(sys.argv[1])]
by = {}
num = lambda x: None if x == "-" else float(x)
for r in rows:
    by.setdefault(int(r[0]), {})[r[1]] = [num(x) for x in r[2:5]]
print("round   window total/copy ms   engine total/copy ms   cli ms   window/cli  window/engine  "
      "copy window/engine  window thread cpu ms")
ratios = {"cli": [], "engine": [], "copy": [], "cpu": []}
for i in sorted(by):
    g, e, c = by[i]["gui"], by[i]["engine"], by[i]["cli"]
    rc, re_, rcopy = g[0] / c[0], g[0] / e[0], g[1] / e[1]
    ratios["cli"].append(rc); ratios["engine"].append(re_); ratios["copy"].append(rcopy)
    ratios["cpu"].append(g[2] / g[1])
    print(f"{i:5d}   {g[0]:8.1f} /{g[1]:8.1f}   {e[0]:8.1f} /{e[1]:8.1f}   {c[0]:8.1f}   {rc:9.3f}  "
          f"{re_:13.3f}  {rcopy:18.3f}  {g[2]:10.1f}")
med = lambda k: statistics.median(ratios[k])
print(f"median  window/cli = {med('cli'):.3f}   window/engine = {med('engine'):.3f}   "
      f"copy window/engine = {med('copy'):.3f}   (target <= 1.05)")
print(f"median  window thread's CPU = {100 * med('cpu'):.1f} % of the copy's duration")
EOF

if [[ -n ${BENCH_CLEAN:-} ]]; then rm -rf "$outs"; fi
echo "tree, copies and results in $dir" >&2
