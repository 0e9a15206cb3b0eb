#!/usr/bin/env bash
# Builds the release preset, runs every bench program with JSON output and prints one
# table with the figures the project sets goals for. Results stay in
# build/release/bench-results/. Extra Google Benchmark options can be given in
# KESTREL_BENCH_ARGS (for example --benchmark_min_time=2).
# With valgrind installed, the engine's user-space instructions per command are counted
# as well (deterministic, unlike the times on a shared machine).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset release >/dev/null
if [ "${1:-}" = csv ]; then
  cmake --build --preset release --target bench_items kestrel
else
  cmake --build --preset release --target benches kestrel kestrel-sim
fi

results=build/release/bench-results
rm -rf "$results"
mkdir -p "$results"
# bench_items leaves its 100,000-item CSV file here for the Python comparison below.
export KESTREL_BENCH_DIR="$results"
# The benchmarks, like the tests, may reach this machine's loopback only.
export KESTREL_LOOPBACK_ONLY=1

# The whole process where users meet the item file: kestrel items csv-check against a
# Python script that streams the same file through csv and converts every field, taking
# turns (five by default, KESTREL_CSV_TURNS); the medians of the wall times and the peak
# memory (ru_maxrss), with the load average before and after.
csv_check() {
  python3 - "$results" build/release/src/cli/kestrel "${KESTREL_CSV_TURNS:-5}" <<'PY'
import json, os, statistics, subprocess, sys, time
results, kestrel = sys.argv[1], sys.argv[2]
src = os.path.join(results, "items_100k.csv")
script = r'''
import csv, sys
def fixed(t):
    neg = t.startswith("-"); t = t.lstrip("+-")
    whole, _, frac = t.partition(".")
    v = int(whole or "0") * 10000 + int((frac + "0000")[:4])
    return -v if neg else v
rows = 0
with open(sys.argv[1], newline="", encoding="cp1250") as f:
    r = csv.reader(f, delimiter=";")
    next(r)
    for row in r:
        ints = [int(row[i] or "0") for i in (0, 2, 3, 4, 5)]
        nums = [fixed(row[i] or "0") for i in (6, 7, 8, 9)]
        texts = [row[1].strip()] + [b.strip() for b in row[10:14]]
        rows += 1
print(rows)
'''
def run(cmd):
    t = time.perf_counter()
    out = subprocess.run(cmd, capture_output=True, text=True)
    took = time.perf_counter() - t
    if out.returncode != 0:
        raise SystemExit(f"{cmd[0]} failed: {out.stderr}")
    return took
turns = int(sys.argv[3])
load = os.getloadavg()[0]
ks, ps = [], []
for _ in range(turns):
    ks.append(run([kestrel, "items", "csv-check", src]))
    ps.append(run([sys.executable, "-c", script, src]))
# Peak memory of each, once more under time(1).
kmem = subprocess.run(["/usr/bin/time", "-f", "%M", kestrel, "items", "csv-check", src], capture_output=True, text=True).stderr.split()[-1]
pmem = subprocess.run(["/usr/bin/time", "-f", "%M", sys.executable, "-c", script, src], capture_output=True, text=True).stderr.split()[-1]
c = {"kestrel_s": statistics.median(ks), "python_s": statistics.median(ps), "kestrel_kb": int(kmem),
     "python_kb": int(pmem), "file_bytes": os.path.getsize(src), "turns": turns, "kestrel_runs": ks,
     "python_runs": ps, "load_before": load, "load_after": os.getloadavg()[0]}
json.dump(c, open(os.path.join(results, "csv_check.out"), "w"))
print(f"csv-check {c['kestrel_s']*1e3:.1f} ms, Python {c['python_s']*1e3:.1f} ms: {c['python_s']/c['kestrel_s']:.2f}x; "
      f"peak {c['kestrel_kb']/1024:.1f} MiB = {c['kestrel_kb']*1024/c['file_bytes']:.2f}x the file "
      f"(Python {c['python_kb']/1024:.1f} MiB); medians of {turns} turns, load average {load:.2f} -> {c['load_after']:.2f}")
PY
}

# `scripts/bench.sh csv` runs only that comparison, on the file of bench_items' export.
if [ "${1:-}" = csv ]; then
  sync
  build/release/bench/bench_items --benchmark_filter='^BM_ItemsExport' >/dev/null
  csv_check
  exit 0
