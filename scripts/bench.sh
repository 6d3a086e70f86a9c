#!/usr/bin/env bash
# Speed and memory of the console report beside the floor: the time to merely read the same
# volume's $Bitmap bytes.
#
#   [MORVEL_BITCOUNT=avx2] scripts/bench.sh [--runs N] [--no-windows] [--baseline MORVEL]
#                                           [--files N] [--million] [SIZE[:CLUSTER]]...
#
# SIZE is a volume size (20G, 2T, 16T-1M, ...), CLUSTER a cluster size for mkntfs (4K by
# default); the default set is 20G 256G 2T 16T-1M 2T:64K (ext4 holds no file of a full 16 TiB).
# For each, a sparse image is formatted with mkntfs -Q in build/linux/bench-volumes/ and
# measured twice: as mkntfs leaves it (a fresh volume, $Bitmap almost all clear) and with random
# bytes written over $Bitmap's extents (a used volume's mixed content). The extents come from
# The Sleuth Kit (fsstat, istat), not from the program; the image stays sparse elsewhere and is
# deleted afterwards.
#
# Warm: the report and the floor run alternately, after one untimed round. Cold: the image's
# cached pages are dropped (posix_fadvise DONTNEED) before every run. Each is shown as best and
# median of N runs (default 7); the ratio is best to best, the CPU ratio that of the least CPU
# time (user and system) of each, which a loaded machine disturbs less than wall time. The
# floor is dd reading each $Bitmap extent in blocks of the report's own chunk size
# (ntfs::kBitmapChunkSize). Peak RSS is GNU time's maximum resident set size of one report.
# "count" says whether the report's free clusters equal the clear bits among the first
# TotalClusters bits of the extents, counted here. --baseline names another build of the
# console program (an earlier version, say), measured in the same rounds, so that a change
# shows beside the figures it changes.
#
# Then the counting loop alone (bench/BitmapBench.cpp) per population-count routine, in the
# report's chunks, on Linux and, unless --no-windows, in the MinGW build under Wine
# (MORVEL_WINEPREFIX names the prefix). The CPU and the routine the report counts with are
# printed beside every table: MORVEL_BITCOUNT (portable, popcnt, avx2, avx512) makes the
# programs count with another routine this CPU runs, such as AVX2 on a CPU with AVX-512.
#
# Then --analyze on a populated volume: FILES files (--files, default 20000; 0 leaves it out)
# written through an ntfs-3g mount into a sparse 4 KiB-cluster image, the free space filled and
# every other filler and every seventh file deleted, and larger files written into the holes,
# so that they lie fragmented. Its floor is dd reading
# $MFT's extents (from The Sleuth Kit's istat) in the scan's chunks; the report's own
# $Bitmap pass is part of --analyze's time. --million adds a volume of a million files, whose
# image (written at a few thousand files a second) is kept in build/linux/bench-populated/
# for the next run. Target: --analyze within 1.3x of its floor warm; --check, against the same
# floor, is shown beside it (aim: 2x). Then the scan alone on a
# generated 2 TiB volume of a million files (bench/ScanBench.cpp): its memory, under 256 MiB.
#
# Targets, mixed content with the AVX2 routine: 2 TiB and 16 TiB less 1 MiB within 1.10x of the
# floor warm and 1.05x cold, 256 GiB within 1.25x and 20 GiB within 1.4x warm; peak RSS at most
# 4 MiB. Wall times depend on the machine's load (printed).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

runs=7 windows=1 baseline= sizes=() files=20000 million=0
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --no-windows) windows=0; shift ;;
    --baseline) baseline=$(realpath "$2"); shift 2 ;;
    --files) files=$2; shift 2 ;;
    --million) million=1; shift ;;
    -h | --help) sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) echo "bench.sh: unknown option $1" >&2; exit 2 ;;
    *) sizes+=("$1"); shift ;;
  esac
