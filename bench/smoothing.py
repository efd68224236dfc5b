#!/usr/bin/env python3
"""Smoothing over time, measured on generated clips (bench/smoothing.sh runs it).

Four grey clips of 320x180 at 25 frames a second: a pan across a washed-out
picture with a white card (7 % of the frame) sliding across; a cut from a
dark scene to a bright one; a fade through black; a single-frame flash.
Each goes through `velmor --raw` with --smoothing 0 and N, and through
ffmpeg's normalize with smoothing=0 and N. Per clip and per way:
  - the largest frame-to-frame change of the level that input grey 128 maps
    to, within scenes (the steps into a new scene or a flash frame left out).
    The maps are straight lines between clip points, so the level is read
    off a line fitted to the frame's (input, output) pairs that are not
    clamped (a dark scene holds no grey 128 of its own);
  - after a cut (or the flash): the mean absolute difference, per sample,
    of each of the first N frames from the frame's own correction (the same
    way with smoothing 0); the largest of them is shown.
It also prints the cut test's distance (the mean shift of a channel's
values from the previous frame, in levels) at every kind of change, which
is what the cut test's limit was chosen from.
Usage: smoothing.py VELMOR WINDOW [PLOT.png]
"""
import os
import subprocess
import sys
import tempfile

import numpy as np

W, H = 320, 180


def texture(seed, low, high, width=W, height=H):
    """A washed-out picture: smooth blobs between low and high."""
    rng = np.random.default_rng(seed)
    coarse = rng.random((height // 20 + 2, width // 20 + 2))
    ys = np.linspace(0, coarse.shape[0] - 1.001, height)
    xs = np.linspace(0, coarse.shape[1] - 1.001, width)
    y0, x0 = ys.astype(int), xs.astype(int)
    fy, fx = (ys - y0)[:, None], (xs - x0)[None, :]
    c = coarse
    img = (c[y0][:, x0] * (1 - fy) * (1 - fx) + c[y0 + 1][:, x0] * fy * (1 - fx) +
           c[y0][:, x0 + 1] * (1 - fy) * fx + c[y0 + 1][:, x0 + 1] * fy * fx)
    img += rng.random((height, width)) * 0.08  # grain
    img = (img - img.min()) / (img.max() - img.min())
    return low + img * (high - low)


def pan(picture, frames, speed=2):
    return [picture[:, t * speed:t * speed + W] for t in range(frames)]


def card_clip():
    frames = pan(texture(1, 70, 180, W + 2 * 100), 100)
    cw, ch = 72, 56  # 7 % of the frame
    out = []
    for t, f in enumerate(frames):
        f = f.copy()
        x = W - int((t - 20) * (W + cw) / 60) if t >= 20 else W  # enters at 20, gone by 80
        if x < W and x + cw > 0:
            f[60:60 + ch, max(x, 0):min(x + cw, W)] = 250
        out.append(f)
    return out, []


def cut_clip():
    dark = pan(texture(2, 20, 140, W + 100), 40)
    bright = pan(texture(3, 110, 235, W + 100), 40)
    return dark + bright, [40]


def fade_clip():
    a = pan(texture(4, 60, 200, W + 200), 54)
    b = pan(texture(5, 50, 190, W + 200), 54)
    out = a[:30] + [a[30 + i] * (1 - (i + 1) / 12) for i in range(12)]
    out += [b[i] * (i + 1) / 12 for i in range(12)] + b[12:42]
    return out, []


def flash_clip():
    scene = pan(texture(6, 60, 170, W + 200), 81)
    flash = texture(7, 200, 255)
    return scene[:40] + [flash] + scene[41:], [40, 41]


CLIPS = [("pan, card crossing", card_clip), ("cut, dark to bright", cut_clip),
         ("fade through black", fade_clip), ("single-frame flash", flash_clip)]


def to_bgra(frames):
    data = bytearray()
    for f in frames:
        g = np.clip(np.floor(f + 0.5), 0, 255).astype(np.uint8)
        px = np.stack([g, g, g, np.zeros_like(g)], axis=-1)
        data += px.tobytes()
    return bytes(data)


def from_bgra(data, count):
    a = np.frombuffer(data, dtype=np.uint8).reshape(count, H, W, 4)
    return a[..., :3].astype(np.int32)


def run_velmor(velmor, raw, count, window):
    out = subprocess.run([velmor, "--raw", f"{W}x{H}", "--quiet", "--smoothing", str(window)],
                         input=raw, capture_output=True, check=True).stdout
    return from_bgra(out, count)


def run_normalize(raw, count, window):
    out = subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-f", "rawvideo", "-pix_fmt", "bgra",
                          "-s", f"{W}x{H}", "-r", "25", "-i", "-", "-vf",
                          f"normalize=smoothing={window}", "-f", "rawvideo", "-pix_fmt", "bgra",
                          "-"], input=raw, capture_output=True, check=True).stdout
    return from_bgra(out, count)