fi
for b in build/release/bench/bench_*; do
  [ -x "$b" ] || continue
  name=$(basename "$b")
  # Its iterations are the repetitions, and its figure is the slowest of them (below).
  [ "$name" = bench_stop ] && continue
  echo "=== $name"
  # Dirty pages left by the programs before would be written during this one's fsyncs.
  sync
  # shellcheck disable=SC2086
  "$b" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
    --benchmark_out="$results/$name.json" --benchmark_out_format=json ${KESTREL_BENCH_ARGS:-} >/dev/null
done

# How soon a stop request ends a loop on a device answering every two seconds: the
# loop's logic here, and the real window in the dev preset (the release preset leaves
# the window out). Each run reports its slowest reaction.
echo "=== bench_stop"
build/release/bench/bench_stop --benchmark_out="$results/bench_stop.json" --benchmark_out_format=json >/dev/null
cmake --preset dev >/dev/null
cmake --build --preset dev --target bench_stop >/dev/null
QT_QPA_PLATFORM=offscreen build/dev/bench/bench_stop --benchmark_filter=Window \
  --benchmark_out="$results/bench_stop_window.json" --benchmark_out_format=json >/dev/null 2>&1

# Python's csv module on the same item file, right after bench_items in the same run:
# the median of three reads (cp1250, ";") and three writes of the rows read (every field
# quoted, CR LF).
if [ -f "$results/items_100k.csv" ]; then
  echo "=== python csv, the same item file"
  python3 - "$results" <<'PY'
import csv, json, os, statistics, sys, time
results = sys.argv[1]
src, dst = os.path.join(results, "items_100k.csv"), os.path.join(results, "items_100k_python.csv")
reads, writes = [], []
for _ in range(3):
    t = time.perf_counter()
    with open(src, newline="", encoding="cp1250") as f:
        rows = list(csv.reader(f, delimiter=";"))
    reads.append(time.perf_counter() - t)
    t = time.perf_counter()
    with open(dst, "w", newline="", encoding="cp1250") as f:
        csv.writer(f, delimiter=";", quoting=csv.QUOTE_ALL, lineterminator="\r\n").writerows(rows)
    writes.append(time.perf_counter() - t)
os.remove(dst)
json.dump({"rows": len(rows) - 1, "read_s": statistics.median(reads), "write_s": statistics.median(writes)},
          open(os.path.join(results, "python_csv.out"), "w"))
PY
fi

# System calls per command, both ends of the exchange: each counted benchmark runs
# under strace with 200 and with 1200 commands; the difference over 1000 leaves out
# the calls of starting up.
calls=""
if command -v strace >/dev/null; then
  echo "=== system calls per command (strace)"
  for name in EngineOnSimTcp PlainOnSimTcp EngineOnSimPty PlainOnSimPty; do
    for n in 200 1200; do
      strace -f -c -o "$results/strace_${name}_$n.txt" build/release/bench/bench_engine_sim \
        --benchmark_filter="^BM_Counted${name}/iterations:${n}\$" >/dev/null 2>&1
    done
  done
  calls="$results"
fi

if [ -f "$results/items_100k.csv" ]; then
  echo "=== items csv-check against a streaming Python parse, the same file"
  csv_check
fi

instructions=""
if command -v valgrind >/dev/null && command -v callgrind_annotate >/dev/null; then
  echo "=== instructions per command (callgrind)"
  valgrind --tool=callgrind --callgrind-out-file="$results/engine.callgrind" \
    --toggle-collect='kestrel::TFiscalDevice::customCommand*' build/release/bench/bench_engine_sim \
    --benchmark_filter='BM_EngineCpu/two_cores:0' --benchmark_min_time=0.1 >/dev/null 2>&1 &&
    instructions="$results/engine.callgrind"
fi

python3 - "$results" "$instructions" "$calls" <<'PY'
import json, os, re, subprocess, sys

results, callgrind, calls = sys.argv[1], sys.argv[2], sys.argv[3]
runs = {}
for f in sorted(os.listdir(results)):
    if not f.endswith(".json"):
        continue
    data = json.load(open(os.path.join(results, f)))
    for b in data["benchmarks"]:
        if b.get("error_occurred"):
            print(f"!! {b['name']}: {b.get('error_message')}")
            continue
        # The median of the repetitions (or the only run without repetitions).
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b.get("time_unit", "ns")]
        runs[b["run_name"]] = dict(b, real=b["real_time"] * scale, cpu=b["cpu_time"] * scale)

