#!/usr/bin/python3
"""Makes resources/twinframe.ico, the Windows program icon, from the drawn PNG sizes.

Windows picks from the .ico the size it needs at each place and dpi (16 to 64 in lists, menus
and the taskbar, 256 in Explorer's large views); the sizes not drawn are scaled from the nearest
larger drawing. Run again after changing a PNG, with Debian's python3 and python3-pil:
    /usr/bin/python3 resources/makeIcon.py
"""
from pathlib import Path

from PIL import Image

here = Path(__file__).resolve().parent
drawn = {size: Image.open(here / f"twinframe-{size}.png").convert("RGBA")
         for size in (16, 32, 48, 64, 128, 256)}
wanted = (16, 20, 24, 32, 40, 48, 64, 256)


def image_of(size):
    if size in drawn:
        return drawn[size]
    source = min(s for s in drawn if s > size)
    return drawn[source].resize((size, size), Image.LANCZOS)


images = [image_of(size) for size in wanted]
images[-1].save(here / "twinframe.ico", format="ICO", sizes=[(s, s) for s in wanted],
                append_images=images[:-1])
