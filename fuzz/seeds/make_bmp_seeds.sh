#!/usr/bin/env bash
# Tessaly: writes the BMP seed corpus (tiny files in every header form and
# depth, made by ImageMagick, Pillow and netpbm) into fuzz/seeds/bmp.
set -euo pipefail
out=$(cd "$(dirname "$0")" && pwd)/bmp
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
convert -size 7x5 xc:red -fill blue -draw "point 1,1 point 3,2" -fill lime -draw "point 5,4 point 6,0" few.ppm
convert -size 7x5 gradient:yellow-navy rich.ppm
convert rich.ppm -alpha set -channel A -fx "i/w" alpha.png
mkdir -p "$out"
convert few.ppm -monochrome BMP3:"$out/1bit.bmp"
convert few.ppm -colors 3 -type palette -compress none BMP3:"$out/4bit.bmp"
convert rich.ppm -type palette -compress none BMP3:"$out/8bit.bmp"
convert rich.ppm -type palette -compress RLE BMP3:"$out/rle8.bmp"
convert rich.ppm -define bmp:subtype=RGB565 BMP:"$out/565-v5.bmp"
convert rich.ppm -define bmp:subtype=RGB555 BMP3:"$out/555.bmp"
convert rich.ppm BMP3:"$out/24bit.bmp"
convert rich.ppm BMP2:"$out/os2-24bit.bmp"
convert few.ppm -colors 3 -type palette BMP2:"$out/os2-4bit.bmp"
convert alpha.png BMP:"$out/32bit-alpha-v5.bmp"
/usr/bin/python3 -c "
import struct
from PIL import Image
Image.open('rich.ppm').convert('RGBA').save('$out/32bit-pillow.bmp')
# RLE4 with runs, an absolute run, a delta and ends of line and bitmap.
pal = b''.join(bytes((i * 16, 255 - i * 16, i * 7, 0)) for i in range(16))
data = bytes([6, 0x12, 0, 5, 0x34, 0x56, 0x70, 0, 0, 0, 3, 0xAB, 0, 2, 2, 1, 2, 0xCD, 0, 0, 11, 0xEF, 0, 1])
info = struct.pack('<IiiHHIIiiII', 40, 11, 3, 1, 4, 2, len(data), 0, 0, 16, 0)
off = 14 + 40 + 64
open('$out/rle4.bmp', 'wb').write(b'BM' + struct.pack('<IHHI', off + len(data), 0, 0, off) + info + pal + data)
# The 24-bit file stored top-down.
d = bytearray(open('$out/24bit.bmp', 'rb').read())
off = struct.unpack_from('<I', d, 10)[0]
w, h = struct.unpack_from('<ii', d, 18)
s = (w * 3 + 3) // 4 * 4
rows = [d[off + i * s: off + (i + 1) * s] for i in range(h)]
struct.pack_into('<i', d, 22, -h)
open('$out/24bit-top-down.bmp', 'wb').write(d[:off] + b''.join(reversed(rows)))
"
ppmtobmp -os2 -bpp 8 few.ppm > "$out/os2-8bit-netpbm.bmp" 2>/dev/null
