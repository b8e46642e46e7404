#!/usr/bin/env python3
"""make-msi.py: builds the runtime MSI from its .wxs with wixl, around the given front DLL.

  make-msi.py --wxs WXS --front DLL --custom-actions DLL --name NAME -o OUT
              (--script INI | --product ID --version TEXT) [--wixl PATH] [--msibuild PATH]
  make-msi.py --identity (--script INI | --product ID --version TEXT)

The MSI takes its identity from the package the front carries: the product identifier and the
version text of the script's [COMMON] chapter ({PRODUCT_GUID}, {PRODUCT_VER}); --product and
--version override them.

MSI version. The engine compares versions as decimal numbers (atof: the leading number, text
after it ignored, so "2.5" equals "2.50" and "1.0.0.1" reads as 1.0). An MSI version is
major.minor.build[.revision] with major and minor below 256, build below 65536, and Windows
Installer compares only the first three fields. The number is kept whole and in order: the
integer part is the major version (below 256), and the fraction, up to 8 digits padded with zeros
on the right, is split 2-4-2 into minor, build and revision:
    10.10271150 -> 10.10.2711.50      2.5 and 2.50 -> 2.50.0.0      1.0.0.1 -> 1.0.0.0
So upgrades follow the engine's order in the first six fraction digits; two versions that differ
only in the last two are the same version to Windows Installer, which the same-version upgrade
row below lets replace each other.

Codes, all name-based UUIDs (version 5) in the project's namespace, so every build gives the same:
  UpgradeCode  from the product identifier: every version of one product shares it;
  ProductCode  from the identifier and the MSI version: a new version is a new product, which the
               MajorUpgrade rows remove before installing, and the same MSI twice is one product;
  component    from the identifier (same file, same place in every version);
  PackageCode  from the bytes of everything that goes in, so only identical inputs share one.

wixl 0.101 lacks three things the package needs, which msibuild adds afterwards: LANGSEL in
SecureCustomProperties (so a managed install passes it to the deferred action), the upgrade row
that also takes the same version (MajorUpgrade AllowSameVersionUpgrades), and the PackageCode
(wixl ignores Package/@Id and draws a random one).

Same inputs, same bytes: wixl stamps the summary information with the time it runs and the
cabinet with the files' modification times. Both get one fixed time instead: SOURCE_DATE_EPOCH
when set, else the time of the source tree's last commit, else 1980-01-01 (the cabinet's
earliest)."""
import argparse
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import uuid

NAMESPACE = uuid.UUID("8159b3ba-9db4-49ec-8572-1b037165fda6")
SECURE_PROPERTIES = "LANGSEL;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED"
MANUFACTURER = "QM"
TEMPLATE = "Intel;1033"
EARLIEST = 315532800  # 1980-01-01 00:00:00 UTC


class Failure(Exception):
    pass


def script_identity(path):
    """{PRODUCT_GUID} and {PRODUCT_VER} of the script's [COMMON] chapter."""
    try:
        with open(path, "rb") as f:
            text = f.read().decode("latin-1")
    except OSError as e:
        raise Failure(f"cannot read {path}: {e.strerror}")
    chapter, found = None, {}
    for line in text.splitlines():
        m = re.match(r"\s*\[([^\]]*)\]", line)
        if m:
            chapter = m.group(1).strip().upper()
            continue
        m = re.match(r'\s*VAR\s+\{(PRODUCT_GUID|PRODUCT_VER)\}\s+"([^"]*)"', line)
        if chapter == "COMMON" and m:
            found.setdefault(m.group(1), m.group(2))
    for name in ("PRODUCT_GUID", "PRODUCT_VER"):
        if name not in found:
            raise Failure(f"{path}: [COMMON] defines no {{{name}}}")
    return found["PRODUCT_GUID"], found["PRODUCT_VER"]