done
[[ $runs =~ ^[1-9][0-9]?$ ]] || { echo "bench.sh: --runs takes 1 to 99" >&2; exit 2; }
[[ $files =~ ^[0-9]{1,7}$ ]] || { echo "bench.sh: --files takes 0 to 9999999" >&2; exit 2; }
[ ${#sizes[@]} -gt 0 ] || sizes=(20G 256G 2T 16T-1M 2T:64K)
export PATH="$PATH:/usr/sbin:/sbin"
for tool in mkntfs fsstat istat dd /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "bench.sh: $tool is missing: run scripts/install-deps.sh" >&2; exit 1; }
done

cmake --preset linux >/dev/null
cmake --build --preset linux --target morvel morvel_bitmap_bench morvel_scan_bench >/dev/null

dir=$PWD/build/linux/bench-volumes
rm -rf "$dir"
mkdir -p "$dir"
trap 'rm -rf "$dir"' EXIT

bench=build/linux/bench/morvel_bitmap_bench
cpu="$(uname -m), $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
load() { uptime | sed 's/.*\(load average\)/\1/'; }
echo "$cpu; $(load)"
echo "$($bench --chosen); chunks of $(($($bench --chunk-size) / 1024)) KiB"
populated=()
[ "$files" -gt 0 ] && populated+=("$files:$dir")
[ "$million" = 1 ] && populated+=("1000000:$PWD/build/linux/bench-populated")
python3 - "$PWD/build/linux/src/app/cli/morvel" "$baseline" "$dir" "$runs" "$($bench --chunk-size)" \
  "$(build/linux/bench/morvel_scan_bench --chunk-size)" "${populated[*]}" "${sizes[@]}" <<'PY'
import json, os, random, re, resource, statistics, subprocess, sys, tempfile, time

morvel, baseline, work, runs, chunk = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5])
scan_chunk, populated, specs = int(sys.argv[6]), sys.argv[7].split(), sys.argv[8:]
programs = {"morvel": morvel, **({"baseline": baseline} if baseline else {})}
quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def tool(*argv):
    return subprocess.run(argv, capture_output=True, text=True, check=True).stdout


def data_extents(image, record, cluster):
    """The byte extents of a record's unnamed $DATA, as The Sleuth Kit reads them."""
    stat = tool("istat", "-r", image, str(record))
    data = re.search(r"^Type: \$DATA \(128-\d+\)\s+Name: N/A.*?size: (\d+).*?$(.*?)(?=^Type:|\Z)", stat, re.M | re.S)
    left, extents = int(data.group(1)), []
    for lcn, length in re.findall(r"Starting address: (\d+), length: (\d+)", data.group(2)):
        n = min(int(length) * cluster, left)
        extents.append((int(lcn) * cluster, n))
        left -= n
    if left != 0 or not extents:
        sys.exit(f"{image}: istat's runs of record {record} do not cover its {data.group(1)} bytes")
    return extents


def layout(image):
    """Cluster size, total clusters and $Bitmap's byte extents, as The Sleuth Kit reads them."""
    fs = tool("fsstat", image)
    cluster = int(re.search(r"Cluster Size:\s*(\d+)", fs).group(1))
    total = int(re.search(r"Total Cluster Range:\s*\d+\s*-\s*(\d+)", fs).group(1)) + 1
    return cluster, total, data_extents(image, 6, cluster)


def fill_random(image, extents, seed):
    """Random bytes over the extents, written in place: the rest of the image stays sparse."""
    rng = random.Random(seed)
    fd = os.open(image, os.O_WRONLY)
    try:
        for offset, length in extents:
            for at in range(0, length, 1 << 24):
                chunk = rng.randbytes(min(1 << 24, length - at))
                if os.pwrite(fd, chunk, offset + at) != len(chunk):
                    sys.exit(f"{image}: short write")
        os.fsync(fd)
    finally:
        os.close(fd)


