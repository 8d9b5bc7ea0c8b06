#!/usr/bin/env python3
"""Checks the resources and imports of the built Zarvo.exe.

Usage: check_resources.py ZARVO_EXE RESOURCES_FOLDER OBJDUMP VERSION

VERSION is the project's version (major.minor.patch).

Reads the PE resource section itself (no third-party tools), and the import
table, the header's security flags and the symbols through mingw's objdump.
"""
import re
import struct
import subprocess
import sys
import unittest
import xml.etree.ElementTree as ElementTree

RT_BITMAP, RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 2, 3, 14, 16, 24
LANG_EN_US = 1033

# file: (width, height, resource bytes, pixels per metre)
BITMAPS = {
    "ball.bmp": (32, 32, 3114, 2834),
    "title.bmp": (512, 512, 786474, 2834),
    "exit_hint.bmp": (128, 128, 49194, 11808),
    "left_keys.bmp": (128, 128, 49194, 11808),
    "paddle.bmp": (20, 76, 4602, 2834),
    "right_keys.bmp": (128, 128, 49194, 11808),
    "white.bmp": (64, 64, 12330, 2834),
}


def bitmap_ids(resources_folder):
    """{file: id} from resource_ids.h, where IDB_<NAME> is the id of <name>.bmp."""
    with open(f"{resources_folder}/resource_ids.h") as header:
        return {f"{name.lower()}.bmp": int(number)
                for name, number in re.findall(r"^#define IDB_([A-Z_]+) ([0-9]+)$", header.read(), re.M)}


# advapi32.dll: the stack protector's random guard value (CryptGenRandom).
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "opengl32.dll", "glu32.dll",
               "winmm.dll", "msvcrt.dll", "advapi32.dll"}


class PeFile:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        self.magic = struct.unpack_from("<H", data, optional)[0]
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        directories = optional + (112 if self.magic == 0x20B else 96)
        self.resource_rva, self.resource_size = struct.unpack_from("<II", data, directories + 2 * 8)
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            name, vsize, vaddr, raw_size, raw_ptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode(), vaddr, max(vsize, raw_size), raw_ptr))

    def offset(self, rva):
        for _, vaddr, size, raw_ptr in self.sections:
            if vaddr <= rva < vaddr + size:
                return raw_ptr + rva - vaddr
        raise ValueError(f"RVA {rva:#x} lies in no section")

    def resources(self):
        """{type: {id or name: {language: bytes}}} in directory order."""
        base = self.offset(self.resource_rva)

        def directory(offset):
            named, ids = struct.unpack_from("<HH", self.data, base + offset + 12)
            for i in range(named + ids):
                key, target = struct.unpack_from("<II", self.data, base + offset + 16 + 8 * i)
                if key & 0x80000000:
                    at = base + (key & 0x7FFFFFFF)
                    length = struct.unpack_from("<H", self.data, at)[0]
                    key = self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
                yield key, target

        def leaf(target):
            rva, size = struct.unpack_from("<II", self.data, base + target)
            start = self.offset(rva)
            return self.data[start:start + size]

        tree = {}
        for rtype, types_target in directory(0):
            assert types_target & 0x80000000, "type entry must be a directory"
            names = tree.setdefault(rtype, {})
            for rname, names_target in directory(types_target & 0x7FFFFFFF):
                assert names_target & 0x80000000, "name entry must be a directory"
                languages = names.setdefault(rname, {})
                for language, data_target in directory(names_target & 0x7FFFFFFF):
                    assert not data_target & 0x80000000, "language entry must hold data"
                    languages[language] = leaf(data_target)
        return tree


def icon_file_images(path):
    """The images of an .ico file, in its order."""
    with open(path, "rb") as f:
        ico = f.read()
    _, _, count = struct.unpack_from("<HHH", ico, 0)
    images = []
    for i in range(count):
        *_, size, offset = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
        images.append(ico[offset:offset + size])
    return images


def version_node(data, at=0):
    """One node of a VS_VERSIONINFO tree: (key, value bytes, children)."""
    length, value_length, text = struct.unpack_from("<HHH", data, at)
    end = data.index(b"\0\0", at + 6)
    while (end - at) % 2:
        end = data.index(b"\0\0", end + 1)
    key = data[at + 6:end].decode("utf-16-le")
    start = (end + 2 + 3) & ~3
    size = value_length * 2 if text else value_length
    value = data[start:start + size]
    children = []
    child = (start + size + 3) & ~3
    while child < at + length:
        children.append(version_node(data, child))
        child = (child + struct.unpack_from("<H", data, child)[0] + 3) & ~3
    return key, value, children


class ZarvoExe(unittest.TestCase):
    exe = resources_folder = objdump = version = None

    @classmethod
    def setUpClass(cls):
        with open(cls.exe, "rb") as f:
            cls.pe = PeFile(f.read())
        cls.tree = cls.pe.resources()

    def only_language(self, languages):
        self.assertEqual(list(languages), [LANG_EN_US])
        return languages[LANG_EN_US]


