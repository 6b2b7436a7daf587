#!/usr/bin/python3
"""Inspects the shipped 32-bit Uninstall.exe, which cannot run on these
machines: its headers, imports, manifest, version record and icon group.

Usage: inspect_release.py PATH-TO-Uninstall.exe   (exit code 0 when all hold)
Needs Debian's python3-pefile, hence /usr/bin/python3."""
import struct
import sys
import xml.etree.ElementTree as ET

import pefile

# DLLs present on every Windows installation; anything else (a mingw runtime
# DLL such as libstdc++-6.dll or libgcc_s_dw2-1.dll) would stop the program
# on a clean machine.
SYSTEM_DLLS = {'advapi32.dll', 'comctl32.dll', 'gdi32.dll', 'kernel32.dll', 'msvcrt.dll', 'ole32.dll',
               'shell32.dll', 'user32.dll'}

ASM_V1 = '{urn:schemas-microsoft-com:asm.v1}'
ASM_V3 = '{urn:schemas-microsoft-com:asm.v3}'
# Every element of the manifest with its attributes, in document order.
MANIFEST = [
    (ASM_V1 + 'assembly', {'manifestVersion': '1.0'}),
    (ASM_V1 + 'assemblyIdentity', {'type': 'win32', 'name': 'Uninstall', 'version': '1.0.0.0',
                                   'processorArchitecture': '*'}),
    (ASM_V1 + 'dependency', {}),
    (ASM_V1 + 'dependentAssembly', {}),
    (ASM_V1 + 'assemblyIdentity', {'type': 'win32', 'name': 'Microsoft.Windows.Common-Controls',
                                   'version': '6.0.0.0', 'publicKeyToken': '6595b64144ccf1df', 'language': '*',
                                   'processorArchitecture': '*'}),
    (ASM_V3 + 'trustInfo', {}),
    (ASM_V3 + 'security', {}),
    (ASM_V3 + 'requestedPrivileges', {}),
    (ASM_V3 + 'requestedExecutionLevel', {'level': 'requireAdministrator', 'uiAccess': 'false'}),
]

VERSION_STRINGS = {
    'CompanyName': '', 'FileDescription': '', 'FileVersion': '1.1.23.915', 'InternalName': '',
    'LegalCopyright': '', 'LegalTrademarks': '', 'OriginalFilename': '', 'ProductName': '',
    'ProductVersion': '1.0.0.0', 'Comments': '',
}

# (width, height, colour count in the directory, bits per pixel)
ICON_IMAGES = [(16, 16, 16, 4), (16, 16, 0, 8), (32, 32, 16, 4), (32, 32, 0, 8)]

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24

failures = []


def check(what, actual, expected):
    if actual != expected:
        failures.append(f'{what}: got {actual!r}, expected {expected!r}')


def resources(pe):
    """{type id: [(name or id, language, bytes)]}"""
    out = {}
    for rtype in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        items = out.setdefault(rtype.id if rtype.name is None else str(rtype.name), [])
        for entry in rtype.directory.entries:
            key = entry.id if entry.name is None else str(entry.name)
            for lang in entry.directory.entries:
                d = lang.data.struct
                items.append((key, lang.id, pe.get_data(d.OffsetToData, d.Size)))
    return out


def check_headers(pe):
    check('machine', pe.FILE_HEADER.Machine, pefile.MACHINE_TYPE['IMAGE_FILE_MACHINE_I386'])
    check('optional header magic (PE32)', pe.OPTIONAL_HEADER.Magic, pefile.OPTIONAL_HEADER_MAGIC_PE)
    check('subsystem', pe.OPTIONAL_HEADER.Subsystem, pefile.SUBSYSTEM_TYPE['IMAGE_SUBSYSTEM_WINDOWS_GUI'])
    flags = pe.OPTIONAL_HEADER.DllCharacteristics
    check('NX compatible', bool(flags & 0x0100), True)
    check('dynamic base', bool(flags & 0x0040), True)
    # A movable image needs its relocations kept.
    reloc = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY['IMAGE_DIRECTORY_ENTRY_BASERELOC']]
    check('base relocations present', reloc.Size > 0, True)
    check('relocations not stripped', bool(pe.FILE_HEADER.Characteristics & 0x0001), False)


def check_imports(pe):
    dlls = {e.dll.decode().lower() for e in getattr(pe, 'DIRECTORY_ENTRY_IMPORT', [])}
    check('imports outside the system DLLs', sorted(dlls - SYSTEM_DLLS), [])
    check('imports user32 and comctl32', {'user32.dll', 'comctl32.dll'} <= dlls, True)
    delayed = [e.dll.decode() for e in getattr(pe, 'DIRECTORY_ENTRY_DELAY_IMPORT', [])]
    check('delay-loaded DLLs', delayed, [])


