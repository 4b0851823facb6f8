#!/usr/bin/env python3
"""Opens every package named with two readers that are not ours: Python's
zipfile, with every entry's CRC checked, and .NET's packaging API
(System.IO.Packaging, under Mono), whose every part must have the length and
CRC-32 the zip gives its entry. Exits 1 when either refuses any package,
and when the .NET reader does not build where Mono is there.

Usage: check_packages.py BUILD-DIR PACKAGE...
BUILD-DIR keeps the compiled .NET reader between runs. Where Mono or its
WindowsBase is not installed, the .NET reader is skipped, saying so once.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

here = os.path.dirname(os.path.abspath(__file__))


WINDOWS_BASE = "/usr/lib/mono/4.5/WindowsBase.dll"


def dotnet_reader(build):
    """The built reader; None with why when Mono is not there; raises when
    it is there and the reader does not build."""
    source = os.path.join(here, "PackageReader.cs")
    exe = os.path.join(build, "PackageReader.exe")
    if not shutil.which("mcs") or not shutil.which("mono") or not os.path.exists(WINDOWS_BASE):
        return None, "Mono (mono-mcs, mono-runtime, libmono-windowsbase4.0-cil) is not installed"
    if not os.path.exists(exe) or os.path.getmtime(exe) < os.path.getmtime(source):
        # Built under a name of its own and renamed: two test runs may build
        # it at once.
        fd, temp = tempfile.mkstemp(suffix=".exe", dir=build)
        os.close(fd)
        made = subprocess.run(["mcs", "-nologo", "-r:WindowsBase", "-out:" + temp, source],
                              capture_output=True, text=True)
        if made.returncode != 0:
            os.unlink(temp)
            raise RuntimeError("the .NET reader did not build: " + (made.stdout + made.stderr).strip())
        os.replace(temp, exe)
    return exe, None


def zip_entries(path):
    with zipfile.ZipFile(path) as z:
        bad = z.testzip()
        if bad is not None:
            raise ValueError("zipfile: the CRC of %s does not match" % bad)
        return {"/" + i.filename: (i.file_size, i.CRC) for i in z.infolist()}


def main():
    build, packages = sys.argv[1], sys.argv[2:]
    failed = 0
    entries = {}
    for p in packages:
        try:
            entries[p] = zip_entries(p)
        except Exception as e:  # zipfile's own refusals, BadZipFile among them
            print("second reader: %s: zipfile refused it: %s" % (p, e))
            failed += 1
    try:
        exe, why = dotnet_reader(build)
    except RuntimeError as e:
        print("second reader: " + str(e))
        return 1
    if exe is None:
        print("second reader: .NET's packaging API not tried: " + why)
    else:
        for p in entries:
            run = subprocess.run(["mono", exe, p], capture_output=True, text=True)
            if run.returncode != 0:
                print("second reader: %s: System.IO.Packaging refused it: %s" % (p, run.stderr.strip()[:400]))
                failed += 1
                continue
            parts = {}
            for line in run.stdout.splitlines():
                _, name, length, crc = line.split("\t")
                parts[name] = (int(length), int(crc, 16))
            # Every entry is a part, but the list of content types.
            expected = {n: v for n, v in entries[p].items() if n != "/[Content_Types].xml"}
            if parts != expected:
                wrong = sorted(set(parts.items()) ^ set(expected.items()))
                print("second reader: %s: System.IO.Packaging read other parts than the zip holds: %s"
                      % (p, wrong[:6]))
                failed += 1
    print("second reader: %d packages, %d refused" % (len(packages), failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