def free_clusters(image, extents, total):
    """Clear bits among the first `total` bits of the extents."""
    clear, left = 0, total
    with open(image, "rb") as f:
        for offset, length in extents:
            f.seek(offset)
            for at in range(0, length, 1 << 24):
                if left <= 0:
                    break
                chunk = f.read(min(1 << 24, length - at))
                bits = min(len(chunk) * 8, left)
                value = int.from_bytes(chunk, "little") & ((1 << bits) - 1)
                clear += bits - value.bit_count()
                left -= bits
    return clear


def evict(image):
    fd = os.open(image, os.O_RDONLY)
    try:
        os.fsync(fd)
        os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
    finally:
        os.close(fd)


def cpu_children():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def run(commands, image=None):
    """(wall, CPU) seconds of running the commands one after the other; cold when an image is
    given. CPU time is what a loaded machine disturbs least."""
    if image:
        evict(image)
    cpu, start = cpu_children(), time.perf_counter()
    for argv in commands:
        subprocess.run(argv, check=True, **quiet)
    return time.perf_counter() - start, cpu_children() - cpu


def peak_rss(argv):
    """Maximum resident set size (KiB) by GNU time: a child forked from this interpreter would
    report the interpreter's own size, which the kernel carries over exec."""
    result = subprocess.run(["/usr/bin/time", "-f", "%M", *argv], stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True, check=True)
    return int(result.stderr.strip().splitlines()[-1])


def measure(image, floor):
    """{(cache, name): times} for every program and the floor, warm and cold, interleaved."""
    out = {}
    for cache in ("warm", "cold"):
        cold = image if cache == "cold" else None
        for round in range(runs + (cache == "warm")):  # a first warm round is not kept
            for name, argv in [*((n, [[p, image]]) for n, p in programs.items()), ("floor", floor)]:
                t = run(argv, cold)
                if cache == "cold" or round > 0:
                    out.setdefault((cache, name), []).append(t)
    return out


def space_left():
    s = os.statvfs(work)
    return s.f_bavail * s.f_frsize


def size_bytes(text):
    """Bytes of "2T", "64K", "16T-1M"."""
    total, sign = 0, 1
    for term in re.split(r"([+-])", text.upper()):
        if term in ("+", "-"):
            sign = -1 if term == "-" else 1
            continue
        m = re.fullmatch(r"(\d+)([KMGT]?)", term)
        if not m:
            sys.exit(f"bench.sh: bad size {text}")
        total += sign * (int(m.group(1)) << (10 * " KMGT".index(m.group(2) or " ")))
    return total


def ms(seconds):
    return f"{seconds * 1000:.1f}"


header = (f"{'volume':>6} {'cluster':>7} {'content':>7} {'cache':>5} {'program':>8} {'best/median ms':>17}"
          f" {'floor best/median ms':>21} {'ratio':>5} {'CPU ratio':>9} {'peak RSS':>9} {'$Bitmap':>9} {'count':>5}")
