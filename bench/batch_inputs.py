#!/usr/bin/python3
"""Makes bench/batch.sh's photographs: crops of the colour photographs that
Debian's python3-skimage ships, scaled to about WIDTHxHEIGHT and washed out
(their levels squeezed towards grey, as a faded print or a flat scan has
them), saved as JPEG. Usage: batch_inputs.py FOLDER COUNT [WIDTH HEIGHT]"""
import os
import random
import sys

import numpy as np
from PIL import Image
from skimage import data

SOURCES = ["astronaut", "chelsea", "coffee", "rocket", "hubble_deep_field", "motorcycle_left",
           "retina", "immunohistochemistry"]


def photographs():
    out = []
    for name in SOURCES:
        fetch = getattr(data, name, None)
        try:
            picture = fetch() if fetch else None
        except Exception:  # a photograph this skimage does not ship
            picture = None
        if picture is not None and picture.ndim == 3 and picture.shape[2] >= 3:
            out.append(np.asarray(picture[:, :, :3], dtype=np.float64))
    if not out:
        sys.exit("batch_inputs.py: python3-skimage ships none of " + ", ".join(SOURCES))
    return out


def main():
    folder, count = sys.argv[1], int(sys.argv[2])
    width = int(sys.argv[3]) if len(sys.argv) > 3 else 640
    height = int(sys.argv[4]) if len(sys.argv) > 4 else 480
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(34)
    sources = photographs()
    for i in range(count):
        p = sources[i % len(sources)]
        h, w = p.shape[:2]
        ch, cw = rng.randint(h // 2, h), rng.randint(w // 2, w)
        y, x = rng.randint(0, h - ch), rng.randint(0, w - cw)
        low, span = rng.uniform(30, 90), rng.uniform(0.35, 0.6)
        crop = np.clip(low + p[y:y + ch, x:x + cw] * span, 0, 255).astype(np.uint8)
        scale = rng.uniform(0.8, 1.0)
        size = (max(16, int(width * scale)), max(16, int(height * scale)))
        Image.fromarray(crop).resize(size, Image.BILINEAR).save(
            os.path.join(folder, "photo%04d.jpg" % i), quality=90)


main()
