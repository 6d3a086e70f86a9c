#!/usr/bin/env bash
# Speed and memory of the console report on large volumes, beside the floor: the time to
# merely read the same volume's $Bitmap bytes with dd (1 MiB blocks; the times of one dd per
# extent added up).
# Sparse images of 20 GiB, 200 GiB and 2 TiB are made with mkntfs -Q in the build directory
# and deleted afterwards. Both measurements run warm: each command runs once untimed, then the
# best wall time of ten runs is shown. Peak memory is the report's maximum resident set size
# as GNU time measures it. Targets: within 1.5x of the floor; peak RSS under 8 MiB.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
cmake --preset linux >/dev/null
cmake --build --preset linux --target morvel >/dev/null

dir=$PWD/build/linux/bench
rm -rf "$dir"
mkdir -p "$dir"
trap 'rm -rf "$dir"' EXIT

python3 - "$PWD/build/linux/src/app/cli/morvel" "$dir" "$@" <<'PY'
import os, re, subprocess, sys, time

morvel, work = sys.argv[1], sys.argv[2]
sizes = sys.argv[3:] or ["20G", "200G", "2T"]
RUNS = 10


def timed(argv):
    """Best wall time (s) of RUNS runs, after one warm-up."""
    best = None
    for i in range(RUNS + 1):
        start = time.perf_counter()
        subprocess.run(argv, stdout=subprocess.DEVNULL, check=True)
        elapsed = time.perf_counter() - start
        if i > 0:
            best = elapsed if best is None else min(best, elapsed)
    return best


def peak_rss(argv):
    """Maximum resident set size (KiB) by GNU time: a child forked from this interpreter would
    report the interpreter's own size, which the kernel carries over exec."""
    result = subprocess.run(["/usr/bin/time", "-f", "%M", *argv], stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True, check=True)
    return int(result.stderr.strip().splitlines()[-1])


def bitmap_extents(image):
    """Byte extents of $Bitmap's data, from ntfs-3g's own reading of the volume."""
    info = subprocess.run(["ntfsinfo", "-m", image], capture_output=True, text=True, check=True).stdout
    cluster = int(re.search(r"Cluster Size:\s*(\d+)", info).group(1))
    dump = subprocess.run(["ntfsinfo", "-v", "-i", "6", image], capture_output=True, text=True, check=True).stdout
    data = dump[dump.index("Dumping attribute $DATA"):]
    size = int(re.search(r"Data size:\s*(\d+)", data).group(1))
    extents, left = [], size
    for vcn, lcn, length in re.findall(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s*$", data, re.M):
        n = min(int(length, 16) * cluster, left)
        extents.append((int(lcn, 16) * cluster, n))
        left -= n
    return extents, size


print(f"{'volume':>8} {'report':>10} {'floor':>10} {'ratio':>6} {'peak RSS':>10} {'$Bitmap':>10}")
for size in sizes:
    image = os.path.join(work, f"volume-{size}.img")
    with open(image, "wb") as f:
        f.truncate(0)
    subprocess.run(["truncate", "-s", size, image], check=True)
    subprocess.run(["mkntfs", "-q", "-F", "-Q", image], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    extents, bitmap_bytes = bitmap_extents(image)
    report = timed([morvel, image])
    rss = peak_rss([morvel, image])
    floor = sum(timed(["dd", f"if={image}", "of=/dev/null", "bs=1M", "iflag=skip_bytes,count_bytes",
                       f"skip={o}", f"count={n}", "status=none"]) for o, n in extents)
    print(f"{size:>8} {report * 1000:>8.1f}ms {floor * 1000:>8.1f}ms {report / floor:>6.2f}"
          f" {rss / 1024:>7.2f}MiB {bitmap_bytes / 1048576:>7.1f}MiB", flush=True)
    os.remove(image)
PY