def msi_version(text):
    m = re.match(r"\s*(\d+)(?:\.(\d*))?", text)
    if not m:
        raise Failure(f"version {text!r} does not start with a decimal number")
    major = int(m.group(1))
    fraction = (m.group(2) or "").rstrip("0")
    if major > 255:
        raise Failure(f"version {text!r}: an MSI major version must be below 256")
    if len(fraction) > 8:
        raise Failure(f"version {text!r}: more than 8 fraction digits do not fit an MSI version")
    fraction = fraction.ljust(8, "0")
    return f"{major}.{int(fraction[0:2])}.{int(fraction[2:6])}.{int(fraction[6:8])}"


def identity(product, version_text):
    version = msi_version(version_text)
    return {
        "Version": version,
        "UpgradeCode": str(uuid.uuid5(NAMESPACE, f"upgrade:{product}")).upper(),
        "ProductCode": str(uuid.uuid5(NAMESPACE, f"product:{product}:{version}")).upper(),
        "FrontComponentGuid": str(uuid.uuid5(NAMESPACE, f"component:front:{product}")).upper(),
        "FolderComponentGuid": str(uuid.uuid5(NAMESPACE, f"component:folder:{product}")).upper(),
    }


def build_time(source):
    if os.environ.get("SOURCE_DATE_EPOCH", "").isdigit():
        return max(int(os.environ["SOURCE_DATE_EPOCH"]), EARLIEST)
    try:
        r = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"], capture_output=True, text=True)
        if r.returncode == 0 and r.stdout.strip().isdigit():
            return max(int(r.stdout.strip()), EARLIEST)
    except OSError:
        pass
    return EARLIEST