print(header)
print("-" * len(header), flush=True)
env = dict(os.environ, LC_ALL="C")
for spec in specs:
    size, _, cluster_text = spec.partition(":")
    cluster_size = size_bytes(cluster_text or "4K")
    bitmap_guess = size_bytes(size) // cluster_size // 8
    if space_left() < 3 * bitmap_guess + (1 << 30):
        sys.exit(f"bench.sh: too little space left in {work} for {spec}")
    image = os.path.join(work, f"volume-{size}-{cluster_size // 1024}K.img")
    subprocess.run(["truncate", "-s", str(size_bytes(size)), image], check=True)
    subprocess.run(["mkntfs", "-q", "-F", "-Q", "-c", str(cluster_size), image], check=True, **quiet)
    cluster, total, extents = layout(image)
    bitmap_bytes = sum(n for _, n in extents)
    floor = [["dd", f"if={image}", "of=/dev/null", f"bs={chunk}", "iflag=skip_bytes,count_bytes",
              f"skip={o}", f"count={n}", "status=none"] for o, n in extents]
    for content in ("fresh", "mixed"):
        if content == "mixed":
            fill_random(image, extents, seed=total)
        want = free_clusters(image, extents, total)
        checks = {}
        for name, program in programs.items():
            text = subprocess.run([program, image], capture_output=True, text=True, check=True, env=env).stdout
            shown = re.search(r"Free clusters\s*:\s*(\d+)", text)
            checks[name] = ("ok" if shown and int(shown.group(1)) == want else "WRONG", peak_rss([program, image]))
        evict(image)
        times = measure(image, floor)
        for cache in ("warm", "cold"):
            f = [w for w, _ in times[(cache, "floor")]]
            floor_cpu = min(c for _, c in times[(cache, "floor")])
            for name in programs:
                r = [w for w, _ in times[(cache, name)]]
                cpu = min(c for _, c in times[(cache, name)])
                count, rss = checks[name]
                print(f"{size:>6} {cluster // 1024:>6}K {content:>7} {cache:>5} {name:>8}"
                      f" {ms(min(r)):>7} / {ms(statistics.median(r)):>7} {ms(min(f)):>10} / {ms(statistics.median(f)):>8}"
                      f" {min(r) / min(f):>5.2f} {cpu / max(floor_cpu, 1e-6):>9.2f}"
                      f" {rss / 1024:>5.2f} MiB {bitmap_bytes / 1048576:>5.1f} MiB {count:>5}", flush=True)
    if len(extents) > 1:
        print(f"{'':>6} ($Bitmap in {len(extents)} extents: the floor runs one dd per extent)")
    usage = os.stat(image).st_blocks * 512
    os.remove(image)
    print(f"{'':>6} (image used {usage / 1048576:.0f} MiB of disk for {size})", flush=True)


