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
import uuid

from schema_check import check_json_output

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


def run(*args, config=None, timeout=120):
    env = dict(os.environ)
    env["XDG_CONFIG_HOME"] = config or os.path.join(WORK, "no-config")
    env["LC_ALL"] = "C"
    p = subprocess.run([MORVEL, *args], capture_output=True, text=True, env=env, timeout=timeout)
    check_json_output(args, p.stdout)
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
                check_json_output(args, p.stdout)
                self.assertEqual((p.returncode, p.stderr), (0, ""))
                self.assertEqual(p.stdout, f.read())


class BadInputs(unittest.TestCase):
    def test_failed_queries_print_ten_lines_and_exit_one(self):
        zeros = make_file("zeros.img", 1 << 20)
        missing = os.path.join(WORK, "missing.img")
        cases = [
            (missing, "Error opening volume:No such file or directory",
             f"morvel: {missing}: No such file or directory\n"),
            (WORK, "Error opening volume:Is a directory", ""),
            (zeros, "Error obtaining NTFS information:STATUS_INVALID_DEVICE_REQUEST",
             f"morvel: {zeros}: detected: empty (all zeros)\n"),
            ("B", "Error opening volume:No such file or directory", ""),
        ]
        # stderr says where a folder or drive letter was looked for (a letter: from the link tried).
        said = {WORK: f"morvel: {WORK}: not on a mounted NTFS volume\n",
                "B": "morvel: B: no link " + os.path.join(WORK, "no-config", "morvel", "dosdevices", "b::") + "; "}
        for target, error, reason in cases:
            with self.subTest(target=target):
                status, out, err = run(target)
                self.assertEqual(status, 1)
                self.assertEqual(out.splitlines(), failure_report(target, error))
                if target in said:
                    self.assertTrue(err.startswith(said[target]), err)
                else:
                    self.assertEqual(err, reason)

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
        for args in ([], ["--partition", "x", "a.img"], ["--nope", "C"], ["--partition", "1", "C"],
                     ["--color=sometimes", "a.img"]):
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
        # A partition that is not there is named with those that are.
        for target, said in ((disk, "partition 3 does not exist: the disk's MBR partition table holds partitions 1, 2"),
                             (volume, "partition 3 does not exist: this is a volume or disk without a partition "
                                      "table")):
            self.assertEqual(run("--partition", "3", target)[2], f"morvel: {target}: {said}\n")
        # An extended partition whose chain of boot records loops: the NTFS primary is still read.
        looped = make_file("looped.img", 64 << 20)
        shutil.copyfile(disk, looped)
        subprocess.run(["sfdisk", "-q", looped], input="start=2048, size=16384, type=5\n"
                       "start=20480, size=81920, type=7\n", text=True, check=True, capture_output=True)
        with open(looped, "r+b") as f:  # the EBR at 2048 holds a logical and links to itself
            ebr = bytearray(512)
            ebr[0x1BE + 4], ebr[0x1BE + 8:0x1BE + 16] = 0x83, struct.pack("<II", 8, 8)
            ebr[0x1CE + 4], ebr[0x1CE + 8:0x1CE + 16] = 0x05, struct.pack("<II", 0, 16)
            ebr[0x1FE:0x200] = b"\x55\xaa"
            f.seek(2048 * 512)
            f.write(ebr)
        status, out, err = run(looped)
        self.assertEqual(status, 0, err)
        self.check_report(out, looped, boot, free)
        self.assertIn(f"morvel: {looped}: warning: the extended partition's chain of boot records ends", err)
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
            self.assertIn(f" ({image}) ", rows[0])  # the loop device's file
            status, out, _ = run("--list", "--json")
            volume = [v for v in json.loads(out)["volumes"] if folder in v["mountPoints"]][0]
            self.assertEqual((volume["label"], volume["ntfsVersion"], volume["image"]), ("MountMe", "3.1", image))
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
def make_image(kind, source=None):
    """An image of `kind` made by the tools of its format, from the raw disk `source` for the
    containers. Returns its path (the first segment or the descriptor), or None when the tool
    refuses to make it here."""
    path = os.path.join(WORK, "img-" + kind)
    containers = {
        "vhd": ["qemu-img", "convert", "-O", "vpc", source, path],
        "vhdx": ["qemu-img", "convert", "-O", "vhdx", source, path],
        "vmdk": ["qemu-img", "convert", "-O", "vmdk", source, path],
        "vmdk-split": ["qemu-img", "convert", "-O", "vmdk", "-o", "subformat=twoGbMaxExtentSparse", source, path],
        "qcow2": ["qemu-img", "convert", "-O", "qcow2", source, path],
        "vdi": ["qemu-img", "convert", "-O", "vdi", source, path],
        "e01": ["ewfacquire", "-u", "-q", "-t", path, source],
        "e01-split": ["ewfacquire", "-u", "-q", "-c", "none", "-S", "4MiB", "-t", path, source],
        "s01": ["ewfacquire", "-u", "-q", "-f", "smart", "-t", path, source],
    }
    volumes = {
        "exfat": ["mkfs.exfat", path],
        "ext4": ["mkfs.ext4", "-q", "-F", path],
        "fat32": ["mkfs.vfat", "-F", "32", path],
        "luks": ["cryptsetup", "luksFormat", "--batch-mode", "--type", "luks2", "--pbkdf", "pbkdf2",
                 "--pbkdf-force-iterations", "1000", "--key-file", "-", path],
    }
    if kind in containers:
        made = subprocess.run(containers[kind], capture_output=True, input="throwaway", text=True, timeout=120)
        if kind.startswith("e01"):
            path += ".E01"
        elif kind == "s01":
            path += ".s01"
        return path if made.returncode == 0 else None
    make_file("img-" + kind, 32 << 20)
    if kind == "bitlocker":
        with open(path, "r+b") as f:
            f.write(b"\xeb\x58\x90-FVE-FS-")  # 3: the OEM name of a BitLocker volume
    elif kind == "text":
        with open(path, "w") as f:
            f.write("a text file\n" * 100)
    elif kind in volumes:
        made = subprocess.run(volumes[kind], capture_output=True, input="throwaway", text=True, timeout=120)
        return path if made.returncode == 0 else None
    return path