def get(name):
    r = runs.get(name)
    if r is None:
        raise SystemExit(f"no result for {name}")
    return r

rows = []
def row(what, value, goal, ok=None):
    rows.append((what, value, goal, "" if ok is None else ("met" if ok else "MISSED")))

# The goal ratios come from the benchmarks that take turns (the separate pairs, run one
# after the other, drift with the machine's load; they are shown for comparison).
cases = (
    ("scripted peer", "BM_EngineVsPlainInTurns", "BM_EngineCommand", "BM_PlainSocketCommand", 1.5),
    ("simulator over TCP", "BM_EngineVsPlainOnSimInTurns", "BM_EngineOnSimTcp", "BM_PlainOnSimTcp", 1.25),
)
for what, turns, engine, plain, goal in cases:
    for placement, where in (("0", "one core"), ("1", "two cores")):
        t = get(f"{turns}/two_cores:{placement}/real_time")
        e, p = get(f"{engine}/two_cores:{placement}/real_time"), get(f"{plain}/two_cores:{placement}/real_time")
        row(f"engine/plain, {what}, {where} ({t['engine_us']:.1f} / {t['plain_us']:.1f} us; "
            f"run apart {e['real']/p['real']:.2f})", f"{t['ratio']:.2f}", f"<= {goal}", t["ratio"] <= goal)

pty = get("BM_EngineOnSimPty/min_time:2.000/real_time")
baud, req, ans = pty["baud"], pty["req_bytes"], pty["ans_bytes"]
line = ans * 10 / baud  # the pty carries the request at once; only the answer is paced
util = line / pty["real"]
row(f"pty at {baud:.0f} baud: {1/pty['real']:.1f} commands/s, line allows {1/line:.1f} "
    f"({ans:.0f}-byte answer, 10 bits a byte)", f"{util:.3f}", ">= 0.95", util >= 0.95)

for full, texts in (("0", "usual texts"), ("1", "texts at their limits")):
    clients = get(f"BM_ReadClientsOnSimPty/full:{full}/iterations:1/real_time")
    row(f"1000 clients read over the pty at {clients['baud']:.0f} baud, {texts}: {clients['cmd_per_s']:.1f} "
        f"commands/s, line allows {clients['line_cmd_per_s']:.1f} ({clients['ans_bytes']:.0f} answer bytes)",
        f"{clients['line_ratio']:.3f}", ">= 0.95", clients["line_ratio"] >= 0.95)

ec, pc = get("BM_EngineCpu/two_cores:0/real_time"), get("BM_PlainCpu/two_cores:0/real_time")
row(f"engine thread CPU per command, {req:.0f}-byte request, {ans:.0f}-byte answer", f"{ec['cpu']*1e6:.2f} us", "")
row("  plain-socket thread CPU per command, same exchange", f"{pc['cpu']*1e6:.2f} us", "")
row("  engine's own work (difference)", f"{(ec['cpu']-pc['cpu'])*1e6:.2f} us", "")
text = get("BM_EngineTextWork")
row("  of it conversion both ways and field splitting", f"{text['cpu']*1e6:.2f} us", "")
if callgrind:
    total, calls, names, cur = 0, 0, {}, None
    for l in open(callgrind):
        m = re.match(r"(c?fn)=\((\d+)\)(?: (.*))?", l.rstrip("\n"))
        if m:
            kind, idx, name = m.groups()
            if name:
                names[idx] = name
            if kind == "cfn":
                cur = names.get(idx, "")
            continue
        if l.startswith("calls=") and cur and "TFiscalDevice::customCommand" in cur:
            calls += int(l.split("=")[1].split()[0])
        if l.startswith(("summary:", "totals:")):
            total = int(l.split()[1])
    if calls:
        row("  engine user-space instructions per command (callgrind)", f"{total/calls:.0f}", "")

def calls_per_command(name):
    def total(n):
        for l in open(os.path.join(calls, f"strace_{name}_{n}.txt")):
            f = l.split()
            if f and f[-1] == "total":
                return int(f[3])
        raise SystemExit(f"no strace total for {name}")
    return (total(1200) - total(200)) / 1000