class Program(ZarvoExe):
    def test_is_a_64_bit_gui_program(self):
        self.assertEqual(self.pe.machine, 0x8664)
        self.assertEqual(self.pe.magic, 0x20B)
        self.assertEqual(self.pe.subsystem, 2, "IMAGE_SUBSYSTEM_WINDOWS_GUI")

    def test_imports_only_system_dlls(self):
        dump = subprocess.run([self.objdump, "-p", self.exe], check=True, capture_output=True,
                              text=True).stdout
        dlls = {line.split("DLL Name:")[1].strip().lower() for line in dump.splitlines()
                if "DLL Name:" in line}
        self.assertTrue(dlls, "no import table found")
        self.assertLessEqual(dlls, SYSTEM_DLLS, f"unexpected DLLs: {sorted(dlls - SYSTEM_DLLS)}")
        self.assertLessEqual({"user32.dll", "gdi32.dll", "opengl32.dll", "glu32.dll", "winmm.dll"}, dlls)

    def test_keeps_randomised_addresses_and_no_execute_data(self):
        dump = subprocess.run([self.objdump, "-p", self.exe], check=True, capture_output=True,
                              text=True).stdout
        lines = dump.splitlines()
        start = next(i for i, line in enumerate(lines) if line.startswith("DllCharacteristics"))
        flags = set()
        for line in lines[start + 1:]:
            if not re.fullmatch(r"\s+[A-Z_]+", line):
                break
            flags.add(line.strip())
        self.assertLessEqual({"DYNAMIC_BASE", "HIGH_ENTROPY_VA", "NX_COMPAT"}, flags)

    def test_has_the_stack_protector(self):
        symbols = subprocess.run([self.objdump, "-t", self.exe], check=True, capture_output=True,
                                 text=True).stdout
        self.assertRegex(symbols, r"(?m) __stack_chk_fail$", "linked without the stack protector")
        self.assertRegex(symbols, r"(?m) __stack_chk_guard$")

    def test_holds_bitmaps_icon_version_and_manifest_only(self):
        self.assertEqual(set(self.tree), {RT_BITMAP, RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST})


class Manifest(ZarvoExe):
    ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
    ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
    COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
    SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
    SETTINGS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
    WINDOWS_7_TO_11 = {
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # 7
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # 8
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # 8.1
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # 10 and 11
    }

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        manifests = cls.tree.get(RT_MANIFEST, {})
        # CREATEPROCESS_MANIFEST_RESOURCE_ID: the one the loader reads for a program.
        cls.root = ElementTree.fromstring(manifests[1][LANG_EN_US]) if 1 in manifests else None

    def setUp(self):
        self.assertIsNotNone(self.root, "no manifest resource 1 in US English")

    def setting(self, namespace, name):
        found = self.root.findall(f"{self.ASM_V3}application/{self.ASM_V3}windowsSettings/{namespace}{name}")
        self.assertEqual(len(found), 1, f"{name} is not set once")
        return found[0].text.strip()

    def test_is_dpi_aware_per_monitor_v2_with_the_older_entry(self):
        awareness = [value.strip().lower() for value in self.setting(self.SETTINGS_2016, "dpiAwareness").split(",")]
        self.assertEqual(awareness[0], "permonitorv2")
        self.assertIn("permonitor", awareness, "Windows 10 before 1703 knows only PerMonitor")
        self.assertEqual(self.setting(self.SETTINGS_2005, "dpiAware").lower(), "true/pm")

    def test_depends_on_common_controls_6(self):
        identities = [identity.attrib for identity in self.root.iter(f"{self.ASM_V1}assemblyIdentity")
                      if identity.get("name") == "Microsoft.Windows.Common-Controls"]
        self.assertEqual(len(identities), 1)
        self.assertEqual(identities[0].get("version"), "6.0.0.0")
        self.assertEqual(identities[0].get("publicKeyToken"), "6595b64144ccf1df")
        dependency = f"{self.ASM_V1}dependency/{self.ASM_V1}dependentAssembly/{self.ASM_V1}assemblyIdentity"
        self.assertEqual(len(self.root.findall(dependency)), 1, "not a dependency of the program")

    def test_supports_windows_7_to_11(self):
        ids = {os.get("Id").lower() for os in
               self.root.iter(f"{self.COMPATIBILITY}supportedOS")}
        self.assertEqual(ids, self.WINDOWS_7_TO_11)

    def test_runs_as_invoker(self):
        levels = [level.attrib for level in self.root.iter(f"{self.ASM_V3}requestedExecutionLevel")]
        self.assertEqual(levels, [{"level": "asInvoker", "uiAccess": "false"}])

    def test_names_the_program_with_the_project_version(self):
        identity = self.root.find(f"{self.ASM_V1}assemblyIdentity")
        self.assertEqual((identity.get("name"), identity.get("version"), identity.get("type")),
                         ("Zarvo", f"{self.version}.0", "win32"))


