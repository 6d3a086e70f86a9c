#!/usr/bin/env python3
"""Runs the built console program on mkntfs-made volumes, whole disks, drive letter links and
bad inputs.

usage: program_test.py MORVEL WORKDIR
"""
import gzip
import json
import re
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
        # stderr says where a folder or drive letter was looked for.
        said = {WORK: f"morvel: {WORK}: not on a mounted NTFS volume\n",
                "B": "morvel: B: no link " + os.path.join(WORK, "no-config", "morvel", "dosdevices", "b::") + "; "}
        for target, error in cases:
            with self.subTest(target=target):
                status, out, err = run(target)
                self.assertEqual(status, 1)
                self.assertEqual(out.splitlines(), failure_report(target, error))
                self.assertEqual(err[:len(said.get(target, ""))], said.get(target, ""))
                self.assertEqual(err == "", target not in said)

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


def make_labelled(name, label, size=32 << 20):
    path = make_file(name, size)
    subprocess.run(["mkntfs", "-q", "-F", "-Q", "-L", label, "-p", "0", "-H", "0", "-S", "0", path], check=True,
                   capture_output=True)
    return path


def details_section(out):
    lines = out.splitlines()
    start = lines.index("Volume details")
    return dict(line.split(" : ", 1) for line in lines[start + 2:])


class Details(unittest.TestCase):
    def test_details_follow_the_unchanged_report(self):
        image = make_labelled("details.img", "Archiv\x1b")
        status, plain, _ = run(image)
        status, out, err = run("--details", image)
        self.assertEqual((status, err), (0, ""))
        self.assertEqual(out.split("\n\nVolume details\n")[0] + "\n", plain)
        with open(image, "rb") as f:
            serial = struct.unpack_from("<Q", f.read(512), 0x48)[0]  # 0x48: serial number
        self.assertEqual(details_section(out), {
            "Label               ": "Archiv\\x1b",
            "NTFS version        ": "3.1",
            "Volume flags        ": "0x0000: none",
            "Hibernated          ": "no (no hiberfil.sys)",
            "Serial number       ": "0x%016x" % serial,
            "Physical sector size": "unknown (an image file; logical 512)",
            "$MFT extents        ": "1",
            "Source              ": image,
            "Partition           ": "none (the source is the volume)",
            "Byte offset         ": "0",
            "Figures             ": "read from the volume",
            "MFT zone            ": "modelled (a running driver keeps it in memory)",
        })
        status, out, _ = run("--json", "--details", image)
        details = json.loads(out)["details"][0]
        self.assertEqual((status, details["ok"], details["label"], details["serialNumber"]),
                         (0, True, "Archiv\x1b", "0x%016x" % serial))
        self.assertEqual(details["source"], {"path": image, "partition": 0, "byteOffset": 0,
                                             "figuresFrom": "read from the volume", "mftZoneModeled": True})
        self.assertIn('"label": "Archiv\\u001b"', out)  # escaped, never raw

    def test_special_files_fail_at_once(self):
        fifo = os.path.join(WORK, "fifo")
        if not os.path.exists(fifo):
            os.mkfifo(fifo)
        config = os.path.join(WORK, "fifo-config")
        os.makedirs(os.path.join(config, "morvel", "dosdevices"), exist_ok=True)
        link = os.path.join(config, "morvel", "dosdevices", "g::")
        if not os.path.lexists(link):
            os.symlink(fifo, link)
        for target, said in ((fifo, "not a file or block device"),
                             ("g:", f"the link {link} points at {fifo}: not a file or block device")):
            with self.subTest(target=target):
                status, out, err = run(target, config=config)  # run() times out: a hang fails the test
                self.assertEqual(status, 1)
                self.assertEqual(out.splitlines(), failure_report(target[0] if target == "g:" else target,
                                                                  "Error opening volume:Block device required"))
                self.assertEqual(err, f"morvel: {target}: {said}\n")


class Mounted(unittest.TestCase):
    """A volume mounted through ntfs-3g: listed, and reported through its folder and its files."""

    def test_mount_point_files_and_list(self):
        image = make_labelled("mounted.img", "MountMe")
        folder = os.path.join(WORK, "mnt")
        os.makedirs(folder, exist_ok=True)
        mounted = subprocess.run(["mount", "-o", "loop", image, folder], capture_output=True, text=True)
        if mounted.returncode != 0:
            self.skipTest("mounting the test image was refused: " + mounted.stderr.strip())
        try:
            os.makedirs(os.path.join(folder, "sub"))
            with open(os.path.join(folder, "sub", "file.txt"), "w") as f:
                f.write("x")
            with open(os.path.join(folder, "hiberfil.sys"), "wb") as f:
                f.write(b"hibr" + bytes(8188))
            os.sync()
            status, out, err = run("--list")
            self.assertEqual(status, 0, err)
            rows = [line for line in out.splitlines() if line.endswith(folder)]
            self.assertEqual(len(rows), 1, out)
            self.assertRegex(rows[0], r" MountMe +3\.1 +" + re.escape(folder) + "$")
            status, out, _ = run("--list", "--json")
            volume = [v for v in json.loads(out)["volumes"] if folder in v["mountPoints"]][0]
            self.assertEqual((volume["label"], volume["ntfsVersion"]), ("MountMe", "3.1"))
            boot = boot_sector(image)
            for target in (folder, os.path.join(folder, "sub"), os.path.join(folder, "sub", "file.txt")):
                with self.subTest(target=target):
                    status, out, err = run("--details", target)
                    self.assertEqual((status, err), (0, ""))
                    self.assertIn(f"NTFS VOLUME DATA OF [{target}] DRIVE", out)
                    self.assertIn(f"Total sectors          : {boot['sectors']}", out)
                    facts = details_section(out)
                    self.assertEqual(facts["Mounted at          "], folder)
                    self.assertEqual(facts["Label               "], "MountMe")
                    self.assertTrue(facts["Hibernated          "].startswith("yes"), facts)
        finally:
            subprocess.run(["umount", folder], capture_output=True)


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