if calls:
    for what, link in (("simulator over TCP", "Tcp"), ("simulator over a pty", "Pty")):
        e, p = calls_per_command(f"EngineOnSim{link}"), calls_per_command(f"PlainOnSim{link}")
        row(f"system calls per command beyond a bare exchange, {what} (engine {e:.2f}, plain {p:.2f}, both ends)",
            f"{e - p:.2f}", "<= 1", e - p <= 1.05)

mix = get("BM_SimTypicalMix")
worst = max((r for n, r in runs.items() if n.startswith("BM_SimCommand/")), key=lambda r: r["cpu"])
row(f"simulator CPU per typical command (mix; slowest: {worst.get('label', '')} {worst['cpu']*1e6:.2f} us)",
    f"{mix['cpu']*1e6:.2f} us", "far below 1 ms", mix["cpu"] < 1e-4 and worst["cpu"] < 1e-4)

items = os.path.join(results, "python_csv.out")
if os.path.exists(items) and "BM_ItemsImport/real_time" in runs:
    py = json.load(open(items))
    imp, exp = get("BM_ItemsImport/real_time")["real"], get("BM_ItemsExport/real_time")["real"]
    row(f"items CSV import, 100,000 rows (Python csv read: {py['read_s']*1e3:.0f} ms)", f"{imp*1e3:.0f} ms",
        "<= 1 s, 3x faster", imp <= 1 and py["read_s"] >= 3 * imp)
    row(f"items CSV export, 100,000 rows (Python csv write: {py['write_s']*1e3:.0f} ms)", f"{exp*1e3:.0f} ms",
        "<= 1 s, 3x faster", exp <= 1 and py["write_s"] >= 3 * exp)
    check = os.path.join(results, "csv_check.out")
    if os.path.exists(check):
        c = json.load(open(check))
        row(f"kestrel items csv-check, 100,000 rows, whole process (Python streaming parse: {c['python_s']*1e3:.0f} ms)",
            f"{c['kestrel_s']*1e3:.0f} ms", "3x faster", c["python_s"] >= 3 * c["kestrel_s"])
        row(f"  its peak memory ({c['file_bytes']/1e6:.1f} MB file; Python: {c['python_kb']/1e3:.0f} MB)",
            f"{c['kestrel_kb']/1e3:.0f} MB", "<= 3x file", c["kestrel_kb"] * 1024 <= 3 * c["file_bytes"])
    fill = get("BM_ItemsFillTable/real_time")["real"]
    row("item table filled with 100,000 rows", f"{fill*1e3:.0f} ms", "<= 1 s", fill <= 1)
    sr = get("BM_ItemsSparseReadPty/iterations:1/real_time")
    row(f"1,000 items over PLU 1-100000, pty {sr['baud']:.0f} baud: skipping read, {sr['skip_commands']:.0f} commands",
        f"{sr['real']:.1f} s", "")
    row(f"  the walk number by number: {sr['walk_commands']:.0f} commands at {sr['hit_ms']:.1f} / "
        f"{sr['miss_ms']:.1f} ms per read (item / empty), estimated", f"{sr['walk_est_s']:.0f} s", "")

stops = (("BM_StopItemsRead/0", "items read's logic, TCP"), ("BM_StopItemsRead/1", "items read's logic, pty 9600 baud"),
         ("BM_StopWindowItemsRead/0", "window, page's Stop, TCP"), ("BM_StopWindowItemsRead/1", "window, wait's Cancel, TCP"),
         ("BM_StopWindowItemsRead/2", "window, page's Stop, pty 9600 baud"))
for prefix, what in stops:
    found = [r for n, r in runs.items() if n.startswith(prefix + "/")]
    if found:
        slowest = found[0]["stop_ms_max"]
        row(f"stop request to the loop's end, device answering every 2 s: {what} (slowest of "
            f"{found[0]['iterations']:.0f})", f"{slowest:.1f} ms", "<= 200 ms", slowest <= 200)

w = max(len(r[0]) for r in rows)
print()
print(f"{'measure':<{w}}  {'value':>10}  {'goal':<14} verdict")
for what, value, goal, verdict in rows:
    print(f"{what:<{w}}  {value:>10}  {goal:<14} {verdict}")
PY

# Many devices at once: kestrel --hosts against simulators that take 300 ms a command.
echo "=== kestrel --hosts"
bash scripts/bench_fleet.sh build/release