def populate(image, files):
    """A sparse volume with `files` files written through an ntfs-3g mount, some fragmented."""
    # Room for the files and a little more, which fillers take and every other one gives back.
    room = (256 << 20) + files * 16384 if files <= 100000 else (1536 << 20) + files * 1536
    subprocess.run(["truncate", "-s", str(room), image], check=True)
    subprocess.run(["mkntfs", "-q", "-F", "-Q", "-c", "4096", image], check=True, **quiet)
    mount = tempfile.mkdtemp(dir=os.path.dirname(image))
    subprocess.run(["mount", "-o", "loop", image, mount], check=True)
    try:
        big = b"\xA5" * 40960
        for i in range(files):
            folder = os.path.join(mount, f"d{i // 1000}")
            if i % 1000 == 0:
                os.mkdir(folder)
            with open(os.path.join(folder, f"f{i}"), "wb") as f:  # resident, one run, several
                f.write(big[: (200, 9000, 200, 40960)[i % 4] if files <= 100000 else (9000 if i % 20 == 0 else 200)])
        os.sync()
        os.mkdir(os.path.join(mount, "fill"))
        fillers = 0
        try:  # the free space taken in 64 KiB files, then every other one freed: holes of 16 clusters
            while True:
                with open(os.path.join(mount, "fill", f"g{fillers}"), "wb") as f:
                    f.write(big[:32768] * 2)
                fillers += 1
        except OSError:
            pass
        os.sync()
        for i in range(0, fillers, 2):
            os.remove(os.path.join(mount, "fill", f"g{i}"))
        for i in range(0, files, 7):
            os.remove(os.path.join(mount, f"d{i // 1000}", f"f{i}"))
        os.sync()
        os.mkdir(os.path.join(mount, "large"))
        for i in range(max(files // 1000, 4)):
            with open(os.path.join(mount, "large", f"l{i}"), "wb") as f:
                f.write(big * 10)
        os.sync()
    finally:
        subprocess.run(["umount", mount], check=True)
        os.rmdir(mount)


for spec in populated:
    files, _, folder = spec.partition(":")
    files = int(files)
    os.makedirs(folder, exist_ok=True)
    image = os.path.join(folder, f"populated-{files}.img")
    if not os.path.exists(image):
        start = time.perf_counter()
        try:
            populate(image, files)
        except (OSError, subprocess.CalledProcessError) as e:
            os.remove(image)
            print(f"populated volume of {files} files: not made ({e}); skipped", flush=True)
            continue
        print(f"populated volume of {files} files written in {time.perf_counter() - start:.0f} s", flush=True)
    extents = data_extents(image, 0, layout(image)[0])  # $MFT's data
    floor = [["dd", f"if={image}", "of=/dev/null", f"bs={scan_chunk}", "iflag=skip_bytes,count_bytes",
              f"skip={o}", f"count={n}", "status=none"] for o, n in extents]
    # One dd a range costs a process each: with $MFT in many extents, the reads in one process too.
    reader = [["build/linux/bench/morvel_scan_bench", "--read", image, *(f"{o}:{n}" for o, n in extents)]]
    analysis = json.loads(subprocess.run([morvel, "--json", "--analyze", image], capture_output=True, text=True,
                                         check=True, env=env).stdout)["reports"][0]["analysis"]
    rss = peak_rss([morvel, "--analyze", image])
    times = {}
    for cache in ("warm", "cold"):
        cold = image if cache == "cold" else None
        for round in range(runs + (cache == "warm")):
            for name, argv in (("analyze", [[morvel, "--analyze", image]]), ("check", [[morvel, "--check", image]]),
                               ("floor", floor), ("reads", reader)):
                t = run(argv, cold)
                if cache == "cold" or round > 0:
                    times.setdefault((cache, name), []).append(t)
    print(f"--analyze, {files} files: {analysis['mftRecords']} records, {analysis['files']} files,"
          f" {analysis['directories']} directories, {analysis['fragmentedFiles']} fragmented,"
          f" {analysis['problemCount']} problems; $MFT {sum(n for _, n in extents) / 1048576:.1f} MiB"
          f" in {len(extents)} extents; peak RSS {rss / 1024:.1f} MiB")
    for cache in ("warm", "cold"):
        a, c, f, r = ([w for w, _ in times[(cache, name)]] for name in ("analyze", "check", "floor", "reads"))
        print(f"  {cache:>4}: --analyze {ms(min(a))} / {ms(statistics.median(a))} ms, floor (dd) {ms(min(f))} /"
              f" {ms(statistics.median(f))} ms: {min(a) / min(f):.2f}x; the reads in one process {ms(min(r))} /"
              f" {ms(statistics.median(r))} ms: {min(a) / min(r):.2f}x (best / median)", flush=True)
        print(f"        --check {ms(min(c))} / {ms(statistics.median(c))} ms: {min(c) / min(f):.2f}x the floor (dd),"
              f" {min(c) / min(r):.2f}x the reads in one process", flush=True)
    if folder == work:
        os.remove(image)
PY

echo
echo "The MFT scan's memory on a 2 TiB volume of a million files, records made as read; $(load):"
build/linux/bench/morvel_scan_bench 1000000

echo
echo "The counting loop alone, Linux build; $cpu; $(load):"
$bench --chosen
$bench 64 $((3 * runs))
if [ "$windows" = 1 ]; then
  echo
  echo "The counting loop alone, Windows build under Wine (${MORVEL_WINEPREFIX:-default prefix}); $cpu; $(load):"
  if command -v x86_64-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null; then
    cmake --preset windows >/dev/null
    cmake --build --preset windows --target morvel_bitmap_bench >/dev/null
    scripts/wine-run.sh build/windows/bench/morvel_bitmap_bench.exe --chosen
    scripts/wine-run.sh build/windows/bench/morvel_bitmap_bench.exe 64 $((3 * runs))
  else
    echo "(skipped: MinGW-w64 or Wine is not installed)"
  fi
fi
echo; echo "load at the end: $(load)"
