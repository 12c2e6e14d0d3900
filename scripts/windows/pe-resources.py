#!/usr/bin/python3
"""Reads a Windows program's resources from the file, without Windows: its
version resource, its manifest and its icon, as "key: value" lines in the
form exe-info.c prints them from Windows' own functions under Wine.

    pe-resources.py <program.exe> [--icon <file.ico>]

With --icon, says whether the program's first icon holds exactly the images
of that .ico file. Uses Debian's python3-pefile.
"""
import struct
import sys
import xml.etree.ElementTree as ElementTree

import pefile

RT_ICON, RT_GROUP_ICON, RT_MANIFEST = 3, 14, 24
SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
SETTINGS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
LEVELS = ("{urn:schemas-microsoft-com:asm.v3}", "{urn:schemas-microsoft-com:asm.v2}")


def resources(pe, kind):
    """{id: [data of each language]} of one resource type."""
    found = {}
    directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for entry in directory.entries if directory else []:
        if entry.id != kind:
            continue
        for item in entry.directory.entries:
            for language in item.directory.entries:
                rva, size = language.data.struct.OffsetToData, language.data.struct.Size
                found.setdefault(item.id if item.id is not None else str(item.name), []).append(
                    pe.get_data(rva, size))
    return found


def version_lines(pe):
    if not hasattr(pe, "VS_FIXEDFILEINFO"):
        return ["version-resource: none"]
    fixed = pe.VS_FIXEDFILEINFO[0]
    lines = [
        "fixed-file-version: %d.%d.%d.%d" % (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
                                             fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF),
        "fixed-product-version: %d.%d.%d.%d" % (fixed.ProductVersionMS >> 16, fixed.ProductVersionMS & 0xFFFF,
                                                fixed.ProductVersionLS >> 16, fixed.ProductVersionLS & 0xFFFF),
    ]
    for info in pe.FileInfo[0] if pe.FileInfo else []:
        if info.Key == b"VarFileInfo":
            for var in info.Var:
                for value in var.entry.values():
                    language, codepage = (int(part, 16) for part in value.split())
                    lines.append("translation: %04x %d" % (language, codepage))
        if info.Key == b"StringFileInfo":
            for table in info.StringTable[:1]:
                for key in ("ProductName", "FileDescription", "FileVersion", "ProductVersion",
                            "CompanyName", "OriginalFilename"):
                    value = table.entries.get(key.encode())
                    lines.append("%s: %s" % (key, value.decode("utf-8") if value is not None else "(none)"))
    return lines


def manifest_lines(pe):
    manifests = resources(pe, RT_MANIFEST)
    if 1 not in manifests:
        return ["manifest: none"]
    if len(manifests) != 1 or len(manifests[1]) != 1:
        return ["manifest: more than one (%s)" % sorted(str(key) for key in manifests)]
    try:
        root = ElementTree.fromstring(manifests[1][0])
    except ElementTree.ParseError as error:
        return ["manifest: not XML (%s)" % error]
    lines = ["manifest: read"]
    for namespace, name in ((SETTINGS_2005, "dpiAware"), (SETTINGS_2016, "dpiAwareness"),
                            (SETTINGS_2016, "longPathAware")):
        element = root.find(".//" + namespace + name)
        lines.append("%s: %s" % (name, element.text.strip() if element is not None else "(none)"))
    for os in root.iter(COMPATIBILITY + "supportedOS"):
        lines.append("supportedOS: %s" % os.get("Id").lower())
    for namespace in LEVELS:
        level = root.find(".//" + namespace + "requestedExecutionLevel")
        if level is not None:
            lines.append("requestedExecutionLevel: %s" % level.get("level"))
            break
    return lines


def group_icons(pe):
    """The first icon group's images as (width, height, bytes), in its order."""
    groups = resources(pe, RT_GROUP_ICON)
    if not groups:
        return len(groups), []
    icons = resources(pe, RT_ICON)
    first = groups[sorted(groups, key=lambda key: (isinstance(key, int), key))[0]][0]
    _, _, count = struct.unpack_from("<HHH", first)
    images = []
    for index in range(count):
        width, height, _, _, _, _, _, icon_id = struct.unpack_from("<BBBBHHIH", first, 6 + 14 * index)
        images.append((width or 256, height or 256, icons.get(icon_id, [b""])[0]))
    return len(groups), images


def ico_images(path):
    data = open(path, "rb").read()
    _, _, count = struct.unpack_from("<HHH", data)
    images = []
    for index in range(count):
        width, height, _, _, _, _, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * index)
        images.append((width or 256, height or 256, data[offset:offset + size]))
    return images


def main(argv):
    pe = pefile.PE(argv[1])
    lines = version_lines(pe) + manifest_lines(pe)
    count, images = group_icons(pe)
    lines.append("icons: %d" % count)
    lines.append("icon-sizes: %s" % " ".join("%dx%d" % (w, h) for w, h, _ in images))
    if len(argv) == 4 and argv[2] == "--icon":
        wanted = ico_images(argv[3])
        lines.append("icon: %s %s" % ("same as" if images == wanted else "differs from", argv[3]))
    print("\n".join(lines))


if __name__ == "__main__":
    main(sys.argv)