def check_hardening(pe):
    # Looked up by name at run time (older Windows lacks them), so they show
    # as strings rather than imports; DEP is asked for by the 32-bit build only.
    data = bytes(pe.__data__)
    for name in (b'SetDefaultDllDirectories', b'SetSearchPathMode', b'SetProcessDEPPolicy'):
        check(f'looks up {name.decode()}', name in data, True)


def check_manifest(res):
    items = res.get(RT_MANIFEST, [])
    check('manifest resources (id, language)', [(k, lang) for k, lang, _ in items], [(1, 1033)])
    if not items:
        return
    root = ET.fromstring(items[0][2])
    check('manifest elements', [(e.tag, dict(e.attrib)) for e in root.iter()], MANIFEST)
    texts = [e.text.strip() for e in root.iter() if e.text and e.text.strip()]
    check('manifest text content', texts, [])


def check_version(pe, res):
    check('version resources (id, language)', [(k, lang) for k, lang, _ in res.get(RT_VERSION, [])], [(1, 1033)])
    fixed = pe.VS_FIXEDFILEINFO[0]
    check('signature', fixed.Signature, 0xFEEF04BD)
    check('file version', (fixed.FileVersionMS, fixed.FileVersionLS), (0x00010001, 0x00170393))
    check('product version', (fixed.ProductVersionMS, fixed.ProductVersionLS), (0x00010001, 0x00170393))
    check('file flags', fixed.FileFlags & fixed.FileFlagsMask, 0)
    check('file OS', fixed.FileOS, 0x00000004)  # VOS__WINDOWS32
    check('file type', fixed.FileType, 0x00000001)  # VFT_APP
    check('file subtype', fixed.FileSubtype, 0)
    tables, translations = [], []
    for info in pe.FileInfo[0]:
        for st in getattr(info, 'StringTable', []):
            tables.append((st.LangID.decode().upper(),
                           [(k.decode(), v.decode()) for k, v in st.entries.items()]))
        for var in getattr(info, 'Var', []):
            translations.extend(var.entry.items())
    check('string tables', [lang for lang, _ in tables], ['040904E4'])
    if tables:
        check('string fields', tables[0][1], list(VERSION_STRINGS.items()))
    check('translation', translations, [(b'Translation', '0x0409 0x04e4')])


def check_icon(res):
    groups = res.get(RT_GROUP_ICON, [])
    check('icon groups', [k for k, _, _ in groups], ['MAINICON'])
    if not groups:
        return
    data = groups[0][2]
    reserved, kind, count = struct.unpack_from('<HHH', data, 0)
    check('icon group header', (reserved, kind), (0, 1))
    icons = {k: d for k, _, d in res.get(RT_ICON, [])}
    entries = []
    for i in range(count):
        w, h, colours, _, planes, bits, size, icon_id = struct.unpack_from('<BBBBHHIH', data, 6 + 14 * i)
        entries.append((w, h, colours, bits))
        image = icons.get(icon_id, b'')
        check(f'icon image {icon_id} size', len(image), size)
        if len(image) >= 40:
            _, bw, bh, _, bbits = struct.unpack_from('<IiiHH', image, 0)
            # The bitmap's height counts the image and its mask.
            check(f'icon image {icon_id} bitmap', (bw, bh, bbits), (w, h * 2, bits))
    check('icon images', sorted(entries), sorted(ICON_IMAGES))
    check('icon images in the file', len(icons), len(ICON_IMAGES))


def main(path):
    pe = pefile.PE(path)
    res = resources(pe)
    check_headers(pe)
    check_imports(pe)
    check_hardening(pe)
    check('resource types', sorted(k for k in res if isinstance(k, int)),
          sorted([RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST]))
    check('named resource types', sorted(k for k in res if not isinstance(k, int)), [])
    check_manifest(res)
    check_version(pe, res)
    check_icon(res)
    for f in failures:
        print('FAIL', f)
    print(f'{path}: {len(failures)} failure(s)')
    return 1 if failures else 0


if __name__ == '__main__':
    if len(sys.argv) != 2 or not sys.argv[1]:
        sys.exit('usage: inspect_release.py PATH-TO-Uninstall.exe (UNINSTALL_RELEASE_EXE unset?)')
    sys.exit(main(sys.argv[1]))
