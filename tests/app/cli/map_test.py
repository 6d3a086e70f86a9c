#!/usr/bin/env python3
"""The console program's cluster map on mkntfs-made volumes whose $Bitmap this test rewrites
with known patterns: the cells' fractions, where the system files lie (as The Sleuth Kit's
istat lists their clusters), the SVG parsed by xmllint and rendered by rsvg-convert, and the
terminal form.

usage: map_test.py MORVEL WORKDIR
"""
import json
import os
import pty
import re
import resource
import signal
import struct
import subprocess
import sys
import unittest
import zlib

from schema_check import check_json_output

MORVEL = ""
WORK = ""
CELLS = 4096
# Where the SVG puts cell i: a 9-pixel square at (16 + 10 * (i % 64), 64 + 10 * (i // 64)).
COLUMNS, MARGIN, GRID_TOP, PITCH = 64, 16, 64, 10
COLOURS = {"used": (0x2B, 0x57, 0x97), "free": (0xEC, 0xEF, 0xF4), "zone": (0xF5, 0xE0, 0x8C),
           "$LogFile": (0x2C, 0xA0, 0x2C)}


def run(*args, env=None, file_limit=None, ignore_size_signal=True):
    e = dict(os.environ, LC_ALL="C", XDG_CONFIG_HOME=os.path.join(WORK, "no-config"), **(env or {}))

    def limit():  # files no larger than file_limit bytes; a longer write fails or raises SIGXFSZ
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN if ignore_size_signal else signal.SIG_DFL)
        resource.setrlimit(resource.RLIMIT_FSIZE, (file_limit, file_limit))

    p = subprocess.run([MORVEL, *args], capture_output=True, text=True, env=e, timeout=120,
                       preexec_fn=limit if file_limit else None)
    check_json_output(args, p.stdout)
    return p


def run_on_terminal(*args, env):
    """The program's standard output on a pseudo-terminal (a pipe for stderr): (status, stdout)."""
    master, slave = pty.openpty()
    e = dict(os.environ, LC_ALL="C", XDG_CONFIG_HOME=os.path.join(WORK, "no-config"), **env)
    p = subprocess.Popen([MORVEL, *args], stdout=slave, stderr=subprocess.DEVNULL, env=e)
    os.close(slave)
    out = b""
    while True:
        try:
            piece = os.read(master, 65536)
        except OSError:  # EIO: the program closed its side
            break
        if not piece:
            break
        out += piece
    os.close(master)
    return p.wait(timeout=120), out.decode().replace("\r\n", "\n")


def attributes(image, record):
    """(type, name) -> clusters of each non-resident attribute, as istat lists them."""
    out = subprocess.run(["istat", "-f", "ntfs", image, str(record)], check=True, capture_output=True,
                         text=True).stdout
    found, current = {}, None
    for line in out.split("Attributes:", 1)[1].splitlines():
        head = re.match(r"Type: (\S+) \(\d+-\d+\)\s+Name: (.*?)\s+(Non-Resident|Resident)", line)
        if head:
            current = (head[1], head[2]) if head[3] == "Non-Resident" else None
            if current:
                found.setdefault(current, [])
        elif current and line.strip():
            found[current] += [int(c) for c in line.split()]
    return found


def system_areas(image):
    """Legend name -> clusters, for the system records 0-15."""
    named = {0: "$MFT", 1: "$MFTMirr", 2: "$LogFile", 6: "$Bitmap", 7: "$Boot", 10: "$UpCase"}
    areas = {}
    for record in range(16):
        for (kind, name), clusters in attributes(image, record).items():
            area = named.get(record) if (kind, name) == ("$DATA", "N/A") else "Other system files"
            areas.setdefault(area or "Other system files", set()).update(clusters)
    return areas


def cell_start(i, total):
    return i * total // CELLS


def cell_of(cluster, total):
    i = cluster * CELLS // total
    while cell_start(i + 1, total) <= cluster:
        i += 1
    while cell_start(i, total) > cluster:
        i -= 1
    return i