def level_of_128(inp, out):
    """The output level of input 128, from a line through the unclamped pairs."""
    x = inp[..., 1].ravel().astype(float)
    y = out[..., 1].ravel().astype(float)
    keep = (y > 0) & (y < 255)
    if len(np.unique(x[keep])) < 8:  # black or nearly: no map to read
        return float("nan")
    slope, icept = np.polyfit(x[keep], y[keep], 1)
    return float(np.clip(slope * 128 + icept, 0, 255))


def cut_distance(a, b):
    """The cut test's measure: the mean shift of the values, in levels."""
    ha = np.bincount(np.clip(np.floor(a + 0.5), 0, 255).astype(int).ravel(), minlength=256)
    hb = np.bincount(np.clip(np.floor(b + 0.5), 0, 255).astype(int).ravel(), minlength=256)
    return np.abs(np.cumsum(ha) - np.cumsum(hb)).sum() / a.size


def measure(velmor, window):
    rows, curves = [], {}
    for name, make in CLIPS:
        frames, cuts = make()
        raw = to_bgra(frames)
        n = len(frames)
        inp = from_bgra(raw, n)
        outs = {"off": run_velmor(velmor, raw, n, 0), "velmor": run_velmor(velmor, raw, n, window),
                "ffmpeg0": run_normalize(raw, n, 0), "ffmpeg": run_normalize(raw, n, window)}
        levels = {k: [level_of_128(inp[t], o[t]) for t in range(n)] for k, o in outs.items()}
        steps = {k: np.nanmax([abs(v[t] - v[t - 1]) for t in range(1, n) if t not in cuts])
                 for k, v in levels.items()}
        after = {}
        if cuts:
            start = cuts[-1]
            span = range(cuts[0], min(cuts[0] + window, n))
            after["velmor"] = max(np.abs(outs["velmor"][t] - outs["off"][t]).mean() for t in span)
            after["ffmpeg"] = max(np.abs(outs["ffmpeg"][t] - outs["ffmpeg0"][t]).mean() for t in span)
            span = range(start, min(start + window, n))
            after["velmor after"] = [round(float(np.abs(outs["velmor"][t] - outs["off"][t]).mean()), 2)
                                     for t in span]
            after["ffmpeg after"] = [round(float(np.abs(outs["ffmpeg"][t] - outs["ffmpeg0"][t]).mean()), 2)
                                     for t in span]
        dist = [cut_distance(frames[t], frames[t - 1]) for t in range(1, n)]
        within = [d for t, d in enumerate(dist, 1) if t not in cuts]
        at = [dist[t - 1] for t in cuts]
        rows.append((name, steps, after, max(within), at))
        curves[name] = levels
    return rows, curves


def main():
    velmor, window = sys.argv[1], int(sys.argv[2])
    plot = sys.argv[3] if len(sys.argv) > 3 else None
    rows, curves = measure(velmor, window)
    print(f"clips of {W}x{H} at 25 frames a second; smoothing N = {window}")
    print("largest frame-to-frame change of grey 128's level, within scenes (levels):")
    print(f"  {'clip':22} {'off':>6} {'velmor N':>9} {'normalize N':>12}")
    for name, steps, _, _, _ in rows:
        print(f"  {name:22} {steps['off']:6.1f} {steps['velmor']:9.1f} {steps['ffmpeg']:12.1f}")
    print(f"after the cut or flash: largest mean absolute difference from the frame's own "
          f"correction over its first {window} frames (levels per sample):")
    for name, _, after, _, _ in rows:
        if after:
            print(f"  {name:22} velmor {after['velmor']:6.2f}   normalize {after['ffmpeg']:6.2f}")
            print(f"  {'':22} velmor per frame    {after['velmor after']}")
            print(f"  {'':22} normalize per frame {after['ffmpeg after']}")
    print("the cut test's distance (mean shift of the values, levels): largest within scenes, "
          "and at each cut or flash frame:")
    for name, _, _, within, at in rows:
        print(f"  {name:22} within {within:6.2f}   at cuts {[round(float(a), 1) for a in at]}")
    if plot:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
        names = [CLIPS[0][0], CLIPS[1][0]]
        fig, axes = plt.subplots(1, 2, figsize=(10, 3.6))
        for ax, name in zip(axes, names):
            lv = curves[name]
            ax.plot(lv["off"], label="smoothing off", color="0.6")
            ax.plot(lv["velmor"], label=f"--smoothing {window}", color="tab:blue")
            ax.plot(lv["ffmpeg"], label=f"ffmpeg normalize smoothing={window}", color="tab:red",
                    linestyle="--")
            ax.set_title(name)
            ax.set_xlabel("frame")
            ax.set_ylabel("output level of input grey 128")
        axes[0].legend(fontsize=8)
        fig.tight_layout()
        fig.savefig(plot, dpi=80)


if __name__ == "__main__":
    main()
