#!/usr/bin/env python3
"""--check on mkntfs-made volumes, healthy and with one fault patched in: the exit status (0, 3,
and 1 when a query failed as well), the finding's text, its JSON, and the note on a volume that
is mounted read-write while it is read. Where the fault lies comes from ntfs-3g's ntfscluster.

usage: check_test.py MORVEL WORKDIR
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


def run(*args):
    p = subprocess.run([MORVEL, *args], capture_output=True)
    out = p.stdout.decode("utf-8", "surrogateescape")
    check_json_output(args, out)
    return p.returncode, out


def first_run(image, record):
    """(LCN, length) of the first run of the record's non-resident $DATA, as ntfscluster lists it."""
    listing = subprocess.run(["ntfscluster", "-I", str(record), image], capture_output=True, text=True).stdout
    data = listing[listing.index("0x80 - non-resident"):]
    vcn, lcn, length = re.search(r"^\s+(\d+)\s+(\d+)\s+(\d+)\s*$", data, re.M).groups()
    return int(lcn), int(length)


def patch(image, offset, change):
    with open(image, "r+b") as f:
        f.seek(offset)
        byte = f.read(1)[0]
        f.seek(offset)
        f.write(bytes([change(byte)]))


class Check(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if shutil.which("mkntfs", path=os.environ["PATH"] + ":/usr/sbin:/sbin") is None:
            raise unittest.SkipTest("mkntfs (ntfs-3g) is not installed")
        cls.clean = os.path.join(WORK, "clean.img")
        with open(cls.clean, "wb") as f:
            f.truncate(16 << 20)
        subprocess.run(["mkntfs", "-F", "-Q", "-c", "4096", "-p", "0", "-H", "0", "-S", "0", cls.clean],
                       check=True, capture_output=True)
        cls.upcase = first_run(cls.clean, 10)[0]
        bitmap = first_run(cls.clean, 6)[0]
        cls.bad = os.path.join(WORK, "bad.img")
        shutil.copy(cls.clean, cls.bad)
        # $UpCase's first cluster marked free in $Bitmap.
        patch(cls.bad, bitmap * 4096 + cls.upcase // 8, lambda b: b & ~(1 << (cls.upcase % 8)))
        cls.finding = ("claimed-free: clusters claimed but free in $Bitmap, where new data may overwrite them "
                       f"(1 cluster): cluster {cls.upcase} (record 10 $DATA)")

    def test_clean_volume_exits_0(self):
        code, out = run("--check", self.clean)
        self.assertEqual(code, 0, out)
        self.assertIn("\nConsistency check\n  Errors 0, warnings 0, findings 0\n", out)

    def test_inconsistent_volume_exits_3_with_the_finding(self):
        code, out = run("--check", self.bad)
        self.assertEqual(code, 3, out)
        self.assertIn("  Errors 1, warnings 0, findings 1\n  error " + self.finding + "\n", out)
        code, out = run("--check", "--json", self.bad)
        self.assertEqual(code, 3)
        findings = json.loads(out)["reports"][0]["findings"]
        self.assertEqual(findings, [{"severity": "error", "code": "claimed-free",
                                     "text": self.finding.split(": ", 1)[1], "notes": []}])

    def test_a_failed_query_outranks_an_inconsistent_volume(self):
        code, _ = run("--check", self.bad, os.path.join(WORK, "missing.img"))
        self.assertEqual(code, 1)

    def test_no_check_no_findings(self):
        code, out = run(self.bad)
        self.assertEqual(code, 0)
        self.assertNotIn("Consistency check", out)

    def test_warnings_alone_exit_0(self):
        dirty = os.path.join(WORK, "dirty.img")
        shutil.copy(self.clean, dirty)
        with open(dirty, "rb") as f:
            boot = f.read(512)
        cluster = int.from_bytes(boot[0x0B:0x0D], "little") * boot[0x0D]
        for lcn in (int.from_bytes(boot[0x30:0x38], "little"), int.from_bytes(boot[0x38:0x40], "little")):
            record = lcn * cluster + 3 * 1024  # $Volume, in $MFT and in $MFTMirr
            with open(dirty, "rb") as f:
                f.seek(record)
                r = f.read(512)
            at = int.from_bytes(r[0x14:0x16], "little")
            while int.from_bytes(r[at:at + 4], "little") != 0x70:
                at += int.from_bytes(r[at + 4:at + 8], "little")
            value = at + int.from_bytes(r[at + 0x14:at + 0x16], "little")
            patch(dirty, record + value + 0x0A, lambda b: b | 1)
        code, out = run("--check", dirty)
        self.assertEqual(code, 0, out)
        self.assertIn("  Errors 0, warnings 1, findings 1\n  warning volume-dirty: ", out)

    def check_mounted(self, image, options, by_image=False):
        """--check --json of the volume mounted with `options`, named by its mount point or its
        image; skips when it cannot be mounted."""
        mount = tempfile.mkdtemp(dir=WORK)
        try:
            if subprocess.run(["mount", "-o", options, image, mount], capture_output=True).returncode != 0:
                self.skipTest("the image cannot be mounted here")
            try:
                code, out = run("--check", "--json", image if by_image else mount)
            finally:
                subprocess.run(["umount", mount], check=True)
        finally:
            os.rmdir(mount)
        self.assertEqual(code, 3, out)
        return [f["notes"] for f in json.loads(out)["reports"][0]["findings"]]

    def test_volume_mounted_read_write_notes_it_is_in_use(self):
        image = os.path.join(WORK, "mounted.img")
        shutil.copy(self.bad, image)
        self.assertEqual(self.check_mounted(image, "loop,ro"), [[]])
        self.assertEqual(self.check_mounted(image, "loop"), [["in use: may change while read"]])
        self.assertEqual(self.check_mounted(image, "loop", by_image=True), [["in use: may change while read"]])


if __name__ == "__main__":
    MORVEL, WORK = sys.argv[1], sys.argv[2]
    os.makedirs(WORK, exist_ok=True)
    unittest.main(argv=sys.argv[:1])