def png_pixels(path):
    """(width, rows of (r, g, b)) of an 8-bit RGB or RGBA PNG without interlacing."""
    with open(path, "rb") as f:
        data = f.read()
    pos, idat, width = 8, b"", 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            assert depth == 8 and colour in (2, 6), (depth, colour)
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw, stride, rows, prev = zlib.decompress(idat), width * channels, [], bytearray(width * channels)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            a = line[x - channels] if x >= channels else 0
            b, c = prev[x], prev[x - channels] if x >= channels else 0
            if kind == 1:
                line[x] = (line[x] + a) & 0xFF
            elif kind == 2:
                line[x] = (line[x] + b) & 0xFF
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        rows.append([tuple(line[x:x + 3]) for x in range(0, stride, channels)])
        prev = line
    return rows


class ClusterMap(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.image = os.path.join(WORK, "map.img")
        with open(cls.image, "wb") as f:
            f.truncate(512 << 20)  # larger than the 200 MiB MFT zone, so free cells lie outside it
        subprocess.run(["mkntfs", "-q", "-F", "-Q", "-s", "512", "-c", "4096", "-H", "0", "-S", "0", cls.image],
                       check=True, capture_output=True)
        bitmap = attributes(cls.image, 6)[("$DATA", "N/A")]
        cls.bitmap_at = bitmap[0] * 4096
        cls.areas = system_areas(cls.image)
        assert bitmap == list(range(bitmap[0], bitmap[0] + len(bitmap))), bitmap  # one run

    def write_pattern(self, used, total):
        bits = bytearray((total + 7) // 8)
        for c in range(total):
            if used(c):
                bits[c // 8] |= 1 << (c % 8)
        with open(self.image, "r+b") as f:
            f.seek(self.bitmap_at)
            f.write(bits)

    def report(self, *args):
        p = run("--json", *args, self.image)
        self.assertEqual(p.returncode, 0, p.stderr)
        return json.loads(p.stdout)["reports"][0]

    def test_cells_follow_the_bitmap_and_areas_lie_where_istat_says(self):
        total = self.report("--map", "-")["volumeData"]["TotalClusters"]
        patterns = {
            "first half used": lambda c: c < total // 2,
            "every other cluster": lambda c: c % 2 == 0,
            "one cluster at the end": lambda c: c == total - 1,
        }
        for name, used in patterns.items():
            with self.subTest(name):
                self.write_pattern(used, total)
                r = self.report("--map", os.path.join(WORK, "pattern.svg"))
                data, cells = r["volumeData"], r["map"]["cells"]
                self.assertEqual(r["map"]["usedClusters"], data["TotalClusters"] - data["FreeClusters"])
                wrong = []  # the document rounds fractions to four decimals
                for i in range(CELLS):
                    first, end = cell_start(i, total), cell_start(i + 1, total)
                    fraction = sum(used(c) for c in range(first, end)) / (end - first)
                    if abs(cells[i] - fraction) > 0.00005 + 1e-12:
                        wrong.append((i, cells[i], fraction))
                self.assertEqual(wrong, [])
        mapped = {a["name"]: a for a in r["map"]["areas"]}
        for area, clusters in self.areas.items():
            with self.subTest(area):
                cells = {i for first, last in mapped[area]["cellRanges"] for i in range(first, last + 1)}
                self.assertEqual(cells, {cell_of(c, total) for c in clusters})
                self.assertEqual(mapped[area]["clusters"], len(clusters))
        zone = mapped["MFT zone (modelled)"]["cellRanges"]
        self.assertEqual(zone, [[cell_of(data["MftZoneStart"], total), cell_of(data["MftZoneEnd"] - 1, total)]])

    def test_the_svg_parses_and_renders_each_kind_of_cell_in_its_colour(self):
        total = self.report("--map", "-")["volumeData"]["TotalClusters"]
        self.write_pattern(lambda c: c >= total // 2, total)  # the MFT zone lies in the free first half
        svg, png = os.path.join(WORK, "half.svg"), os.path.join(WORK, "half.png")
        r = self.report("--map", svg)
        subprocess.run(["xmllint", "--noout", svg], check=True)
        subprocess.run(["rsvg-convert", "-o", png, svg], check=True)
        rows = png_pixels(png)
        holding = {i for a in r["map"]["areas"] for first, last in a["cellRanges"] for i in range(first, last + 1)
                   if a["name"] != "MFT zone (modelled)"}
        zone = {i for a in r["map"]["areas"] if a["name"] == "MFT zone (modelled)"
                for first, last in a["cellRanges"] for i in range(first, last + 1)}
        cells = r["map"]["cells"]
        log = sorted(self.areas["$LogFile"])
        samples = {  # a cell wholly $LogFile's (the few clusters of $MFT and $Bitmap give way to the zone)
            "$LogFile": cell_of(log[len(log) // 2], total),
            "used": next(i for i in range(CELLS) if cells[i] == 1 and i not in holding),  # in the zone or not
            "zone": next(i for i in sorted(zone) if cells[i] == 0 and i not in holding),
            "free": next(i for i in range(CELLS) if cells[i] == 0 and i not in holding and i not in zone),
        }
        for kind, cell in samples.items():
            x = MARGIN + (cell % COLUMNS) * PITCH + 4
            y = GRID_TOP + (cell // COLUMNS) * PITCH + 4
            self.assertEqual(rows[y][x], COLOURS[kind], f"{kind} at cell {cell}")

    def test_terminal_form_fits_the_width_and_a_pipe_gets_plain_characters(self):
        p = run("--map", "-", self.image, env={"COLUMNS": "100"})
        self.assertEqual(p.returncode, 0, p.stderr)
        drawing = p.stdout.split("One character a cell of about ")[1].splitlines()[1:]
        grid = [line for line in drawing if not re.match(r"^. +\S", line)]
        self.assertEqual([len(line) for line in grid], [100] * 40 + [96])  # 4,096 cells
        self.assertTrue(all(ch in ".:+#zMmoLBUSX" for line in grid for ch in line))
        total = self.report()["volumeData"]["TotalClusters"]  # the cells $LogFile's one run fills show it
        self.assertIn("L" * (len(self.areas["$LogFile"]) * CELLS // total - 1), "".join(grid))

    def test_colour_follows_the_option_the_terminal_and_the_environment(self):
        ways = {  # standard output on a terminal or not, and the environment
            "terminal": (True, {}),
            "pipe": (False, {}),
            "NO_COLOR": (True, {"NO_COLOR": "1"}),
            "TERM=dumb": (True, {"TERM": "dumb"}),
        }
        coloured = {
            "auto": {"terminal": True, "pipe": False, "NO_COLOR": False, "TERM=dumb": False},
            "always": dict.fromkeys(ways, True),
            "never": dict.fromkeys(ways, False),
        }
        for mode, row in coloured.items():
            for way, colour in row.items():
                with self.subTest(mode=mode, way=way):
                    terminal, env = ways[way]
                    env = dict(dict(TERM="xterm-256color", NO_COLOR=""), **env)
                    args = ("--map", "-", f"--color={mode}", self.image)
                    if terminal:
                        status, out = run_on_terminal(*args, env=env)
                    else:
                        p = run(*args, env=env)
                        status, out = p.returncode, p.stdout
                    self.assertEqual(status, 0)
                    drawn = "One half character a cell" if colour else "One character a cell"
                    self.assertIn(drawn, out)
                    self.assertEqual("\x1b[" in out, colour)

    def test_the_file_replaces_regular_files_only_and_failures_say_why(self):
        victim, link, fifo = (os.path.join(WORK, n) for n in ("victim.txt", "linked.svg", "fifo.svg"))
        for name in (link, fifo):
            if os.path.lexists(name):
                os.remove(name)
        with open(victim, "w") as f:
            f.write("keep")
        os.symlink(victim, link)
        os.mkfifo(fifo)
        for target in (link, fifo, WORK, "/dev/null"):  # refused at once, nothing replaced
            with self.subTest(target=target):
                p = run("--map", target, self.image)
                self.assertEqual(p.returncode, 1)
                self.assertIn("exists and is not a regular file", p.stderr)
        self.assertTrue(os.path.islink(link) and os.path.exists(fifo) and os.path.exists("/dev/null"))
        with open(victim) as f:
            self.assertEqual(f.read(), "keep")
        os.chmod(victim, 0o600)  # a regular file is replaced and keeps its mode
        self.assertEqual(run("--map", victim, self.image).returncode, 0)
        self.assertEqual(os.stat(victim).st_mode & 0o777, 0o600)
        with open(victim) as f:
            self.assertTrue(f.read().startswith("<?xml"))
        for ignore in (True, False):  # past the size limit, with or without SIGXFSZ: no file left
            short = os.path.join(WORK, "short.svg")
            p = run("--map", short, self.image, file_limit=100000, ignore_size_signal=ignore)
            self.assertEqual(p.returncode, 1)
            self.assertIn("short.svg: writing: File too large", p.stderr)
            self.assertEqual([n for n in os.listdir(WORK) if n.startswith("short.svg")], [])
        self.assertEqual([n for n in os.listdir(WORK) if ".svg.tmp" in n], [])
        p = run("--map", os.path.join(WORK, "no-such-dir", "m.svg"), self.image)
        self.assertEqual(p.returncode, 1)
        self.assertIn("No such file or directory", p.stderr)
        for args in (["--map", "two.svg", self.image, self.image], ["--map", "-", "--map", "a.svg", self.image]):
            self.assertEqual(run(*args).returncode, 2)


def runs_by_record(image):
    """record -> [(type, name, [(lcn, length)])] of each allocated record's non-resident
    attributes, as istat -r lists their runs (holes are not listed)."""
    out = subprocess.run(["ils", "-a", image], check=True, capture_output=True, text=True).stdout
    records = [int(line.split("|")[0]) for line in out.splitlines()[3:] if line.split("|")[0].isdigit()]
    found = {}
    for record in records:
        text = subprocess.run(["istat", "-r", "-f", "ntfs", image, str(record)], capture_output=True,
                              text=True, errors="replace").stdout
        current = None
        for line in text.split("Attributes:", 1)[-1].splitlines():
            head = re.match(r"Type: (\S+) \(\d+-\d+\)\s+Name: (.*?)\s+(Non-Resident|Resident)", line)
            if head:
                current = [head[1], head[2], []] if head[3] == "Non-Resident" else None
                if current:
                    found.setdefault(record, []).append(current)
            elif current and (run := re.match(r"\s*Starting address: (\d+), length: (\d+)", line)):
                current[2].append((int(run[1]), int(run[2])))
    return found


class CellOwners(unittest.TestCase):
    """With --analyze, each cell's layers and the files owning the most of it, against the runs
    The Sleuth Kit's istat gives for every record, on a volume filled through ntfs-3g."""

    @classmethod
    def setUpClass(cls):
        cls.image = os.path.join(WORK, "owners.img")
        with open(cls.image, "wb") as f:
            f.truncate(48 << 20)  # 1 KiB clusters: 12 a cell, several small files in some
        subprocess.run(["mkntfs", "-q", "-F", "-Q", "-s", "512", "-c", "1024", "-H", "0", "-S", "0", cls.image],
                       check=True, capture_output=True)
        folder = os.path.join(WORK, "owners-mnt")
        os.makedirs(folder, exist_ok=True)
        mounted = subprocess.run(["mount", "-o", "loop", cls.image, folder], capture_output=True, text=True)
        if mounted.returncode != 0:
            raise unittest.SkipTest("mounting the test image was refused: " + mounted.stderr.strip())
        try:
            os.makedirs(os.path.join(folder, "dir"))
            for i in range(1, 120):
                with open(os.path.join(folder, "dir", f"f{i}"), "wb") as f:
                    f.write(bytes([i]) * (i * 613 % 9000 + 1))
            for i in range(300):  # an index beyond its root: the directory's $INDEX_ALLOCATION
                open(os.path.join(folder, "dir", f"a name long enough to fill index blocks {i}"), "w").close()
            with open(os.path.join(folder, "ctl\x01<&>.bin"), "wb") as f:
                f.write(b"x" * 40000)
        finally:
            subprocess.run(["umount", folder], check=True, capture_output=True)
        cls.runs = runs_by_record(cls.image)
        cls.total = json.loads(run("--json", cls.image).stdout)["reports"][0]["volumeData"]["TotalClusters"]

    def owned(self, total):
        """cell -> {record: clusters} by the runs istat lists."""
        cells = {}
        for record, attributes in self.runs.items():
            for _, _, runs in attributes:
                for lcn, length in runs:
                    for cluster in range(lcn, min(lcn + length, total)):
                        owners = cells.setdefault(cell_of(cluster, total), {})
                        owners[record] = owners.get(record, 0) + 1
        return cells

    def test_owners_and_layers_as_the_runs_give_them(self):
        p = run("--analyze", "--json", "--map", "-", self.image)
        self.assertEqual(p.returncode, 0, p.stderr)
        m = json.loads(p.stdout)["reports"][0]["map"]
        owned, compared = self.owned(self.total), 0
        for cell, owners in enumerate(m["owners"]):
            size = cell_start(cell + 1, self.total) - cell_start(cell, self.total)
            listed = owned.get(cell, {})
            # istat lists a stream's runs up to its data size: a cell holding clusters allocated
            # past it ($MFT's reserve) has used clusters no listed run owns, and is left out.
            if sum(listed.values()) != round(m["cells"][cell] * size):
                continue
            compared += 1
            expected = sorted(listed.items(), key=lambda o: (-o[1], o[0]))[:3]
            self.assertEqual([(o["record"], o["clusters"]) for o in owners], expected, f"cell {cell}")
        self.assertGreaterEqual(compared, CELLS - 4)
        self.assertTrue(any(len(o) == 3 for o in m["owners"]), "no cell shared by three files")
        # The directory's index and the files' data, as layers.
        i30 = sum(n for r, attributes in self.runs.items() if r >= 16 for t, name, runs in attributes
                  if name == "$I30" for _, n in runs)
        layers = {layer["name"]: layer["clusters"] for layer in m["layers"]}
        self.assertGreater(i30, 0)
        self.assertEqual(layers["Directories"], i30)
        # The paths, as ffind names the records.
        paths = {o["record"]: o["path"] for owners in m["owners"] for o in owners}
        for record in sorted(paths)[:40] + [max(paths)]:
            found = subprocess.run(["ffind", self.image, str(record)], capture_output=True, text=True,
                                   errors="surrogateescape").stdout.splitlines()[0]
            # ffind shows a control character as ^.
            self.assertEqual(re.sub(r"[\x00-\x1f]", "^", paths[record]), "/" + found.lstrip("/"), record)
        # Without a scan the map is as it was: no owners, no layers.
        plain = json.loads(run("--json", "--map", "-", self.image).stdout)["reports"][0]["map"]
        self.assertNotIn("owners", plain)
        self.assertEqual(plain["cells"], m["cells"])

    def test_svg_titles_name_the_owners_escaped(self):
        svg = os.path.join(WORK, "owners.svg")
        self.assertEqual(run("--analyze", "--map", svg, self.image).returncode, 0)
        record = next(r for r, attributes in self.runs.items() for t, name, runs in attributes
                      if r >= 16 and t == "$DATA" and sum(n for _, n in runs) == 40)  # the 40,000-byte file
        first = self.runs[record][0][2][0][0]
        owner = subprocess.run(["ifind", "-d", str(first), self.image], capture_output=True, text=True).stdout
        self.assertEqual(int(owner.split("-")[0]), record)
        with open(svg, encoding="utf-8") as f:
            titles = re.findall(r"<title>(.*?)</title>", f.read(), re.S)
        title = titles[1 + cell_of(first, self.total)]
        self.assertIn(f"clusters: /ctl\\x01&lt;&amp;&gt;.bin (record {record})", title)


def main():
    global MORVEL, WORK
    MORVEL, WORK = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    os.makedirs(WORK, exist_ok=True)
    unittest.main(argv=[sys.argv[0], "-v"])


if __name__ == "__main__":
    main()
