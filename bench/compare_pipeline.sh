#!/usr/bin/env bash
# clean + cut + match of the 1 MB reference page: this program against the Python reference
# (bench/reference_pipeline.py), measured in the same run, CPU time against CPU time (Google
# Benchmark's bytes_per_second is per CPU second; the reference uses process_time). Usage: bench/compare_pipeline.sh [build-bench-dir]
set -euo pipefail
build=${1:-build-bench}
here=$(cd "$(dirname "$0")" && pwd)
# bytes_per_second is the sixth column of the CSV report.
ours=$("$build/bin/pipeline_bench" --benchmark_filter='BM_CleanCutMatch$' --benchmark_min_time=2 \
        --benchmark_format=csv 2>/dev/null | awk -F, '/BM_CleanCutMatch/ {print $6}')
theirs=$(python3 "$here/reference_pipeline.py" | grep -o 'clean+cut+match=[0-9.]*' | cut -d= -f2)
python3 - "$ours" "$theirs" <<'PY'
import sys
ours = float(sys.argv[1]) / 1e6  # bytes per second -> MB/s
theirs = float(sys.argv[2])
print(f"tovidesk {ours:.0f} MB/s, Python reference {theirs:.0f} MB/s: {ours / theirs:.1f}x")
PY
