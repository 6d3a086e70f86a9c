#!/usr/bin/env python3
"""Runs the built console program on mkntfs-made volumes, whole disks, drive letter links and
bad inputs.

usage: program_test.py MORVEL WORKDIR
"""
import gzip
import json
import os
import shutil
import struct
import subprocess
import sys
import unittest

MORVEL = ""
WORK = ""

HEADER = [
    "Message from Original ...",
    "-" * 35,
    "Vantry",
    "NTFS volume layout report",
    "http://www.example.org/morvel/",
    "-" * 35,
]


def run(*args, config=None):
    env = dict(os.environ)
    env["XDG_CONFIG_HOME"] = config or os.path.join(WORK, "no-config")
    env["LC_ALL"] = "C"
    p = subprocess.run([MORVEL, *args], capture_output=True, text=True, env=env, timeout=120)
    return p.returncode, p.stdout, p.stderr


def failure_report(title, error):
    return HEADER + ["", f"NTFS VOLUME DATA OF [{title}] DRIVE", "", error]


def make_volume(name, size, sector=512, cluster=4096, partition_start=0):
    """An NTFS volume made by mkntfs in a sparse file."""
    path = make_file(name, size)
    subprocess.run(["mkntfs", "-q", "-F", "-Q", "-s", str(sector), "-c", str(cluster), "-p", str(partition_start),
                    "-H", "0", "-S", "0", path], check=True, capture_output=True)
    return path


def boot_sector(path, offset=0):
    """The boot sector's figures, read here rather than by the program under test."""
    with open(path, "rb") as f:
        f.seek(offset)
        b = f.read(512)
    sector = struct.unpack_from("<H", b, 0x0B)[0]   # 0x0B: bytes per sector
    per_cluster = b[0x0D]                           # 0x0D: sectors per cluster (or 2^-n)
    cluster = sector * per_cluster if per_cluster <= 0x80 else 1 << (256 - per_cluster)
    record = struct.unpack_from("<b", b, 0x40)[0]   # 0x40: clusters per record (or 2^-n bytes)
    return {
        "sector": sector,
        "cluster": cluster,
        "sectors": struct.unpack_from("<q", b, 0x28)[0],  # 0x28: total sectors
        "mft": struct.unpack_from("<q", b, 0x30)[0],      # 0x30: MFT cluster
        "mirror": struct.unpack_from("<q", b, 0x38)[0],   # 0x38: MFT mirror cluster
        "record": record * cluster if record > 0 else 1 << -record,
    }


