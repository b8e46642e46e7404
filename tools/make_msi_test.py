#!/usr/bin/env python3
"""make-msi.py: the version rule, the codes, the script reading, and two builds of one input."""
import importlib.util
import os
import subprocess
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
spec = importlib.util.spec_from_file_location("make_msi", os.path.join(HERE, "make-msi.py"))
make_msi = importlib.util.module_from_spec(spec)
spec.loader.exec_module(make_msi)


class VersionTest(unittest.TestCase):
    def test_versions(self):
        rows = [
            ("10.10271150", "10.10.2711.50"),
            ("2.5", "2.50.0.0"),
            ("2.50", "2.50.0.0"),   # the same number to the engine
            ("2.51", "2.51.0.0"),
            ("1.0.0.1", "1.0.0.0"),  # atof stops at the second dot
            ("10", "10.0.0.0"),
            ("10.1x", "10.10.0.0"),
            ("255.99999999", "255.99.9999.99"),
            ("0.00000001", "0.0.0.1"),
        ]
        for text, expected in rows:
            with self.subTest(text=text):
                self.assertEqual(make_msi.msi_version(text), expected)

    def test_refused(self):
        for text in ("256.1", "1.123456789", "x1", ".5", ""):
            with self.subTest(text=text):
                with self.assertRaises(make_msi.Failure):
                    make_msi.msi_version(text)

    def test_order_follows_the_engine(self):
        increasing = ["1.0", "1.00000001", "1.000001", "1.05", "1.1", "1.10271150", "1.2", "1.99999999", "2", "10.1"]
        fields = [tuple(int(f) for f in make_msi.msi_version(v).split(".")) for v in increasing]
        self.assertEqual(fields, sorted(fields))
        self.assertEqual(len(set(fields)), len(fields))


class IdentityTest(unittest.TestCase):
    def test_codes(self):
        a = make_msi.identity("P", "2.5")
        self.assertEqual(a, make_msi.identity("P", "2.50"))
        b = make_msi.identity("P", "2.6")
        self.assertEqual(a["UpgradeCode"], b["UpgradeCode"])
        self.assertEqual(a["FrontComponentGuid"], b["FrontComponentGuid"])
        self.assertNotEqual(a["ProductCode"], b["ProductCode"])
        self.assertNotEqual(a["UpgradeCode"], make_msi.identity("Q", "2.5")["UpgradeCode"])

    def test_script(self):
        self.assertEqual(make_msi.script_identity(os.path.join(SOURCE, "tests/engine/package/qmsetup.ini")),
                         ("0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9_KX2", "1.0.0.0"))
        with tempfile.NamedTemporaryFile("w", suffix=".ini", delete=False) as f:
            f.write('[FILES]\r\nVAR {PRODUCT_VER} "9"\r\n[COMMON]\r\nVAR {PRODUCT_GUID} "G"\r\n')
        try:
            with self.assertRaises(make_msi.Failure):  # a version outside [COMMON] does not count
                make_msi.script_identity(f.name)
        finally:
            os.unlink(f.name)


class BuildTest(unittest.TestCase):
    def build(self, folder, name):
        output = os.path.join(folder, name)
        r = subprocess.run(["python3", os.path.join(HERE, "make-msi.py"), "--wxs",
                            os.path.join(SOURCE, "components/msi/QMSetup-runtime.wxs"),
                            "--front", os.path.join(folder, "front.dll"),
                            "--custom-actions", os.path.join(folder, "ca.dll"),
                            "--name", "Test runtime", "--product", "P", "--version", "10.10271150", "-o", output],
                           capture_output=True, text=True)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout + r.stderr, "", "quiet when it works")
        return output

    def dump(self, msi):
        folder = os.path.dirname(msi)  # export writes binary columns into ./Binary
        tables = subprocess.run(["msiinfo", "tables", msi], capture_output=True, text=True, check=True).stdout.split()
        tables.remove("_SummaryInformation")  # compared below, as suminfo
        text = {t: subprocess.run(["msiinfo", "export", msi, t], capture_output=True, check=True, cwd=folder).stdout
                for t in tables}
        info = subprocess.run(["msiinfo", "suminfo", msi], capture_output=True, text=True, check=True).stdout
        # wixl stamps the time it ran; everything else must match.
        text["suminfo"] = [line for line in info.splitlines() if not line.startswith(("Created", "Last saved"))]
        return text

    def test_two_builds_of_one_input_agree(self):
        with tempfile.TemporaryDirectory() as folder:
            for name in ("front.dll", "ca.dll"):
                with open(os.path.join(folder, name), "wb") as f:
                    f.write(name.encode() * 100)
            first = self.dump(self.build(folder, "a.msi"))
            second = self.dump(self.build(folder, "b.msi"))
            self.assertEqual(first, second)
            properties = first["Property"].decode()
            self.assertIn("ProductVersion\t10.10.2711.50", properties)
            self.assertIn("SecureCustomProperties\tLANGSEL;", properties)
            self.assertIn("ProductCode\t{%s}" % make_msi.identity("P", "10.10271150")["ProductCode"], properties)
            self.assertIn("\t10.10.2711.50\t\t513\t\tWIX_UPGRADE_DETECTED", first["Upgrade"].decode())


if __name__ == "__main__":
    unittest.main()
