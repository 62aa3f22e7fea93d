#!/usr/bin/env python3
"""Turns the text pixel maps of tallyrun_icon.txt into a Windows .ico (32-bit images with masks)."""
import struct
import sys

COLOURS = {  # BGRA
    'K': (0x30, 0x30, 0x30, 0xFF),
    'W': (0xFF, 0xFF, 0xFF, 0xFF),
    'B': (0xE0, 0x90, 0x40, 0xFF),
    'G': (0x60, 0xC0, 0x60, 0xFF),
    'R': (0x30, 0x30, 0xD0, 0xFF),
    '.': (0, 0, 0, 0),
}


def read_maps(path):
    maps, size, rows = [], 0, []
    for line in open(path, encoding='ascii'):
        line = line.rstrip('\n')
        if line.startswith('#') or not line:
            continue
        if line.startswith('size '):
            size, rows = int(line.split()[1]), []
            maps.append((size, rows))
            continue
        if len(line) != size:
            sys.exit(f'row of {len(line)} pixels in a map of size {size}: {line!r}')
        rows.append(line)
    for size, rows in maps:
        if len(rows) != size:
            sys.exit(f'map of size {size} has {len(rows)} rows')
    return maps


def image(size, rows):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''.join(bytes(COLOURS[c]) for row in reversed(rows) for c in row)
    stride = ((size + 31) // 32) * 4
    mask = b''
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, c in enumerate(row):
            if c == '.':
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + pixels + mask


def main():
    source, target = sys.argv[1], sys.argv[2]
    maps = read_maps(source)
    images = [image(size, rows) for size, rows in maps]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, _), data in zip(maps, images):
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    open(target, 'wb').write(out + b''.join(images))


if __name__ == '__main__':
    main()
