#!/usr/bin/python3
"""Writes the program's icon: one group with 16x16 and 32x32 images, each in
16 and in 256 colours (uncompressed BMP images, as every Windows reads them).

The picture is drawn from a few shapes, so the file is reproduced exactly by
running this script: a rounded box with a downward arrow, the sign of taking
something off the machine."""
import struct
import sys


def picture(size):
    """Returns rows (top first) of colour keys: 0 clear, 1 box, 2 edge, 3 arrow."""
    s = size / 16.0
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            fx, fy = (x + 0.5) / s, (y + 0.5) / s
            key = 0
            if 1 <= fx <= 15 and 1 <= fy <= 15:
                corner = min(fx - 1, 15 - fx) < 1.5 and min(fy - 1, 15 - fy) < 1.5
                if not corner or (min(fx - 1, 15 - fx) + min(fy - 1, 15 - fy)) > 1.2:
                    edge = min(fx - 1, 15 - fx, fy - 1, 15 - fy) < 1.0
                    key = 2 if edge else 1
            # arrow: shaft and head pointing down
            if key == 1:
                if 6.5 <= fx <= 9.5 and 3 <= fy <= 8:
                    key = 3
                elif 8 <= fy <= 12.5 and abs(fx - 8) <= (12.5 - fy):
                    key = 3
            row.append(key)
        rows.append(row)
    return rows


# Colours as (blue, green, red); indices chosen so that the 16-colour image
# uses the standard VGA palette entries.
PALETTE16 = [(0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128), (128, 0, 0), (128, 0, 128), (128, 128, 0),
             (192, 192, 192), (128, 128, 128), (0, 0, 255), (0, 255, 0), (0, 255, 255), (255, 0, 0),
             (255, 0, 255), (255, 255, 0), (255, 255, 255)]
KEYS16 = {0: 0, 1: 15, 2: 4, 3: 9}  # clear, white box, dark blue edge, red arrow
PALETTE256 = PALETTE16 + [(0, 0, 0)] * 240
PALETTE256[16] = (230, 205, 160)   # soft blue box
PALETTE256[17] = (140, 80, 30)     # deep blue edge
PALETTE256[18] = (40, 60, 220)     # warm red arrow
KEYS256 = {0: 0, 1: 16, 2: 17, 3: 18}


def image(size, bits):
    rows = picture(size)
    palette, keys = (PALETTE16, KEYS16) if bits == 4 else (PALETTE256, KEYS256)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bits, 0, 0, 0, 0, len(palette), 0)
    pal = b''.join(struct.pack('BBBB', b, g, r, 0) for b, g, r in palette)
    xor = b''
    for row in reversed(rows):
        if bits == 8:
            line = bytes(keys[k] for k in row)
        else:
            line = bytes((keys[row[i]] << 4) | keys[row[i + 1]] for i in range(0, size, 2))
        xor += line + b'\0' * (-len(line) % 4)
    mask = b''
    for row in reversed(rows):
        line = bytearray((size + 7) // 8)
        for x, k in enumerate(row):
            if k == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(line) + b'\0' * (-len(line) % 4)
    return header + pal + xor + mask


def main(out):
    formats = [(16, 4), (16, 8), (32, 4), (32, 8)]
    images = [image(size, bits) for size, bits in formats]
    data = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, bits), img in zip(formats, images):
        colours = 16 if bits == 4 else 0
        data += struct.pack('<BBBBHHII', size, size, colours, 0, 1, bits, len(img), offset)
        offset += len(img)
    data += b''.join(images)
    with open(out, 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main(sys.argv[1])
