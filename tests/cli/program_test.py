#!/usr/bin/env python3
"""Runs the built console program on image files, devices links and bad inputs.

usage: program_test.py MORVEL WORKDIR
"""
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


def make_file(name, size):
    path = os.path.join(WORK, name)
    with open(path, "wb") as f:
        f.truncate(size)
    return path


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


def main():
    global MORVEL, WORK
    MORVEL, WORK = sys.argv[1], sys.argv[2]
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    unittest.main(argv=[sys.argv[0], "-v"])


if __name__ == "__main__":
    main()