def free_clusters(path, total):
    """Zero bits among the first `total` bits of $Bitmap, as ntfs-3g reads it."""
    bitmap = subprocess.run(["ntfscat", path, "$Bitmap"], check=True, capture_output=True).stdout
    used = sum(bin(byte).count("1") for byte in bitmap[: total // 8])
    used += sum((bitmap[total // 8] >> i) & 1 for i in range(total % 8))
    return total - used


def make_file(name, size):
    path = os.path.join(WORK, name)
    with open(path, "wb") as f:
        f.truncate(size)
    return path


class Sample(unittest.TestCase):
    def test_the_sample_gives_the_golden_report_and_document(self):
        here = os.path.dirname(os.path.abspath(__file__))
        sample = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(here))), "samples", "sample.ntfs.img.gz")
        with gzip.open(sample) as packed, open(os.path.join(WORK, "sample.ntfs.img"), "wb") as image:
            shutil.copyfileobj(packed, image)
        env = dict(os.environ, LC_ALL="C", XDG_CONFIG_HOME=os.path.join(WORK, "no-config"))
        for args, golden in ((["sample.ntfs.img"], "sample.txt"), (["--json", "sample.ntfs.img"], "sample.json")):
            with self.subTest(golden=golden), open(os.path.join(here, "golden", golden), encoding="utf-8") as f:
                p = subprocess.run([MORVEL, *args], capture_output=True, text=True, env=env, cwd=WORK, timeout=60)
                self.assertEqual((p.returncode, p.stderr), (0, ""))
                self.assertEqual(p.stdout, f.read())


class BadInputs(unittest.TestCase):
    def test_failed_queries_print_ten_lines_and_exit_one(self):
        zeros = make_file("zeros.img", 1 << 20)
        missing = os.path.join(WORK, "missing.img")
        cases = [
            (missing, "Error opening volume:No such file or directory"),
            (WORK, "Error opening volume:Is a directory"),
            (zeros, "Error obtaining NTFS information:STATUS_INVALID_DEVICE_REQUEST"),
            ("B", "Error opening volume:No such file or directory"),
        ]
        for target, error in cases:
            with self.subTest(target=target):
                status, out, err = run(target)
                self.assertEqual(status, 1)
                self.assertEqual(out.splitlines(), failure_report(target, error))
                self.assertEqual(err, "")

    def test_a_drive_letter_names_its_link(self):
        config = os.path.join(WORK, "config")
        links = os.path.join(config, "morvel", "dosdevices")
        os.makedirs(links, exist_ok=True)
        zeros = make_file("zeros-b.img", 1 << 20)
        for name, target in (("b::", zeros), ("x::", os.path.join(WORK, "gone.img"))):
            link = os.path.join(links, name)
            if os.path.lexists(link):
                os.remove(link)
            os.symlink(target, link)
        status, out, _ = run("b:", "X", config=config)
        self.assertEqual(status, 1)
        self.assertEqual(
            out.splitlines(),
            failure_report("b", "Error obtaining NTFS information:STATUS_INVALID_DEVICE_REQUEST")
            + [""]
            + failure_report("X", "Error opening volume:No such file or directory"),
        )

    def test_usage_errors_exit_two(self):
        for args in ([], ["--partition", "x", "a.img"], ["--nope", "C"], ["--partition", "1", "C"]):
            with self.subTest(args=args):
                status, out, err = run(*args)
                self.assertEqual(status, 2)
                self.assertEqual(out, "")
                self.assertIn("Usage: morvel", err)

    def test_json_is_valid_and_names_the_failure(self):
        zeros = make_file("zeros-j.img", 1 << 20)
        status, out, _ = run("--json", zeros, os.path.join(WORK, "missing.img"), "caf\u00e9.img")
        self.assertEqual(status, 1)
        subprocess.run([sys.executable, "-m", "json.tool"], input=out, text=True, check=True,
                       capture_output=True)
        doc = json.loads(out)
        reports = doc["reports"]
        self.assertEqual([r["ok"] for r in reports], [False, False, False])
        self.assertEqual(reports[0]["status"], "0xC0000010")
        self.assertEqual(reports[0]["statusName"], "STATUS_INVALID_DEVICE_REQUEST")
        self.assertEqual(reports[1]["errorCode"], 2)
        self.assertEqual(reports[2]["target"], "caf\u00e9.img")


ROOT_FILES = ["$MFT", "$MFTMirr", "$LogFile", "$Volume", "$AttrDef", "$Bitmap", "$Boot", "$BadClus", "$UpCase"]


class Volumes(unittest.TestCase):
    def check_report(self, out, title, boot, free):
        lines = out.splitlines()
        self.assertEqual(lines[:9], HEADER + ["", f"NTFS VOLUME DATA OF [{title}] DRIVE", ""])
        self.assertEqual(len(lines), 34 + len(ROOT_FILES))
        total = boot["sectors"] // (boot["cluster"] // boot["sector"])
        fields = dict(line.split(": ", 1) for line in lines[9:31] if ": " in line)
        self.assertEqual(fields["Total sectors          "], str(boot["sectors"]))
        self.assertEqual(fields["Total clusters         "], str(total))
        self.assertEqual(fields["Free clusters          "], str(free))
        self.assertEqual(fields["Bytes per sector       "], str(boot["sector"]))
        self.assertEqual(fields["Bytes per cluster      "], str(boot["cluster"]))
        self.assertEqual(fields["Bytes per MFT record   "], str(boot["record"]))
        self.assertEqual(fields["MFT start cluster      "], str(boot["mft"]))
        self.assertEqual(fields["MFT mirror start       "], str(boot["mirror"]))
        self.assertEqual(fields["Volume size            "], "%.2f MB" % (boot["sectors"] * boot["sector"] / 1048576))
        self.assertEqual(lines[32:34], ["Meta-Data files", "-" * 15])
        listing = [line.split()[0] for line in lines[34:]]
        self.assertEqual(listing, ROOT_FILES)
        self.assertIn("$UpCase        131072 bytes", lines[34:])

    def test_volumes_of_several_geometries(self):
        for sector, cluster in ((512, 4096), (512, 512), (4096, 65536)):
            with self.subTest(sector=sector, cluster=cluster):
                image = make_volume(f"vol-{sector}-{cluster}.img", 256 << 20, sector, cluster)
                boot = boot_sector(image)
                total = boot["sectors"] // (boot["cluster"] // boot["sector"])
                status, out, err = run(image)
                self.assertEqual((status, err), (0, ""))
                self.check_report(out, image, boot, free_clusters(image, total))

    def test_a_whole_disk_reports_its_first_ntfs_partition(self):
        # Partition 1 holds no file system, partition 2 an NTFS volume.
        volume = make_volume("part.img", 40 << 20, partition_start=20480)
        disk = make_file("disk.img", 64 << 20)
        subprocess.run(["sfdisk", "-q", disk], input="start=2048, size=16384, type=83\n"
                       "start=20480, size=81920, type=7\n", text=True, check=True, capture_output=True)
        with open(volume, "rb") as src, open(disk, "r+b") as dst:
            dst.seek(20480 * 512)
            shutil.copyfileobj(src, dst)
        boot = boot_sector(disk, 20480 * 512)
        free = free_clusters(volume, boot["sectors"] // (boot["cluster"] // boot["sector"]))
        for args in ([disk], ["--partition", "2", disk], ["--partition=2", disk]):
            with self.subTest(args=args):
                status, out, _ = run(*args)
                self.assertEqual(status, 0)
                self.check_report(out, disk, boot, free)
        for partition, error in (("1", "Error obtaining NTFS information:STATUS_INVALID_DEVICE_REQUEST"),
                                 ("3", "Error opening volume:No such device or address")):
            with self.subTest(partition=partition):
                status, out, _ = run("--partition", partition, disk)
                self.assertEqual(status, 1)
                self.assertEqual(out.splitlines(), failure_report(disk, error))
        # A drive letter linked to the whole disk reads the same partition.
        config = os.path.join(WORK, "disk-config")
        os.makedirs(os.path.join(config, "morvel", "dosdevices"), exist_ok=True)
        link = os.path.join(config, "morvel", "dosdevices", "n::")
        if not os.path.lexists(link):
            os.symlink(disk, link)
        status, out, _ = run("N", config=config)
        self.assertEqual(status, 0)
        self.check_report(out, "N", boot, free)

    def test_json_of_a_volume(self):
        image = make_volume("json.img", 64 << 20)
        boot = boot_sector(image)
        status, out, _ = run("--json", image)
        self.assertEqual(status, 0)
        subprocess.run([sys.executable, "-m", "json.tool"], input=out, text=True, check=True,
                       capture_output=True)
        report = json.loads(out)["reports"][0]
        self.assertTrue(report["ok"])
        data = report["volumeData"]
        self.assertEqual(data["NumberSectors"], boot["sectors"])
        self.assertEqual(data["BytesPerCluster"], boot["cluster"])
        self.assertEqual(data["MftStartLcn"], boot["mft"])
        self.assertEqual(data["FreeClusters"], free_clusters(image, data["TotalClusters"]))
        derived = report["derived"]
        self.assertAlmostEqual(derived["volumeSizeMB"], boot["sectors"] * boot["sector"] / 1048576)
        self.assertEqual(derived["mftZoneClusters"], data["MftZoneEnd"] - data["MftZoneStart"])
        self.assertEqual([f["name"] for f in report["metadataFiles"]], ROOT_FILES)
        self.assertEqual(report["metadataFiles"][-1]["size"], 131072)


class Locale(unittest.TestCase):
    def test_figures_use_the_decimal_separator_of_lc_numeric(self):
        locales = os.path.join(WORK, "locales")
        os.makedirs(locales, exist_ok=True)
        made = subprocess.run(["localedef", "-i", "de_DE", "-f", "UTF-8", os.path.join(locales, "de_DE.UTF-8")],
                              capture_output=True)
        if made.returncode not in (0, 1) or not os.path.exists(os.path.join(locales, "de_DE.UTF-8", "LC_NUMERIC")):
            self.skipTest("localedef cannot make de_DE.UTF-8 (Debian package locales)")
        image = make_volume("locale.img", 64 << 20)
        suppressions = os.path.join(os.path.dirname(os.path.abspath(__file__)), "glibc-locale.supp")
        env = dict(os.environ, LOCPATH=locales, LC_ALL="de_DE.UTF-8", LSAN_OPTIONS=f"suppressions={suppressions}")
        out = subprocess.run([MORVEL, image], capture_output=True, text=True, env=env, check=True).stdout
        lines = out.splitlines()
        self.assertIn("Volume size            : 64,00 MB", lines)
        free = [line for line in lines if line.startswith("Free space")][0]
        self.assertRegex(free, r"^Free space             : \d+,\d\d MB \(\d+,\d\d% of drive\)$")


def main():
    global MORVEL, WORK
    MORVEL, WORK = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    result = unittest.main(argv=[sys.argv[0], "-v"], exit=False).result
    if result.wasSuccessful():
        shutil.rmtree(WORK, ignore_errors=True)  # the images; kept for a look when a test failed
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
