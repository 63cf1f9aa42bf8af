#!/usr/bin/env bash
# Workload W2 side by side: our map training (kohonen_bench) and R's kohonen::som in online
# mode, on the same data and the same initial codebook, one thread each; then the common
# quality check (quantisation and topographic error) of both final codebooks.
# usage: bench/kohonen_w2_compare.sh KOHONEN_BENCH_BINARY [DATA_DIR] [RESULT_DIR]
# Needs Debian r-base-core and r-cran-kohonen (scripts/install-deps r-cran-kohonen).
set -euo pipefail
bin=$1
here=$(cd "$(dirname "$0")/.." && pwd)
workloads="$here/bench/workloads"
data=${2:-build-bench/bench-data}
out=${3:-$(mktemp -d)}
mkdir -p "$out"
if [ ! -f "$data/w2_som_data.csv" ]; then
  /usr/bin/python3 "$workloads/gen_data.py" "$data" >/dev/null
fi
export BENCH_DATA=$(cd "$data" && pwd)
export OMP_NUM_THREADS=1
echo "== Lumivane (100 passes, stiffness 11 -> 0, delta 0.03)"
W2_CODES_OUT="$out/w2_codes_lumivane.csv" "$bin" --benchmark_filter='BM_W2_'
echo "== R kohonen (100 passes, radius 11 -> 0, alpha 0.05 -> 0.01)"
Rscript "$workloads/w2/kohonen_w2.R" 100 3 "$out"
echo "== quality (same rows, same measure)"
/usr/bin/python3 "$workloads/w2/qe_eval.py" "$out"/w2_codes_*.csv