def make_disk(name, partitions):
    """A sparse MBR disk of 64 MiB; `partitions` are (start sector, sectors, type, image or None)."""
    disk = make_file(name, 64 << 20)
    table = "".join(f"start={start}, size={size}, type={kind}\n" for start, size, kind, _ in partitions)
    subprocess.run(["sfdisk", "-q", disk], input=table, text=True, check=True, capture_output=True)
    for start, size, _, image in partitions:
        if image:
            with open(image, "rb") as src, open(disk, "r+b") as dst:
                dst.seek(start * 512)
                dst.write(src.read(size * 512))
    return disk


def json_report(*args):
    status, out, _ = run("--json", *args)
    report = json.loads(out)["reports"][0]
    del report["target"]
    return status, report


class Containers(unittest.TestCase):
    """One NTFS volume with a file on it, inside an MBR disk, in every container."""

    @classmethod
    def setUpClass(cls):
        volume = make_volume("c-volume.img", 40 << 20, partition_start=2048)
        note = make_file("c-note.txt", 0)
        with open(note, "w") as f:
            f.write("kept inside every container\n" * 300)
        subprocess.run(["ntfscp", "-f", volume, note, "note.txt"], check=True, capture_output=True)
        cls.disk = make_disk("c-disk.img", [(2048, 81920, 7, volume)])

    def test_each_container_reports_as_the_raw_disk(self):
        _, raw, _ = run(self.disk)
        _, raw_json = json_report(self.disk)
        self.assertTrue(raw_json["ok"])
        for kind in ("vhd", "vhdx", "vmdk", "vmdk-split", "qcow2", "e01", "e01-split", "s01"):
            with self.subTest(kind=kind):
                image = make_image(kind, self.disk)
                self.assertIsNotNone(image)
                for args in ([image], ["--partition", "1", image]):
                    status, out, err = run(*args)
                    self.assertEqual((status, err), (0, ""))
                    self.assertEqual(out.replace(f"[{image}]", f"[{self.disk}]"), raw)
                    self.assertEqual(json_report(*args), (0, raw_json))
        # The split forms really are split: several EWF segments, a descriptor and its extents.
        files = os.listdir(WORK)
        self.assertGreater(len([name for name in files if name.startswith("img-e01-split.E")]), 2)
        self.assertTrue([name for name in files if name.startswith("img-vmdk-split-s001")])

    def test_without_the_container_readers_a_container_is_named_not_read(self):
        image = make_image("qcow2", self.disk)
        alone = os.path.join(WORK, "alone", "bin")  # a copy of the program with no module near it
        os.makedirs(alone, exist_ok=True)
        shutil.copy(MORVEL, alone)
        p = subprocess.run([os.path.join(alone, "morvel"), image], capture_output=True, text=True, timeout=20)
        self.assertEqual(p.returncode, 1)
        self.assertIn("detected: the container readers (morvel-containers.so) are not installed; looked in", p.stderr)
        self.assertEqual(subprocess.run([os.path.join(alone, "morvel"), self.disk], capture_output=True).returncode, 0)

    def test_a_drive_letter_linked_to_a_container_reads_through_it(self):
        image = make_image("qcow2", self.disk)
        config = os.path.join(WORK, "qcow-config")
        link = os.path.join(config, "morvel", "dosdevices", "q::")
        os.makedirs(os.path.dirname(link), exist_ok=True)
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(image, link)
        _, raw, _ = run("--details", self.disk)
        status, out, err = run("--details", "q", config=config)
        self.assertEqual((status, err), (0, ""))
        self.assertEqual(out.replace("[q] DRIVE", f"[{self.disk}] DRIVE").replace(f"{link} -> {image}", self.disk), raw)
        self.assertEqual(details_section(out)["Partition           "], "1")
        status, out, _ = run("--list", "--json", config=config)
        listed = [v for v in json.loads(out)["volumes"] if v["letter"] == "Q"]
        self.assertEqual([(v["device"], v["ntfsVersion"]) for v in listed], [(image, "3.1")], out)

    def test_a_differencing_image_reads_through_its_parent_and_names_a_missing_one(self):
        _, raw, _ = run(self.disk)
        for kind, name in (("qcow2", "QCOW2"), ("vmdk", "VMDK")):
            with self.subTest(kind=kind):
                parent = make_image(kind, self.disk)
                child = os.path.join(WORK, "c-child." + kind)
                subprocess.run(["qemu-img", "create", "-q", "-f", kind, "-b", os.path.basename(parent), "-F", kind,
                                child], check=True, capture_output=True)
                status, out, _ = run(child)
                self.assertEqual((status, out.replace(f"[{child}]", f"[{self.disk}]")), (0, raw))
                os.rename(parent, parent + ".gone")
                status, report = json_report(child)
                os.rename(parent + ".gone", parent)
                self.assertEqual((status, report["error"]), (1, "Error opening volume:No such file or directory"))
                self.assertEqual(report["detected"], f"a {name} disk image that cannot be read: it is a differencing "
                                 f'image and needs its parent "img-{kind}", which is not beside it')

    def test_what_is_not_ntfs_is_named(self):
        ext4, fat32 = make_image("ext4"), make_image("fat32")
        linux_disk = make_disk("c-linux-disk.img", [(2048, 40960, 83, ext4), (43008, 65536, "c", fat32)])
        listing = ("a whole disk (dos partition table) with no NTFS partition: partition 1 (Linux, type 0x83): "
                   "ext4 file system; partition 2 (FAT32, type 0x0c): FAT32 file system")
        cases = [
            ("exfat", [], "exFAT file system"),
            ("ext4", [], "ext4 file system"),
            ("fat32", [], "FAT32 file system"),
            ("bitlocker", [], "BitLocker-encrypted volume (unlock it first, for example with `bdemount` or "
                              "`dislocker`, and report the unlocked volume)"),
            ("luks", [], "LUKS-encrypted volume"),
            ("zeros", [], "empty (all zeros)"),
            ("text", [], "no known file system"),
            (linux_disk, [], listing),
            (make_image("qcow2", linux_disk), [], listing),
            (make_image("qcow2", linux_disk), ["--partition", "2"], "FAT32 file system"),
            (make_image("vdi", linux_disk), [], "a VDI disk image, which this build cannot read"),
        ]
        for kind, args, detected in cases:
            with self.subTest(kind=kind, args=args):
                image = kind if os.path.isabs(kind) else make_image(kind)
                if image is None:
                    self.skipTest(f"the tools cannot make a {kind} volume here")
                status, out, err = run(*args, image)
                self.assertEqual(status, 1)
                self.assertEqual(out.splitlines(), failure_report(
                    image, "Error obtaining NTFS information:STATUS_INVALID_DEVICE_REQUEST"))
                self.assertEqual(err, f"morvel: {image}: detected: {detected}\n")
                self.assertEqual(json_report(*args, image)[1]["detected"], detected)
                if not args:  # the same file behind a drive letter names the same contents
                    config = os.path.join(WORK, "door-config")
                    link = os.path.join(config, "morvel", "dosdevices", "w::")
                    os.makedirs(os.path.dirname(link), exist_ok=True)
                    if os.path.lexists(link):
                        os.remove(link)
                    os.symlink(image, link)
                    self.assertEqual(run("w", config=config)[2], f"morvel: w: detected: {detected}\n")