def set_summary_times(path, seconds):
    """Writes |seconds| (Unix time) over the creation and last-save times (properties 12 and 13)
    of the package's summary information, in place: the compound file's sectors are followed to
    the stream's bytes, whose size does not change."""
    with open(path, "r+b") as f:
        data = bytearray(f.read())
        u32 = lambda at: struct.unpack_from("<I", data, at)[0]
        sector, mini = 1 << struct.unpack_from("<H", data, 0x1E)[0], 1 << struct.unpack_from("<H", data, 0x20)[0]
        cutoff = u32(0x38)
        offset = lambda s: (s + 1) * sector
        difat = [u32(0x4C + 4 * i) for i in range(109)]
        s, extra = u32(0x44), u32(0x48)
        while extra and s < 0xFFFFFFFA:
            difat += [u32(offset(s) + 4 * i) for i in range(sector // 4 - 1)]
            s, extra = u32(offset(s) + sector - 4), extra - 1
        fat = []
        for s in difat[:u32(0x2C)]:
            fat += struct.unpack_from("<%dI" % (sector // 4), data, offset(s))

        def chain(start, table):
            out = []
            while start < 0xFFFFFFFA and len(out) <= len(table):
                out.append(start)
                start = table[start]
            return out

        def positions(sectors, size, unit, place):
            return [place(s) + i for s in sectors for i in range(unit)][:size]

        directory = positions(chain(u32(0x30), fat), len(fat) * sector, sector, offset)
        root_stream = positions(chain(u32(directory[0x74]), fat), u32(directory[0x78]), sector, offset)
        minifat = [u32(at) for at in positions(chain(u32(0x3C), fat), u32(0x40) * sector, sector, offset)[::4]]
        for entry in range(0, len(directory), 128):
            name_size = struct.unpack_from("<H", data, directory[entry + 64])[0]
            name = bytes(data[directory[entry + i]] for i in range(max(name_size - 2, 0))).decode("utf-16-le")
            if name != "\x05SummaryInformation":
                continue
            start, size = u32(directory[entry + 0x74]), u32(directory[entry + 0x78])
            if size < cutoff:
                stream = [root_stream[m * mini + i] for m in chain(start, minifat) for i in range(mini)][:size]
            else:
                stream = positions(chain(start, fat), size, sector, offset)
            read = lambda at: struct.unpack("<I", bytes(data[stream[at + i]] for i in range(4)))[0]
            section = read(44)  # after the set's header and its one (FMTID, offset) pair
            for i in range(read(section + 4)):
                pid, at = read(section + 8 + 8 * i), section + read(section + 12 + 8 * i)
                if pid in (12, 13) and read(at) == 64:  # VT_FILETIME
                    value = struct.pack("<Q", (seconds + 11644473600) * 10000000)
                    for k in range(8):
                        data[stream[at + 4 + k]] = value[k]
            f.seek(0)
            f.write(data)
            return
        raise Failure(f"{path}: no summary information")


def run(command, cwd=None, env=None):
    r = subprocess.run(command, capture_output=True, text=True, cwd=cwd, env=env)
    if r.returncode != 0:
        raise Failure(f"{os.path.basename(command[0])} failed ({r.returncode}): {(r.stderr or r.stdout).strip()}")


def build(args, product, version_text):
    defines = identity(product, version_text)
    defines.update(ProductName=args.name, Manufacturer=MANUFACTURER, Front="Inst_kx2.dll", CustomActions="qmmsica.dll")
    digest = hashlib.sha256()
    for path in (args.wxs, args.front, args.custom_actions):
        with open(path, "rb") as f:
            digest.update(hashlib.sha256(f.read()).digest())
    for key in sorted(defines):
        digest.update(f"{key}={defines[key]}\n".encode())
    package_code = "{" + str(uuid.uuid5(NAMESPACE, "package:" + digest.hexdigest())).upper() + "}"

    output = os.path.abspath(args.output)
    temporary = output + ".tmp"
    seconds = build_time(os.path.dirname(os.path.abspath(args.wxs)))
    # wixl 0.101 finds sources only by paths relative to its working folder.
    with tempfile.TemporaryDirectory(prefix="make-msi.", dir=os.path.dirname(output)) as folder:
        for source, name in ((args.front, defines["Front"]), (args.custom_actions, defines["CustomActions"])):
            shutil.copyfile(source, os.path.join(folder, name))
            os.utime(os.path.join(folder, name), (seconds, seconds))
        command = [args.wixl, "-o", temporary]
        for key, value in defines.items():
            command += ["-D", f"{key}={value}"]
        run(command + [os.path.abspath(args.wxs)], cwd=folder, env=dict(os.environ, TZ="UTC"))
    upgrade = "{" + defines["UpgradeCode"] + "}"
    run([args.msibuild, temporary,
         "-q", "DELETE FROM `Property` WHERE `Property` = 'SecureCustomProperties'",
         "-q", "INSERT INTO `Property` (`Property`, `Value`) VALUES ('SecureCustomProperties', '%s')" % SECURE_PROPERTIES,
         # Older and same versions: VersionMax inclusive (512), features migrated (1).
         "-q", "DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_UPGRADE_DETECTED'",
         "-q", "INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, `ActionProperty`) "
               "VALUES ('%s', '%s', 513, 'WIX_UPGRADE_DETECTED')" % (upgrade, defines["Version"]),
         "-s", args.name, MANUFACTURER, TEMPLATE, package_code])
    set_summary_times(temporary, seconds)
    os.replace(temporary, output)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--identity", action="store_true", help="print the version and codes, build nothing")
    parser.add_argument("--script")
    parser.add_argument("--product")
    parser.add_argument("--version")
    parser.add_argument("--wxs")
    parser.add_argument("--front")
    parser.add_argument("--custom-actions")
    parser.add_argument("--name")
    parser.add_argument("-o", "--output")
    parser.add_argument("--wixl", default="wixl")
    parser.add_argument("--msibuild", default="msibuild")
    args = parser.parse_args(argv[1:])
    try:
        product, version_text = args.product, args.version
        if args.script:
            script_product, script_version = script_identity(args.script)
            product, version_text = product or script_product, version_text or script_version
        if not product or version_text is None:
            raise Failure("give --script, or --product and --version")
        if args.identity:
            for key, value in identity(product, version_text).items():
                print(f"{key}={value}")
            return 0
        for option in ("wxs", "front", "custom_actions", "name", "output"):
            if not getattr(args, option):
                raise Failure(f"--{option.replace('_', '-')} is missing")
        build(args, product, version_text)
    except (Failure, OSError) as e:
        print(f"make-msi: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
