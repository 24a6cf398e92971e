#!/usr/bin/python3
"""Resource compiler: turns a library's resource list into a C++ source that carries the
resources and registers them with the platform when the library is loaded.

    resources.py LIST OUTPUT [--version X.Y.Z]   writes the C++ source
    resources.py --inputs LIST                   prints the files LIST names, ';'-separated

The list (one resource a line; '#' starts a comment line; names of files are relative to the
list's folder; a name is a number 1..65535 or a word, which may hold '.'):

    bitmap       <name> <file.bmp>                  packed DIB (the file without its file header)
    bitmap       <name> placeholder <w> <h> [RRGGBB] a plain 24-bit bitmap with a dark border
    dialog       <name> <file.dlg>                  DLGTEMPLATE (text format below)
    accelerators <name> <file.acc>                  accelerator table (text format below)
    icon         <name> <file.ico> | placeholder <size> [RRGGBB]
    cursor       <name> <file.cur> | placeholder <size> <hotspot x> <hotspot y> [RRGGBB]
    string       <number> "text"                    string table entry
    rcdata       <name> <file>                      the file's bytes as they are
    version      <key> "value"                      version resource: ProductVersion, FileVersion,
                                                    FileDescription, ProductName, CompanyName,
                                                    LegalCopyright, InternalName, OriginalFilename;
                                                    FileType dll (the default) or app

"@PROJECT_VERSION@" in a quoted value is replaced by --version. The numeric versions of the
fixed file information come from FileVersion and ProductVersion ("1.2.3" or "1.2.3.4").

Dialog text format (.dlg), one statement a line:

    style   <styles>              e.g. DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU
                                  (none: WS_POPUP | WS_BORDER | WS_SYSMENU)
    exstyle <styles>
    rect    <x> <y> <width> <height>          dialog units
    caption "text"
    font    <point size> "face"               sets DS_SETFONT
    class   "name"                            optional window class of the dialog
    menu    <name>                            optional
    control <class> <id> <title> <x> <y> <width> <height> [<styles>]

A control's class is BUTTON, EDIT, STATIC, LISTBOX, SCROLLBAR, COMBOBOX (stored as their
atoms) or a quoted class name; its id -1 is 0xFFFF; its title is "text" or #<number> (a
resource number, as SS_BITMAP statics use); its styles start from WS_CHILD | WS_VISIBLE. <styles> are names (WS_, DS_, BS_, SS_, ES_, WS_EX_) and numbers joined by '|'; NOT <name>
clears a style.

Accelerator text format (.acc), one accelerator a line:

    <key> <command> [VIRTKEY] [ASCII] [SHIFT] [CONTROL] [ALT] [NOINVERT]

The key is a VK_ name (VIRTKEY implied), a quoted character ("S") or a number. A quoted letter
with VIRTKEY means its key (upper case); without it, the character itself.
"""
import os
import shlex
import struct
import sys

RT_CURSOR, RT_BITMAP, RT_ICON, RT_DIALOG, RT_STRING = 1, 2, 3, 5, 6
RT_ACCELERATOR, RT_RCDATA, RT_GROUP_CURSOR, RT_GROUP_ICON, RT_VERSION = 9, 10, 12, 14, 16


class ResourceError(Exception):
    pass


def fail(where, message):
    raise ResourceError(f"{where}: {message}")


# ---------------------------------------------------------------------------------------------
# Bitmaps, icons and cursors

def dib_layout(dib, where):
    """Checks a packed DIB; returns (header size, colour table bytes, bits bytes)."""
    if len(dib) < 40:
        fail(where, "not a device-independent bitmap")
    size, width, height, planes, bits, compression = struct.unpack_from("<IiiHHI", dib, 0)
    colours_used = struct.unpack_from("<I", dib, 32)[0]
    if size < 40 or width <= 0 or height == 0 or planes != 1:
        fail(where, "bad bitmap header")
    if bits not in (1, 4, 8, 16, 24, 32):
        fail(where, f"{bits} bits per pixel are not supported")
    if compression not in (0, 3):
        fail(where, "compressed bitmaps are not supported (save as uncompressed RGB)")
    colours = colours_used if colours_used else (1 << bits if bits <= 8 else 0)
    table = colours * 4 + (12 if compression == 3 and size == 40 else 0)
    stride = (width * bits + 31) // 32 * 4
    return size, table, stride * abs(height)