def vhdx_child(parent, child):
    """A differencing VHDX of `parent` that holds no block and no sector bitmap: qemu-img makes it
    dynamic, then it gains the HasParent flag and a locator naming its parent and the parent's
    DataWriteGuid (of its current header, the one with the higher sequence number)."""
    subprocess.run(["qemu-img", "create", "-q", "-f", "vhdx", "-o", "block_size=1M", child, "8M"], check=True)
    guid = lambda text: uuid.UUID(text).bytes_le
    heads = []
    with open(parent, "rb") as f:
        for at in (64 << 10, 128 << 10):
            f.seek(at)
            heads.append(f.read(48))  # 8: sequence number; 32: DataWriteGuid
    current = max(heads, key=lambda head: struct.unpack_from("<Q", head, 8)[0])
    linkage = "{%s}" % uuid.UUID(bytes_le=current[32:48])
    pairs = [("parent_linkage", linkage), ("absolute_win32_path", "C:\\vm\\" + os.path.basename(parent))]
    entries, blob, base = b"", b"", 20 + 12 * len(pairs)
    for key, value in pairs:
        k, v = key.encode("utf-16-le"), value.encode("utf-16-le")
        entries += struct.pack("<IIHH", base + len(blob), base + len(blob) + len(k), len(k), len(v))
        blob += k + v
    locator = guid("B04AEFB7-D19E-4A81-B789-25B8E9445913") + struct.pack("<HH", 0, len(pairs)) + entries + blob
    with open(child, "r+b") as f:
        f.seek(192 << 10)
        regions = f.read(4096)
        count = struct.unpack_from("<I", regions, 8)[0]
        meta = [struct.unpack_from("<Q", regions, at + 16)[0] for at in range(16, 16 + 32 * count, 32)
                if regions[at:at + 16] == guid("8B7CA206-4790-4B9A-B8FE-575F050F886E")][0]
        f.seek(meta)
        table = bytearray(f.read(65536))
        items = struct.unpack_from("<H", table, 10)[0]
        params = [meta + struct.unpack_from("<I", table, at + 16)[0] for at in range(32, 32 + 32 * items, 32)
                  if table[at:at + 16] == guid("CAA16737-FA36-4D43-B3B6-33F0AA44E76B")][0]
        struct.pack_into("<16sIII", table, 32 + 32 * items, guid("A8D35F2D-B30B-454D-ABF7-D3D84834AB0C"), 0x80000,
                         len(locator), 4)  # the parent locator, required
        struct.pack_into("<H", table, 10, items + 1)
        for at, data in ((meta, table), (meta + 0x80000, locator), (params + 4, b"\x02")):  # 2: HasParent
            f.seek(at)
            f.write(data)


