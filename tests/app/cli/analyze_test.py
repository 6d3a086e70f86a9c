#!/usr/bin/env python3
"""--analyze on a volume made by mkntfs and populated through an ntfs-3g mount, with files left
fragmented by filling the volume and deleting every other file and one file compressed,
against The Sleuth Kit: record
counts (fsstat, ils, icat of $MFT:$BITMAP), each file's fragments (istat -r), the most
fragmented files (with fls -r -p for their paths) and the free extents, counted here from the
bytes of $Bitmap (icat).

usage: analyze_test.py MORVEL WORKDIR
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

from schema_check import check_json_output

MORVEL = ""
WORK = ""


def sh(*args):
    return subprocess.run(args, check=True, capture_output=True).stdout


def text(*args):
    return sh(*args).decode("utf-8", "surrogateescape")


def populate(image):
    """Mounts `image`, writes files and leaves some fragmented; False when it cannot be mounted."""
    mount = tempfile.mkdtemp(dir=WORK)
    if subprocess.run(["mount", "-o", "loop,compression", image, mount], capture_output=True).returncode != 0:
        os.rmdir(mount)
        return False
    try:
        os.makedirs(os.path.join(mount, "dir", "sub"))
        packed = os.path.join(mount, "packed")  # files made in it are compressed
        os.mkdir(packed)
        os.setxattr(packed, "system.ntfs_attrib_be", (0x800).to_bytes(4, "big"))
        with open(os.path.join(packed, "text.txt"), "w") as f:
            f.write("compressible " * 30000)
        for i in range(40):
            with open(os.path.join(mount, "dir", "sub", f"small{i}.txt"), "w") as f:
                f.write(f"{i}\n")
        fill = os.path.join(mount, "fill")
        os.mkdir(fill)
        count = 0
        try:  # fill the volume, then free every other file: holes of 20 clusters
            while True:
                with open(os.path.join(fill, f"g{count}"), "wb") as f:
                    f.write(b"\0" * 81920)
                count += 1
        except OSError:
            pass
        os.sync()
        for i in range(1, count, 2):
            os.remove(os.path.join(fill, f"g{i}"))
        os.sync()
        for name, size in (("frag.bin", 900000), ("dir/second.bin", 300000), ("dir/sub/third.bin", 120000)):
            with open(os.path.join(mount, name), "wb") as f:
                f.write(os.urandom(size))
            os.sync()
    finally:
        subprocess.run(["umount", mount], check=True)
        os.rmdir(mount)
    return True


def fragments(runs):
    """Physically separate extents of allocated runs (start, length): adjacent ones join."""
    count, following = 0, None
    for start, length in runs:
        if start != following:
            count += 1
        following = start + length
    return count


def data_streams(image, record):
    """(size of the unnamed $DATA, fragments of every non-resident $DATA, whether one is
    compressed) as istat -r lists them."""
    size, total, runs, compressed = 0, 0, None, False
    for line in text("istat", "-r", image, str(record)).splitlines():
        head = re.match(r"Type: (\S+) \(\d+-\d+\)\s+Name: (.*?)\s+(Non-Resident|Resident).*?size: (\d+)", line)
        if head or not line.startswith("  "):
            if runs is not None:
                total += fragments(runs)
            runs = None
        if head and head[1] == "$DATA":
            compressed |= "Compressed" in line
            if head[2] == "N/A":
                size = int(head[4])
            if head[3] == "Non-Resident":
                runs = []
        elif runs is not None:
            run = re.match(r"\s+Starting address: (\d+), length: (\d+)(.*)", line)
            if run and "Sparse" not in run[3] and "Filler" not in run[3]:
                runs.append((int(run[1]), int(run[2])))
    if runs is not None:
        total += fragments(runs)
    return size, total, compressed


class AnalyzeOracle(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.image = os.path.join(WORK, "analyze.img")
        subprocess.run(["rm", "-f", cls.image], check=True)
        subprocess.run(["truncate", "-s", "32M", cls.image], check=True)
        subprocess.run(["mkntfs", "-F", "-Q", "-c", "4096", "-p", "0", "-H", "0", "-S", "0", cls.image], check=True,
                       capture_output=True)
        if not populate(cls.image):
            raise unittest.SkipTest("the image could not be mounted through ntfs-3g (mount -o loop)")
        p = subprocess.run([MORVEL, "--json", "--analyze", cls.image], capture_output=True, text=True, timeout=120,
                           env=dict(os.environ, LC_ALL="C"))
        check_json_output(["--json"], p.stdout)
        assert p.returncode == 0, p.stderr
        cls.analysis = json.loads(p.stdout)["reports"][0]["analysis"]
        fsstat = text("fsstat", cls.image)
        cls.records = int(re.search(r"Range: 0 - (\d+)", fsstat)[1])  # one past: The Sleuth Kit's orphan folder
        cls.clusters = int(re.search(r"Total Cluster Range: 0 - (\d+)", fsstat)[1]) + 1
        # ils -m: st_ls "-/d..." for a directory; the orphan folder lies past the records.
        cls.allocated = {}
        for line in text("ils", "-a", "-m", cls.image).splitlines():
            fields = line.split("|")
            if len(fields) > 3 and fields[2].isdigit() and int(fields[2]) < cls.records:
                cls.allocated[int(fields[2])] = fields[3].partition("/")[2].startswith("d")

    def test_records_files_and_directories(self):
        a = self.analysis
        bitmap = sh("icat", self.image, "0-176")  # $MFT:$BITMAP
        in_use = sum(bitmap[r // 8] >> (r % 8) & 1 for r in range(self.records))
        self.assertEqual((a["mftRecords"], a["recordsInUseByBitmap"], a["recordsFound"]),
                         (self.records, in_use, len(self.allocated)))
        directories = sum(self.allocated.values())
        self.assertEqual((a["files"], a["directories"]), (len(self.allocated) - directories, directories))

    def test_fragments_and_the_most_fragmented(self):
        paths = {}
        for line in text("fls", "-r", "-p", self.image).splitlines():
            m = re.match(r"\S+ (\d+)-128-\d+:\t(.*)$", line)
            if m and ":" not in m[2]:
                paths.setdefault(int(m[1]), "/" + m[2])
        expected, files, total, compressed = [], 0, 0, 0
        for record, directory in sorted(self.allocated.items()):
            if directory:
                continue
            size, count, packed = data_streams(self.image, record)
            if packed:  # counted apart
                compressed += 1
                continue
            if count > 0:
                files, total = files + 1, total + count
            if count > 1:
                expected.append((-count, -size, paths.get(record, ""), record))
        expected.sort()
        self.assertGreaterEqual(len(expected), 3, "the population left too few files fragmented")
        a = self.analysis
        self.assertEqual((a["fragmentedFiles"], a["fragments"], a["filesWithData"], a["compressedFiles"]),
                         (len(expected), total, files, compressed))
        self.assertEqual(compressed, 1)
        self.assertEqual([(f["path"], f["size"], f["fragments"]) for f in a["mostFragmented"]],
                         [(p, -s, -c) for c, s, p, _ in expected[:20]])

    def test_free_extents_from_the_bitmap_bytes(self):
        bitmap = sh("icat", self.image, "6")
        extents, run = [], 0
        for cluster in range(self.clusters):
            if bitmap[cluster // 8] >> (cluster % 8) & 1:
                if run:
                    extents.append(run)
                run = 0
            else:
                run += 1
        if run:
            extents.append(run)
        self.assertEqual(self.analysis["freeExtents"], {"count": len(extents), "largest": max(extents),
                                                        "clusters": sum(extents)})

    def test_the_same_analysis_without_a_second_thread(self):
        # A user allowed one process (ulimit -u 1) cannot start the thread that reads ahead: the
        # scan reads in turn and finds the same.
        if os.geteuid() != 0 or not shutil.which("su") or \
                subprocess.run(["su", "nobody", "-s", "/bin/bash", "-c", "true"], capture_output=True).returncode != 0:
            self.skipTest("needs root and su to run as another user")
        # A sanitized build's leak check needs a thread of its own at the end.
        asan = ":".join(o for o in (os.environ.get("ASAN_OPTIONS", ""), "detect_leaks=0") if o)
        folder = tempfile.mkdtemp()  # where that user may reach the program and the image
        try:
            image, program = os.path.join(folder, "copy.img"), os.path.join(folder, "morvel")
            shutil.copyfile(self.image, image)
            shutil.copy(MORVEL, program)
            os.chmod(folder, 0o755)
            os.chmod(image, 0o644)
            p = subprocess.run(["su", "nobody", "-s", "/bin/bash", "-c", 'ulimit -u 1 && exec "$0" --json --analyze "$1"',
                                program, image], capture_output=True, text=True, timeout=120,
                               env=dict(os.environ, LC_ALL="C", ASAN_OPTIONS=asan))
            self.assertEqual(p.returncode, 0, p.stderr)
            self.assertEqual(json.loads(p.stdout)["reports"][0]["analysis"], self.analysis)
        finally:
            shutil.rmtree(folder)


if __name__ == "__main__":
    MORVEL, WORK = sys.argv[1], sys.argv[2]
    os.makedirs(WORK, exist_ok=True)
    unittest.main(argv=sys.argv[:1])