def packed_dib_from_bmp(data, where):
    if len(data) < 14 or data[:2] != b"BM":
        fail(where, "not a BMP file")
    bits_offset = struct.unpack_from("<I", data, 10)[0]
    dib = data[14:]
    size, table, bits = dib_layout(dib, where)
    if bits_offset + bits > len(data):
        fail(where, "BMP file cut short")
    header = dib[:size]
    compression = struct.unpack_from("<I", header, 16)[0]
    if size > 40:  # a V4 or V5 header: keep its first 40 bytes (uncompressed RGB only)
        if compression != 0:
            fail(where, "bit-field bitmaps need the 40-byte header")
        header = struct.pack("<I", 40) + header[4:40]
    return header + dib[size:size + table] + data[bits_offset:bits_offset + bits]


def colour(text, where):
    try:
        value = int(text, 16)
    except ValueError:
        fail(where, f"colour {text!r} is not RRGGBB")
    return (value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF


def placeholder_bmp(width, height, rgb):
    """A BMP file: 24 bits, a plain colour inside a one-pixel border of half its brightness."""
    stride = (width * 3 + 3) // 4 * 4
    border = bytes(c // 2 for c in reversed(rgb))
    face = bytes(reversed(rgb))
    rows = []
    for y in range(height):
        if y in (0, height - 1):
            row = border * width
        else:
            row = border + face * (width - 2) + border if width > 1 else border
        rows.append(row + b"\0" * (stride - width * 3))
    bits = b"".join(rows)
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(bits), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + len(header) + len(bits), 0, 0, 54) + header + bits


def placeholder_icon_file(size, rgb, cursor, hotspot):
    """An .ico or .cur file with one 32-bit image: a plain square with a border, opaque."""
    pixels = []
    for y in range(size):
        for x in range(size):
            edge = x in (0, size - 1) or y in (0, size - 1)
            r, g, b = (c // 2 for c in rgb) if edge else rgb
            pixels.append(struct.pack("<BBBB", b, g, r, 255))
    colour_bits = b"".join(pixels)
    mask_stride = (size + 31) // 32 * 4
    mask = b"\0" * (mask_stride * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    image = header + colour_bits + mask
    field1, field2 = hotspot if cursor else (1, 32)
    entry = struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, field1, field2, len(image), 22)
    return struct.pack("<HHH", 0, 2 if cursor else 1, 1) + entry + image


def icon_images(data, cursor, where):
    """Splits an .ico or .cur file: [(width, height, bit count, hotspot, image bytes)]."""
    if len(data) < 6:
        fail(where, "not an icon or cursor file")
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if reserved != 0 or kind != (2 if cursor else 1) or count == 0:
        fail(where, f"not {'a cursor' if cursor else 'an icon'} file")
    images = []
    for i in range(count):
        at = 6 + 16 * i
        if at + 16 > len(data):
            fail(where, "directory cut short")
        width, height, _, _, field1, field2, size, offset = struct.unpack_from(
            "<BBBBHHII", data, at)
        image = data[offset:offset + size]
        if len(image) != size:
            fail(where, f"image {i} cut short")
        if image[:8] == b"\x89PNG\r\n\x1a\n":
            fail(where, f"image {i} is PNG; only DIB images are supported")
        dib_width, dib_height = struct.unpack_from("<ii", image, 4)
        bits = struct.unpack_from("<H", image, 14)[0]
        dib_layout(image, where)
        images.append((dib_width, dib_height // 2, bits, (field1, field2) if cursor else None,
                       image))
    return images


# ---------------------------------------------------------------------------------------------
# Dialogs

STYLES = {
    "WS_OVERLAPPED": 0, "WS_POPUP": 0x80000000, "WS_CHILD": 0x40000000,
    "WS_MINIMIZE": 0x20000000, "WS_VISIBLE": 0x10000000, "WS_DISABLED": 0x08000000,
    "WS_CLIPSIBLINGS": 0x04000000, "WS_CLIPCHILDREN": 0x02000000, "WS_MAXIMIZE": 0x01000000,
    "WS_CAPTION": 0x00C00000, "WS_BORDER": 0x00800000, "WS_DLGFRAME": 0x00400000,
    "WS_VSCROLL": 0x00200000, "WS_HSCROLL": 0x00100000, "WS_SYSMENU": 0x00080000,
    "WS_THICKFRAME": 0x00040000, "WS_GROUP": 0x00020000, "WS_TABSTOP": 0x00010000,
    "WS_MINIMIZEBOX": 0x00020000, "WS_MAXIMIZEBOX": 0x00010000,
    "DS_ABSALIGN": 0x1, "DS_SYSMODAL": 0x2, "DS_3DLOOK": 0x4, "DS_FIXEDSYS": 0x8,
    "DS_NOFAILCREATE": 0x10, "DS_LOCALEDIT": 0x20, "DS_SETFONT": 0x40, "DS_MODALFRAME": 0x80,
    "DS_NOIDLEMSG": 0x100, "DS_SETFOREGROUND": 0x200, "DS_CONTROL": 0x400, "DS_CENTER": 0x800,
    "DS_CENTERMOUSE": 0x1000, "DS_CONTEXTHELP": 0x2000,
    "BS_PUSHBUTTON": 0x0, "BS_DEFPUSHBUTTON": 0x1, "BS_CHECKBOX": 0x2, "BS_AUTOCHECKBOX": 0x3,
    "BS_RADIOBUTTON": 0x4, "BS_3STATE": 0x5, "BS_AUTO3STATE": 0x6, "BS_GROUPBOX": 0x7,
    "BS_AUTORADIOBUTTON": 0x9, "BS_OWNERDRAW": 0xB, "BS_ICON": 0x40, "BS_BITMAP": 0x80,
    "BS_LEFT": 0x100, "BS_RIGHT": 0x200, "BS_CENTER": 0x300, "BS_FLAT": 0x8000,
    "SS_LEFT": 0x0, "SS_CENTER": 0x1, "SS_RIGHT": 0x2, "SS_ICON": 0x3, "SS_BLACKRECT": 0x4,
    "SS_GRAYRECT": 0x5, "SS_WHITERECT": 0x6, "SS_BLACKFRAME": 0x7, "SS_SIMPLE": 0xB,
    "SS_OWNERDRAW": 0xD, "SS_BITMAP": 0xE, "SS_ETCHEDHORZ": 0x10, "SS_NOPREFIX": 0x80,
    "SS_NOTIFY": 0x100, "SS_CENTERIMAGE": 0x200, "SS_SUNKEN": 0x1000,
    "ES_LEFT": 0x0, "ES_CENTER": 0x1, "ES_RIGHT": 0x2, "ES_MULTILINE": 0x4,
    "ES_AUTOHSCROLL": 0x80, "ES_READONLY": 0x800, "ES_NUMBER": 0x2000,
    "WS_EX_DLGMODALFRAME": 0x1, "WS_EX_NOPARENTNOTIFY": 0x4, "WS_EX_TOPMOST": 0x8,
    "WS_EX_TOOLWINDOW": 0x80, "WS_EX_STATICEDGE": 0x20000, "WS_EX_CLIENTEDGE": 0x200,
    "WS_EX_CONTEXTHELP": 0x400,
}
CONTROL_CLASSES = {"BUTTON": 0x80, "EDIT": 0x81, "STATIC": 0x82, "LISTBOX": 0x83,
                   "SCROLLBAR": 0x84, "COMBOBOX": 0x85}
WS_CHILD_VISIBLE = 0x50000000
DEFAULT_DIALOG_STYLE = 0x80880000  # WS_POPUP | WS_BORDER | WS_SYSMENU, as without a style line
DS_SETFONT = 0x40


def number(text, where, low=-32768, high=0xFFFFFFFF):
    try:
        value = int(text, 0)
    except ValueError:
        fail(where, f"{text!r} is not a number")
    if not low <= value <= high:
        fail(where, f"{value} is out of range")
    return value


def styles(tokens, where, value=0):
    clear = False
    for token in " ".join(tokens).replace("|", " | ").split():
        if token == "|":
            continue
        if token == "NOT":
            clear = True
            continue
        if token in STYLES:
            bits = STYLES[token]
        elif token[:1].isdigit():
            bits = number(token, where, 0)
        else:
            fail(where, f"unknown style {token}")
        value = value & ~bits if clear else value | bits
        clear = False
    return value & 0xFFFFFFFF


def utf16z(text):
    return text.encode("utf-16-le") + b"\0\0"


def name_or_number(value):
    """sz_Or_Ord: nothing (0), 0xFFFF and a number, or a string."""
    if value is None:
        return b"\0\0"
    if isinstance(value, int):
        return struct.pack("<HH", 0xFFFF, value)
    return utf16z(value)


def pad4(data):
    return data + b"\0" * (-len(data) % 4)


def compile_dialog(text, where):
    dialog = {"style": DEFAULT_DIALOG_STYLE, "exstyle": 0, "rect": None, "caption": "",
              "font": None, "class": None, "menu": None}
    items = []
    for line_number, line in enumerate(text.splitlines(), 1):
        at = f"{where}:{line_number}"
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        try:
            tokens = shlex.split(line)
        except ValueError as error:
            fail(at, str(error))
        word, args = tokens[0], tokens[1:]
        if word == "style":
            dialog["style"] = styles(args, at)
        elif word == "exstyle":
            dialog["exstyle"] = styles(args, at)
        elif word == "rect" and len(args) == 4:
            dialog["rect"] = [number(a, at, -32768, 32767) for a in args]
        elif word == "caption" and len(args) == 1:
            dialog["caption"] = args[0]
        elif word == "font" and len(args) == 2:
            dialog["font"] = (number(args[0], at, 0, 0xFFFF), args[1])
        elif word == "class" and len(args) == 1:
            dialog["class"] = args[0]
        elif word == "menu" and len(args) == 1:
            dialog["menu"] = number(args[0], at, 1, 0xFFFF) if args[0].isdigit() else args[0]
        elif word == "control" and len(args) >= 7:
            raw_class = line.split()[1]
            control_class = (CONTROL_CLASSES[args[0].upper()]
                             if not raw_class.startswith('"') and args[0].upper() in
                             CONTROL_CLASSES else args[0])
            identifier = number(args[1], at, -1, 0xFFFF) & 0xFFFF
            title = args[2]
            title = number(title[1:], at, 0, 0xFFFF) if title.startswith("#") else title
            rect = [number(a, at, -32768, 32767) for a in args[3:7]]
            items.append((styles(args[7:], at, WS_CHILD_VISIBLE), control_class, identifier,
                          title, rect))
        else:
            fail(at, f"cannot read {line.strip()!r}")
    if dialog["rect"] is None:
        fail(where, "no rect")
    style = dialog["style"] | (DS_SETFONT if dialog["font"] else 0)
    out = struct.pack("<IIHhhhh", style, dialog["exstyle"], len(items), *dialog["rect"])
    out += name_or_number(dialog["menu"]) + name_or_number(dialog["class"])
    out += utf16z(dialog["caption"])
    if dialog["font"]:
        out += struct.pack("<H", dialog["font"][0]) + utf16z(dialog["font"][1])
    for style, control_class, identifier, title, rect in items:
        out = pad4(out)
        out += struct.pack("<IIhhhhH", style, 0, *rect, identifier)
        out += name_or_number(control_class) + name_or_number(title) + struct.pack("<H", 0)
    return out


# ---------------------------------------------------------------------------------------------
# Accelerators

VIRTUAL_KEYS = {
    "VK_BACK": 0x08, "VK_TAB": 0x09, "VK_RETURN": 0x0D, "VK_ESCAPE": 0x1B, "VK_SPACE": 0x20,
    "VK_PRIOR": 0x21, "VK_NEXT": 0x22, "VK_END": 0x23, "VK_HOME": 0x24, "VK_LEFT": 0x25,
    "VK_UP": 0x26, "VK_RIGHT": 0x27, "VK_DOWN": 0x28, "VK_INSERT": 0x2D, "VK_DELETE": 0x2E,
    "VK_ADD": 0x6B, "VK_SUBTRACT": 0x6D,
    **{f"VK_F{n}": 0x6F + n for n in range(1, 13)},
}
ACCEL_FLAGS = {"VIRTKEY": 0x01, "NOINVERT": 0x02, "SHIFT": 0x04, "CONTROL": 0x08, "ALT": 0x10}
ACCEL_LAST = 0x80


def compile_accelerators(text, where):
    entries = []
    for line_number, line in enumerate(text.splitlines(), 1):
        at = f"{where}:{line_number}"
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        tokens = shlex.split(line)
        raw_key = line.split()[0]
        if len(tokens) < 2:
            fail(at, "an accelerator needs a key and a command")
        flags = 0
        for option in tokens[2:]:
            if option == "ASCII":
                continue
            if option not in ACCEL_FLAGS:
                fail(at, f"unknown option {option}")
            flags |= ACCEL_FLAGS[option]
        key = tokens[0]
        if key in VIRTUAL_KEYS:
            flags |= ACCEL_FLAGS["VIRTKEY"]
            code = VIRTUAL_KEYS[key]
        elif raw_key.startswith('"'):
            if len(key) != 1:
                fail(at, f"{raw_key} is not one character")
            code = ord(key.upper()) if flags & ACCEL_FLAGS["VIRTKEY"] else ord(key)
        else:
            code = number(key, at, 0, 0xFFFF)
        if flags & (ACCEL_FLAGS["SHIFT"] | ACCEL_FLAGS["CONTROL"] | ACCEL_FLAGS["ALT"]) and \
                not flags & ACCEL_FLAGS["VIRTKEY"]:
            fail(at, "SHIFT, CONTROL and ALT need VIRTKEY")
        entries.append([flags, code, number(tokens[1], at, 0, 0xFFFF)])
    if not entries:
        fail(where, "no accelerators")
    entries[-1][0] |= ACCEL_LAST
    return b"".join(struct.pack("<HHHH", flags, code, command, 0)
                    for flags, code, command in entries)


# ---------------------------------------------------------------------------------------------
# Strings and version

def compile_strings(strings):
    """{number: text} -> {block id: bytes}: blocks of 16, each a length and UTF-16 text."""
    blocks = {}
    for identifier in sorted(strings):
        blocks.setdefault(identifier // 16 + 1, [""] * 16)[identifier % 16] = strings[identifier]
    out = {}
    for block, texts in blocks.items():
        data = b""
        for text in texts:
            encoded = text.encode("utf-16-le")
            data += struct.pack("<H", len(encoded) // 2) + encoded
        out[block] = data
    return out


def version_numbers(text, where):
    parts = text.replace(",", ".").split(".")
    if not 1 <= len(parts) <= 4:
        fail(where, f"version {text!r} is not a.b.c.d")
    values = [number(p.strip(), where, 0, 0xFFFF) for p in parts] + [0] * (4 - len(parts))
    return (values[0] << 16 | values[1]), (values[2] << 16 | values[3])


def version_node(key, value, text, children=b""):
    """One node of VS_VERSIONINFO: length, value length, type, key, value, children."""
    if text:
        value_bytes, value_length = utf16z(value), len(value.encode("utf-16-le")) // 2 + 1
    else:
        value_bytes, value_length = value, len(value)
    body = struct.pack("<HHH", 0, value_length, 1 if text else 0) + utf16z(key)
    body = pad4(body) + value_bytes
    if children:
        body = pad4(body) + children
    return struct.pack("<H", len(body)) + body[2:]


def compile_version(fields, where):
    file_type = fields.pop("FileType", "dll")
    if file_type not in ("dll", "app"):
        fail(where, "FileType is dll or app")
    file_version = fields.get("FileVersion", fields.get("ProductVersion", "0"))
    product_version = fields.get("ProductVersion", file_version)
    fixed = struct.pack("<13I", 0xFEEF04BD, 0x00010000, *version_numbers(file_version, where),
                        *version_numbers(product_version, where), 0x3F, 0, 0x00040004,
                        2 if file_type == "dll" else 1, 0, 0, 0)
    strings = b"".join(pad4(version_node(k, v, True)) for k, v in fields.items())
    table = version_node("040904b0", b"", False, strings)
    # A table's type is 1 (text) in the files Windows' tools write.
    table = table[:4] + struct.pack("<H", 1) + table[6:]
    string_info = version_node("StringFileInfo", b"", False, pad4(table))
    string_info = string_info[:4] + struct.pack("<H", 1) + string_info[6:]
    translation = version_node("Translation", struct.pack("<HH", 0x0409, 0x04B0), False)
    var_info = version_node("VarFileInfo", b"", False, pad4(translation))
    var_info = var_info[:4] + struct.pack("<H", 1) + var_info[6:]
    return version_node("VS_VERSION_INFO", fixed, False, pad4(string_info) + pad4(var_info))


# ---------------------------------------------------------------------------------------------
# The list

def resource_name(text, where):
    if text.isdigit():
        return number(text, where, 1, 0xFFFF)
    # A word: letters, digits, '_', and '.' after the first character (file-like names such as
    # "Help.hlp").
    if not text[:1].isalnum() or not text.replace("_", "").replace(".", "").isalnum():
        fail(where, f"{text!r} is not a resource name (a number or a word)")
    return text


def read_list(path, project_version):
    """[(kind, name, arguments, where)] and the files they read."""
    folder = os.path.dirname(os.path.abspath(path))
    entries, files = [], []
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    for line_number, line in enumerate(lines, 1):
        where = f"{path}:{line_number}"
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        try:
            tokens = [t.replace("@PROJECT_VERSION@", project_version) for t in shlex.split(line)]
        except ValueError as error:
            fail(where, str(error))
        if len(tokens) < 3:
            fail(where, "a resource line is: <kind> <name> <file or value>")
        kind, name, args = tokens[0], tokens[1], tokens[2:]
        if kind in ("bitmap", "dialog", "accelerators", "icon", "cursor", "rcdata"):
            if args[0] != "placeholder":
                if len(args) != 1:
                    fail(where, "one file a resource")
                args = [os.path.join(folder, args[0])]
                files.append(args[0])
            elif kind not in ("bitmap", "icon", "cursor"):
                fail(where, f"no placeholder {kind}")
        elif kind not in ("string", "version"):
            fail(where, f"unknown resource kind {kind!r}")
        entries.append((kind, name, args, where))
    return entries, files


def read_file(path, where):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError as error:
        fail(where, f"cannot read {path}: {error.strerror}")


def compile_list(path, project_version):
    """[(type, name, bytes)] in the order the list gives them (icons and cursors: the images
    first, then their group)."""
    entries, _ = read_list(path, project_version)
    resources, strings, version = [], {}, {}
    next_image = {RT_ICON: 1, RT_CURSOR: 1}
    seen = set()

    def add(resource_type, name, data, where):
        key = (resource_type, name.upper() if isinstance(name, str) else name)
        if key in seen:
            fail(where, f"resource {name} appears twice")
        seen.add(key)
        resources.append((resource_type, name, data))

    for kind, name, args, where in entries:
        if kind == "version":
            if len(args) != 1:
                fail(where, 'a version line is: version <key> "value"')
            version[name] = args[0]
            continue
        if kind == "string":
            if len(args) != 1:
                fail(where, 'a string line is: string <number> "text"')
            identifier = number(name, where, 0, 0xFFFF)
            if identifier in strings:
                fail(where, f"string {identifier} appears twice")
            strings[identifier] = args[0]
            continue
        name = resource_name(name, where)
        placeholder = args[0] == "placeholder"
        if kind == "bitmap":
            if placeholder:
                if len(args) not in (3, 4):
                    fail(where, "bitmap <name> placeholder <width> <height> [RRGGBB]")
                data = placeholder_bmp(number(args[1], where, 1, 4096),
                                       number(args[2], where, 1, 4096),
                                       colour(args[3] if len(args) > 3 else "808080", where))
            else:
                data = read_file(args[0], where)
            add(RT_BITMAP, name, packed_dib_from_bmp(data, where), where)
        elif kind in ("icon", "cursor"):
            cursor = kind == "cursor"
            if placeholder:
                wanted = 5 if cursor else 3
                if len(args) not in (wanted - 1, wanted):
                    fail(where, f"{kind} <name> placeholder <size>"
                                f"{' <hotspot x> <hotspot y>' if cursor else ''} [RRGGBB]")
                size = number(args[1], where, 1, 255)
                hotspot = (number(args[2], where, 0, size - 1),
                           number(args[3], where, 0, size - 1)) if cursor else None
                data = placeholder_icon_file(size, colour(args[wanted - 1] if len(args) ==
                                                          wanted else "808080", where),
                                             cursor, hotspot)
            else:
                data = read_file(args[0], where)
            image_type = RT_CURSOR if cursor else RT_ICON
            group = struct.pack("<HHH", 0, 2 if cursor else 1, 0)
            images = icon_images(data, cursor, where)
            for width, height, bits, hotspot, image in images:
                image_id = next_image[image_type]
                next_image[image_type] += 1
                if cursor:
                    image = struct.pack("<HH", *hotspot) + image
                    group += struct.pack("<HHHHIH", width, 2 * height, 1, bits, len(image),
                                         image_id)
                else:
                    group += struct.pack("<BBBBHHIH", width % 256, height % 256,
                                         (1 << bits) % 256 if bits < 8 else 0, 0, 1, bits,
                                         len(image), image_id)
                add(image_type, image_id, image, where)
            group = group[:4] + struct.pack("<H", len(images)) + group[6:]
            add(RT_GROUP_CURSOR if cursor else RT_GROUP_ICON, name, group, where)
        elif kind == "dialog":
            text = read_file(args[0], where).decode("utf-8")
            add(RT_DIALOG, name, compile_dialog(text, args[0]), where)
        elif kind == "accelerators":
            text = read_file(args[0], where).decode("utf-8")
            add(RT_ACCELERATOR, name, compile_accelerators(text, args[0]), where)
        elif kind == "rcdata":
            add(RT_RCDATA, name, read_file(args[0], where), where)
    for block, data in compile_strings(strings).items():
        resources.append((RT_STRING, block, data))
    if version:
        resources.append((RT_VERSION, 1, compile_version(version, path)))
    return resources


# ---------------------------------------------------------------------------------------------
# The C++ source

def c_string(data):
    """Octal escapes: every byte three digits, so no escape runs into the next character."""
    lines = []
    for start in range(0, len(data), 40):
        lines.append('"' + "".join(f"\\{b:03o}" for b in data[start:start + 40]) + '"')
    return "\n    ".join(lines) if lines else '""'


def write_source(resources, list_path, output):
    shown = os.path.relpath(list_path, os.path.dirname(os.path.dirname(os.path.abspath(
        __file__))))
    out = ["// Generated by cmake/resources.py; do not edit by hand.",
           "// clang-format off",
           f"// The resources {shown} lists.",
           "#include <windows.h>",
           "",
           "namespace {",
           ""]
    for index, (_, _, data) in enumerate(resources):
        out.append(f"alignas(4) const unsigned char kData{index}[{len(data) + 1}] =")
        out.append(f"    {c_string(data)};")
    out.append("")
    out.append("const PlatformResource kTable[] = {")
    for index, (resource_type, name, data) in enumerate(resources):
        if isinstance(name, int):
            name_fields = f"nullptr, {name}"
        else:
            name_fields = '"' + name + '", 0'
        out.append(f"    {{nullptr, {resource_type}, {name_fields}, kData{index}, {len(data)}}},")
    if not resources:
        out.append("    {nullptr, 0, nullptr, 0, nullptr, 0},")
    out.append("};")
    out.append("")
    out.append("// Registered while the library is loaded, under its own module handle.")
    out.append("struct Registration {")
    out.append("    HMODULE module = PlatformModuleFromAddress(kTable);")
    out.append(f"    Registration() {{ PlatformRegisterResources(module, kTable, {len(resources)}); }}")
    out.append("    ~Registration() { PlatformRegisterResources(module, nullptr, 0); }")
    out.append("} registration;")
    out.append("")
    out.append("} // namespace")
    text = "\n".join(out) + "\n"
    try:
        with open(output, encoding="utf-8") as f:
            if f.read() == text:
                return  # unchanged: keep the time stamp
    except OSError:
        pass
    with open(output, "w", encoding="utf-8") as f:
        f.write(text)


def main(argv):
    try:
        if len(argv) == 3 and argv[1] == "--inputs":
            _, files = read_list(argv[2], "")
            print(";".join(files), end="")
            return 0
        if len(argv) in (3, 5) and (len(argv) == 3 or argv[3] == "--version"):
            project_version = argv[4] if len(argv) == 5 else "0.0.0"
            write_source(compile_list(argv[1], project_version), argv[1], argv[2])
            return 0
    except ResourceError as error:
        print(f"error: {error}", file=sys.stderr)
        return 1
    print(__doc__.splitlines()[2:4], file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