def swap_for_fifo(path):
    if os.path.exists(path):
        os.remove(path)
    os.mkfifo(path)


class BrokenContainers(unittest.TestCase):
    """Containers missing a piece, holding a special file or beyond what this build reads:
    refused at once and named, never reported as the zeros or noise a library reads in their
    place; and VMDKs that qemu-img reads however they were named or padded."""

    @classmethod
    def setUpClass(cls):
        # A 4 MiB volume, then 4 MiB of noise: nine EWF segments of 1 MiB hold it uncompressed.
        cls.raw = make_volume("b-volume.img", 4 << 20)
        with open(cls.raw, "ab") as f:
            f.write(os.urandom(4 << 20))

    def folder(self, name):
        path = os.path.join(WORK, name)
        os.makedirs(path)
        return path

    def ewf(self, name, damage):
        image = os.path.join(self.folder(name), "img.E01")
        subprocess.run(["ewfacquire", "-u", "-q", "-c", "none", "-S", "1MiB", "-t", image[:-4], self.raw],
                       check=True, capture_output=True)
        damage(image)
        return image

    def made(self, name, command, fifo=None):
        """Runs `command`, whose last argument names the image it makes, in a folder of its own;
        then `fifo` there, a file the image names, becomes a FIFO."""
        folder = self.folder(name)
        subprocess.run(command, cwd=folder, check=True, capture_output=True)
        if fifo:
            swap_for_fifo(os.path.join(folder, fifo))
        return os.path.join(folder, command[-1])

    def test_each_is_refused_at_once_with_what_is_wrong(self):
        segment = lambda image, n: f"{image[:-2]}{n:02d}"
        cut = lambda path: os.truncate(path, os.path.getsize(path) // 2)

        def flip_boot_sector(image):  # in the first chunk, whose checksum then fails
            with open(image, "r+b") as f:
                f.seek(f.read().index(b"NTFS    "))
                f.write(b"X")

        ewf, ewf_error = "an EWF (E01) disk image that cannot be read: ", "No such file or directory"
        vhdx_parent = self.made("b-vhdx", ["qemu-img", "convert", "-O", "vhdx", self.raw, "parent.vhdx"])
        vhdx = os.path.join(os.path.dirname(vhdx_parent), "child.vhdx")
        vhdx_child(vhdx_parent, vhdx)
        cases = [
            (self.ewf("b-e03", lambda i: os.remove(segment(i, 3))), ewf_error, ewf + 'its segment "{3}" is missing'),
            (self.ewf("b-e09", lambda i: os.remove(segment(i, 9))), ewf_error, ewf + 'its segment "{9}" is missing'),
            (self.ewf("b-cut3", lambda i: cut(segment(i, 3))), "Input/output error",
             ewf + 'its segment "{3}" is truncated'),
            (self.ewf("b-cut9", lambda i: cut(segment(i, 9))), "Input/output error",
             ewf + 'its segment "{9}" is truncated'),
            (self.ewf("b-sum", flip_boot_sector), "Input/output error",
             ewf + "its data at bytes 0x00 to 0x7FFF fails its checksum"),
            (self.ewf("b-fifo", lambda i: swap_for_fifo(segment(i, 2))), "Block device required",
             ewf + 'its segment "{2}" is not a file or block device'),
            (self.made("b-vmdk", ["qemu-img", "convert", "-O", "vmdk", "-o", "subformat=monolithicFlat", self.raw,
                                  "d.vmdk"], fifo="d-flat.vmdk"),
             "Block device required", 'a VMDK disk image that cannot be read: its extent file "{dir}/d-flat.vmdk" '
             "is not a file or block device"),
            (self.made("b-qcow2", ["qemu-img", "create", "-q", "-f", "qcow2", "-u", "-b", "base", "-F", "raw",
                                   "-o", "size=8M", "c.qcow2"], fifo="base"),
             "Block device required", 'a QCOW2 disk image that cannot be read: its parent "{dir}/base" is not a '
             "file or block device"),
            (self.made("b-qcow1", ["qemu-img", "create", "-q", "-f", "qcow", "-b", self.raw, "-F", "raw", "c.qcow"]),
             "Operation not supported", "a QCOW disk image that cannot be read: a version 1 image with a backing "
             "file, which this build cannot read"),
            (vhdx, "Operation not supported", "a VHDX disk image that cannot be read: a differencing image with "
             "blocks that have no sector bitmap, which this build cannot read"),
        ]
        config = os.path.join(WORK, "broken-config")
        links = os.path.join(config, "morvel", "dosdevices")
        os.makedirs(links)
        for image, error, detected in cases:
            with self.subTest(image=image):
                detected = detected.format(*[segment(image, n) for n in range(10)], dir=os.path.dirname(image))
                status, out, err = run(image, timeout=2)  # a hang fails the case
                self.assertEqual((status, out.splitlines()),
                                 (1, failure_report(image, "Error opening volume:" + error)))
                self.assertEqual(err, f"morvel: {image}: detected: {detected}\n")
                os.symlink(image, os.path.join(links, chr(ord("g") + len(os.listdir(links))) + "::"))
        # Listed without waiting on a special file behind any of them.
        status, out, _ = run("--list", config=config, timeout=2)
        rows = [line for line in out.splitlines() if line[1:3] == ": " and "link" in line]
        self.assertEqual((status, len(rows)), (0, len(cases)), out)

    def test_a_vmdk_reads_whatever_its_name_and_however_short_its_descriptor(self):
        _, raw, _ = run(self.raw)
        folder = self.folder("b-vmdk-names")
        for subformat in ("monolithicSparse", "streamOptimized"):
            made = os.path.join(folder, subformat + ".vmdk")
            subprocess.run(["qemu-img", "convert", "-O", "vmdk", "-o", "subformat=" + subformat, self.raw, made],
                           check=True)
            os.rename(made, os.path.join(folder, "renamed-" + subformat + ".vmdk"))
        short = os.path.join(folder, "short.vmdk")
        subprocess.run(["qemu-img", "create", "-q", "-f", "vmdk", "-o", "subformat=monolithicFlat", short, "8M"],
                       check=True)
        shutil.copyfile(self.raw, os.path.join(folder, "short-flat.vmdk"))
        self.assertLess(os.path.getsize(short), 512)
        for name in ("renamed-monolithicSparse.vmdk", "renamed-streamOptimized.vmdk", "short.vmdk"):
            with self.subTest(name=name):
                image = os.path.join(folder, name)
                status, out, err = run(image, timeout=2)
                self.assertEqual((status, err, out.replace(image, self.raw)), (0, "", raw))


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
