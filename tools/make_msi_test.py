#!/usr/bin/env python3
"""make-msi.py: the version rule, the codes, the script reading, and two builds of one input."""
import importlib.util
import os
import subprocess
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
module_spec = importlib.util.spec_from_file_location("make_msi", os.path.join(HERE, "make-msi.py"))
make_msi = importlib.util.module_from_spec(module_spec)
module_spec.loader.exec_module(make_msi)


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
    def build(self, folder, name, epoch):
        output = os.path.join(folder, name)
        r = subprocess.run(["python3", os.path.join(HERE, "make-msi.py"), "--wxs",
                            os.path.join(SOURCE, "components/msi/QMSetup-runtime.wxs"),
                            "--front", os.path.join(folder, "front.dll"),
                            "--custom-actions", os.path.join(folder, "ca.dll"),
                            "--name", "Test runtime", "--product", "P", "--version", "10.10271150", "-o", output],
                           capture_output=True, text=True, env=dict(os.environ, SOURCE_DATE_EPOCH=epoch))
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout + r.stderr, "", "quiet when it works")
        return output

    def msiinfo(self, *args):
        folder = os.path.dirname(args[1])  # export writes binary columns into ./Binary
        return subprocess.run(["msiinfo", *args], capture_output=True, text=True, check=True, cwd=folder,
                              env=dict(os.environ, TZ="UTC")).stdout

    def test_same_inputs_give_the_same_bytes(self):
        with tempfile.TemporaryDirectory() as folder:
            inputs = [os.path.join(folder, name) for name in ("front.dll", "ca.dll")]
            for path in inputs:
                with open(path, "wb") as f:
                    f.write(os.path.basename(path).encode() * 100)
            first = self.build(folder, "a.msi", "1000000000")
            for path in inputs:
                os.utime(path, (1500000000, 1500000000))  # a file's own time does not count
            second = self.build(folder, "b.msi", "1000000000")
            with open(first, "rb") as a, open(second, "rb") as b:
                self.assertTrue(a.read() == b.read(), "the two builds differ")
            self.assertNotEqual(open(first, "rb").read(), open(self.build(folder, "c.msi", "1000000001"), "rb").read())

            info = self.msiinfo("suminfo", first)
            self.assertIn("Created: Sun Sep  9 01:46:40 2001", info)
            self.assertIn("Last saved: Sun Sep  9 01:46:40 2001", info)
            self.assertIn("Revision number (UUID): {", info)
            properties = self.msiinfo("export", first, "Property")
            self.assertIn("ProductVersion\t10.10.2711.50", properties)
            self.assertIn("SecureCustomProperties\tLANGSEL;", properties)
            self.assertIn("ProductCode\t{%s}" % make_msi.identity("P", "10.10271150")["ProductCode"], properties)
            self.assertIn("\t10.10.2711.50\t\t513\t\tWIX_UPGRADE_DETECTED", self.msiinfo("export", first, "Upgrade"))


if __name__ == "__main__":
    unittest.main()