class Version(ZarvoExe):
    def details(self):
        self.assertIn(RT_VERSION, self.tree, "no version resource")
        self.assertEqual(list(self.tree[RT_VERSION]), [1])
        return version_node(self.only_language(self.tree[RT_VERSION][1]))

    def test_fixed_part_holds_the_project_version(self):
        key, value, _ = self.details()
        self.assertEqual(key, "VS_VERSION_INFO")
        signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", value)
        self.assertEqual(signature, 0xFEEF04BD)
        numbers = [int(n) for n in self.version.split(".")] + [0]
        expected = (numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3])
        self.assertEqual((file_ms, file_ls), expected)
        self.assertEqual((product_ms, product_ls), expected)

    def test_strings_name_the_program_and_its_version(self):
        _, _, children = self.details()
        tables = {key: grandchildren for key, _, grandchildren in children}
        self.assertEqual([key for key, _, _ in tables["StringFileInfo"]], ["040904B0"])
        strings = {key: value.decode("utf-16-le").rstrip("\0")
                   for key, value, _ in tables["StringFileInfo"][0][2]}
        for key, expected in {"ProductName": "Zarvo", "FileDescription": "Zarvo",
                              "FileVersion": self.version, "ProductVersion": self.version,
                              "OriginalFilename": "Zarvo.exe"}.items():
            with self.subTest(key=key):
                self.assertEqual(strings.get(key), expected)
        translation = {key: value for key, value, _ in tables["VarFileInfo"]}["Translation"]
        self.assertEqual(struct.unpack("<HH", translation), (LANG_EN_US, 1200))


class Bitmaps(ZarvoExe):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.ids = bitmap_ids(cls.resources_folder)

    def test_are_those_of_resource_ids_h(self):
        self.assertEqual(set(self.ids), set(BITMAPS))
        self.assertEqual(sorted(self.tree[RT_BITMAP]), sorted(self.ids.values()))

    def test_each_is_a_packed_24_bit_dib_of_its_size(self):
        for name, (width, height, size, ppm) in BITMAPS.items():
            rid = self.ids[name]
            with self.subTest(id=rid, file=name):
                data = self.only_language(self.tree[RT_BITMAP][rid])
                self.assertEqual(len(data), size)
                header = struct.unpack_from("<IiiHHIIiiII", data, 0)
                self.assertEqual(header, (40, width, height, 1, 24, 0, 0, ppm, ppm, 0, 0))
                row = (width * 3 + 3) // 4 * 4
                self.assertEqual(size, 40 + row * height + 2)

    def test_each_holds_its_file_without_the_file_header(self):
        for name, rid in self.ids.items():
            with self.subTest(id=rid, file=name):
                with open(f"{self.resources_folder}/{name}", "rb") as f:
                    file_bytes = f.read()
                self.assertEqual(file_bytes[:2], b"BM")
                self.assertEqual(self.only_language(self.tree[RT_BITMAP][rid]), file_bytes[14:])

    def test_white_picture_is_all_white(self):
        data = self.only_language(self.tree[RT_BITMAP][self.ids["white.bmp"]])
        self.assertEqual(data[40:40 + 64 * 64 * 3], b"\xff" * (64 * 64 * 3))


class Icon(ZarvoExe):
    def group(self):
        groups = self.tree[RT_GROUP_ICON]
        self.assertEqual(len(groups), 1, "one icon group")
        first = next(iter(groups))
        return self.only_language(groups[first])

    def entries(self):
        data = self.group()
        reserved, kind, count = struct.unpack_from("<HHH", data, 0)
        self.assertEqual((reserved, kind), (0, 1))
        self.assertEqual(len(data), 6 + 14 * count)
        return [struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i) for i in range(count)]

    def test_group_has_16_32_48_at_8_and_32_bits(self):
        sizes = sorted((e[0], e[5]) for e in self.entries())
        self.assertEqual(sizes, [(16, 8), (16, 32), (32, 8), (32, 32), (48, 8), (48, 32)])

    def test_each_image_is_the_dib_the_group_names(self):
        icons = self.tree[RT_ICON]
        for width, height, _colors, _, planes, bits, size, rid in self.entries():
            with self.subTest(size=width, bits=bits):
                self.assertEqual((width, height, planes), (width, width, 1))
                image = self.only_language(icons[rid])
                self.assertEqual(len(image), size)
                header = struct.unpack_from("<IiiHH", image, 0)
                self.assertEqual(header, (40, width, 2 * width, 1, bits))

    def test_group_matches_the_icon_file(self):
        icons = self.tree[RT_ICON]
        images = icon_file_images(f"{self.resources_folder}/zarvo.ico")
        self.assertEqual([self.only_language(icons[e[7]]) for e in self.entries()], images)


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    ZarvoExe.exe, ZarvoExe.resources_folder, ZarvoExe.objdump, ZarvoExe.version = sys.argv[1:5]
    unittest.main(argv=sys.argv[:1], verbosity=2)
