#!/usr/bin/python3
"""Regenerate every image Brimlet ships with.

Run with Debian's Python and python3-pil:
    /usr/bin/python3 resources/tools/make_artwork.py

The bitmaps the window scales with the screen (background, close cross,
advertiser tiles) are also drawn at twice the size as name@2x.png, which Qt
picks up on a screen scaled to 150 % or more.

Output is byte-for-byte reproducible: randomness is seeded, and PNG/ICO files
are written by the small encoders below, so no timestamps or metadata chunks
sneak in and the colour type of every file stays exactly as intended.
"""

import math
import random
import struct
import zlib
from pathlib import Path

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

RES = Path(__file__).resolve().parent.parent
FONT_PATH = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
BLUE = "#5272ba"


# --- encoders ---------------------------------------------------------------

def write_png(path, width, height, colour_type, bit_depth, rows,
              plte=None, trns=None):
    """rows: one bytes object per scanline, already packed for the format."""
    def chunk(tag, data):
        return (struct.pack(">I", len(data)) + tag + data
                + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF))

    raw = b"".join(b"\x00" + r for r in rows)  # filter 0 keeps the encoder trivial
    out = [b"\x89PNG\r\n\x1a\n",
           chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, bit_depth,
                                      colour_type, 0, 0, 0))]
    if plte is not None:
        out.append(chunk(b"PLTE", plte))
    if trns is not None:
        out.append(chunk(b"tRNS", trns))
    out += [chunk(b"IDAT", zlib.compress(raw, 9)), chunk(b"IEND", b"")]
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(b"".join(out))


def png_from_image(path, img):
    """8-bit RGB (type 2) or RGBA (type 6) straight from a PIL image."""
    ctype = {"RGB": 2, "RGBA": 6}[img.mode]
    stride = img.width * len(img.mode)
    data = img.tobytes()
    rows = [data[y * stride:(y + 1) * stride] for y in range(img.height)]
    write_png(path, img.width, img.height, ctype, 8, rows)


def ppm_from_image(path, img):
    """8-bit RGB as plain pixels (binary PPM): read without any decoding."""
    path.write_bytes(b"P6\n%d %d\n255\n" % img.size + img.tobytes())


def png_grey_alpha16(path, alpha):
    """White ink whose coverage is a float ("F", 0..255) image -> type 4, 16-bit."""
    w, h = alpha.size
    px = [struct.pack(">HH", 65535, min(65535, round(v * 65535 / 255)))
          for v in alpha.getdata()]
    rows = [b"".join(px[y * w:(y + 1) * w]) for y in range(h)]
    write_png(path, w, h, 4, 16, rows)


def png_white_palette(path, alpha, levels=16):
    """White ink as an indexed image; the palette only varies in tRNS alpha."""
    w, h = alpha.size
    steps = [round(i * 255 / (levels - 1)) for i in range(levels)]
    idx = bytes(round(a * (levels - 1) / 255) for a in alpha.getdata())
    rows = [idx[y * w:(y + 1) * w] for y in range(h)]
    write_png(path, w, h, 3, 8, rows,
              plte=b"\xff\xff\xff" * levels, trns=bytes(steps))


def write_ico(path, img):
    """Single 32-bit BGRA entry. PIL's ICO writer only emits square sizes,
    so the container is assembled by hand."""
    w, h = img.size
    px = img.load()
    bgra = bytearray()
    for y in range(h - 1, -1, -1):  # DIBs are stored bottom-up
        for x in range(w):
            r, g, b, a = px[x, y]
            bgra += bytes((b, g, r, a))
    mask_stride = (w + 31) // 32 * 4
    mask = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(mask_stride)
        for x in range(w):
            if px[x, y][3] == 0:  # old renderers without alpha use the mask
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    info = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0,
                       len(bgra) + len(mask), 0, 0, 0, 0)
    body = info + bytes(bgra) + bytes(mask)
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w & 0xFF, h & 0xFF, 0, 0, 1, 32,
                        len(body), 6 + 16)
    path.write_bytes(header + entry + body)


# --- drawing helpers ----------------------------------------------------------

def stroke(draw, pts, width, closed=False):
    """Polyline with round caps and joins, which PIL lacks natively."""
    seq = list(pts) + ([pts[0]] if closed else [])
    for a, b in zip(seq, seq[1:]):
        draw.line([a, b], fill=255, width=round(width))
    r = width / 2
    for x, y in seq:
        draw.ellipse([x - r, y - r, x + r, y + r], fill=255)


def supersampled(size, scale, paint, precise=False):
    """Paint a 0/255 mask at `scale`x, then box-filter down for antialiasing.
    `precise` keeps fractional coverage ("F") so 16-bit output gains from it."""
    big = Image.new("L", (size[0] * scale, size[1] * scale), 0)
    paint(ImageDraw.Draw(big), scale)
    return (big.convert("F") if precise else big).resize(size, Image.BOX)


def noise(rnd, size):
    return Image.frombytes("L", size, rnd.randbytes(size[0] * size[1]))


def ramp(w, h, fn, along_x=False):
    """Greyscale image varying along one axis, from a 0..255 function."""
    n = w if along_x else h
    line = Image.new("L", (n, 1))
    line.putdata([max(0, min(255, round(fn(i)))) for i in range(n)])
    return (line if along_x else line.transpose(Image.TRANSPOSE)).resize((w, h))


def vgradient(size, top, bottom):
    """Vertical RGB gradient; built as a 1-px column so it stays cheap."""
    w, h = size
    col = Image.new("RGB", (1, h))
    for y in range(h):
        t = y / max(1, h - 1)
        col.putpixel((0, y), tuple(round(a + (b - a) * t)
                                   for a, b in zip(top, bottom)))
    return col.resize((w, h), Image.NEAREST)


# --- application icon ---------------------------------------------------------

def package_corners(w, h, m, slant):
    """Corners of an isometric box: T(op), L/R upper, C(entre), LL/LR, B(ottom)."""
    cx = w / 2
    return dict(T=(cx, m), L=(m, m + slant), R=(w - m, m + slant),
                C=(cx, m + 2 * slant), LL=(m, h - m - slant),
                LR=(w - m, h - m - slant), B=(cx, h - m))


def make_icon():
    w, h = 95, 104

    def paint(d, s):
        p = {k: (x * s, y * s) for k, (x, y) in
             package_corners(w, h, 4, 25).items()}
        lw = 5 * s
        stroke(d, [p["T"], p["R"], p["LR"], p["B"], p["LL"], p["L"]], lw, True)
        stroke(d, [p["L"], p["C"], p["R"]], lw)
        stroke(d, [p["C"], p["B"]], lw)
        # The band crosses the lid and drops down the front face, which is
        # what makes the box read as a wrapped parcel rather than a cube.
        off = (p["C"][0] - p["L"][0], p["C"][1] - p["L"][1])
        for v in (0.38, 0.62):
            a = (p["L"][0] + v * off[0], p["L"][1] + v * off[1])
            b = (p["T"][0] + v * off[0], p["T"][1] + v * off[1])
            c = (p["LL"][0] + v * off[0], p["LL"][1] + v * off[1])
            stroke(d, [b, a, c], 3 * s)

    alpha = supersampled((w, h), 8, paint)
    img = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    img.putalpha(alpha)
    write_ico(RES / "icon.ico", img)


# --- background photograph ------------------------------------------------------

def at_scale(name, scale):
    """name.png at 1x, name@2x.png at 2x."""
    stem, dot, ext = name.rpartition(".")
    return name if scale == 1 else f"{stem}@{scale}x{dot}{ext}"


def make_background(scale=1):
    # The scene is laid out in 1x pixels; `scale` draws it with more of them.
    s1 = scale
    w, h, hz = 980 * s1, 777 * s1, 318 * s1
    rnd = random.Random(20240611)

    sky = vgradient((w, hz), (118, 162, 212), (206, 225, 241))
    # Soft cloud banks: coarse noise blown up so only large blobs survive.
    clouds = noise(rnd, (7, 9)).resize((w, hz), Image.BICUBIC)
    clouds = clouds.point(lambda v: max(0, v - 150) * 2)
    clouds = clouds.filter(ImageFilter.GaussianBlur(18 * s1))
    sky = Image.composite(Image.new("RGB", sky.size, (245, 248, 252)), sky,
                          clouds)

    # Ripples are a horizontally stretched noise texture laid on a ground
    # plane, so they shrink and crowd together toward the horizon like the
    # real thing.
    tex = noise(rnd, (64, 384)).resize((4096, 1024), Image.BICUBIC)
    tex = ImageChops.add(tex, noise(rnd, (256, 512)).resize(
        (4096, 1024), Image.BICUBIC), scale=2.0)
    k, depth, u0 = 150.0, 26820.0, 2048.0
    # The ground plane is fixed in 1x pixels: output coordinates are
    # divided by the scale, constant terms stay.
    h1 = hz / s1
    coeffs = (-k / h1 / s1, -u0 / h1 / s1, (k * w / s1 / 2 + u0 * h1) / h1,
              0.0, 0.0, -depth / h1, 0.0, -1.0 / h1 / s1)
    projective = 2  # PIL's eight-coefficient (homography) transform mode
    ripples = tex.transform((w, h), projective, coeffs,
                            Image.BILINEAR, fillcolor=128)
    # Distant water is visually calm, and the far texture aliases anyway.
    calm = ramp(w, h, lambda y: 255 * (y - hz) / (140 * s1))
    ripples = Image.composite(ripples, Image.new("L", (w, h), 128), calm)

    deep = vgradient((w, h), (70, 110, 150), (28, 66, 110))
    light = vgradient((w, h), (170, 196, 220), (92, 136, 178))
    water = Image.composite(light, deep, ripples)

    img = water.copy()
    img.paste(sky, (0, 0))
    haze = ramp(w, h, lambda y: 120 * math.exp(-abs(y - hz) / (9 * s1)))
    img = Image.composite(Image.new("RGB", (w, h), (222, 233, 243)), img, haze)

    # Wake first so the boat sits on top of its own foam.
    sx, sy = 566, 452

    def S(pts):
        return [(x * s1, y * s1) for x, y in pts]

    wake = Image.new("L", (w, h), 0)
    d = ImageDraw.Draw(wake)
    d.polygon(S([(sx, sy - 4), (150, 400), (120, 420), (sx, sy + 6)]), fill=170)
    d.polygon(S([(sx, sy), (180, 440), (170, 470), (sx, sy + 8)]), fill=200)
    d.polygon(S([(sx, sy - 3), (300, 430), (300, 446), (sx, sy + 6)]), fill=255)
    # Foam dies away with distance behind the stern.
    fade = ramp(w, h, lambda x: 255 * (1 - (sx * s1 - x) / (430 * s1)),
                along_x=True)
    wake = ImageChops.multiply(wake, fade)
    # Drawn from as much noise at every scale, so both sizes show one wake.
    wake = ImageChops.multiply(wake, noise(rnd, (980 // 3, 777 // 3)).resize(
        (w, h), Image.BICUBIC).point(lambda v: min(255, v * 2)))
    wake = wake.filter(ImageFilter.GaussianBlur(3 * s1))
    img = Image.composite(Image.new("RGB", (w, h), (240, 246, 250)), img, wake)

    s = 4
    boat = Image.new("RGBA", (140 * s, 60 * s), (0, 0, 0, 0))
    bd = ImageDraw.Draw(boat)

    def P(pts):
        return [(x * s, y * s) for x, y in pts]

    bd.ellipse(P([(4, 36), (134, 46)]), fill=(30, 50, 75, 120))  # reflection
    bd.polygon(P([(8, 28), (118, 24), (136, 25), (120, 38), (14, 40),
                  (8, 36)]), fill=(34, 40, 52, 255))
    bd.polygon(P([(10, 30), (126, 27), (124, 29), (12, 32)]),
               fill=(235, 238, 240, 255))
    bd.polygon(P([(36, 28), (46, 16), (74, 15), (88, 26)]),
               fill=(58, 66, 80, 255))
    bd.polygon(P([(50, 19), (72, 18.5), (80, 24), (52, 24.5)]),
               fill=(150, 175, 200, 255))
    bd.ellipse(P([(116, 33), (134, 39)]), fill=(240, 246, 250, 170))  # bow spray
    boat = boat.resize((140 * s1, 60 * s1), Image.BOX)
    img.paste(boat, ((sx - 10) * s1, (sy - 32) * s1), boat)

    grain = noise(rnd, (w, h)).convert("RGB")
    img = Image.blend(img, grain, 0.03)
    img = img.filter(ImageFilter.GaussianBlur(0.6 * s1))
    # Washed out hard: the window draws #5272BA text straight on top of this.
    img = Image.blend(img, Image.new("RGB", (w, h), (255, 255, 255)), 0.87)
    png_from_image(RES / at_scale("background.png", scale), img)
    # The main window reads its 1x picture at every start, before its first
    # paint: stored as the pixels themselves (see app/BackgroundPicture.cpp).
    if scale == 1:
        ppm_from_image(RES / "background.ppm", img)


# --- window buttons ------------------------------------------------------------

def make_close(scale=1):
    n = 778 * scale

    def paint(d, s):
        a, b = 150 * scale * s, (n - 150 * scale) * s
        stroke(d, [(a, a), (b, b)], 120 * scale * s)
        stroke(d, [(a, b), (b, a)], 120 * scale * s)

    png_white_palette(RES / at_scale("close.png", scale),
                      supersampled((n, n), 3, paint))


def make_title_close(scale=1):
    """The close cross at the title bar's 16-pixel icon size: the same drawing
    as close.png, its 16 ink levels averaged down, as Qt would shrink it, so
    that the window need not decode the large one for its first paint."""
    levels = 15
    n = 778

    def paint(d, s):
        a, b = 150 * s, (n - 150) * s
        stroke(d, [(a, a), (b, b)], 120 * s)
        stroke(d, [(a, b), (b, a)], 120 * s)

    ink = supersampled((n, n), 3, paint).point(
        lambda a: round(round(a * levels / 255) * 255 / levels))
    side = 16 * scale
    png_grey_alpha16(RES / at_scale("close-title.png", scale),
                     ink.convert("F").resize((side, side), Image.BOX))


def make_minimize():
    def paint(d, s):
        stroke(d, [(9 * s, 16 * s), (23 * s, 16 * s)], 2.5 * s)

    png_grey_alpha16(RES / "minimize.png",
                     supersampled((32, 32), 32, paint, True))


def make_help():
    def paint(d, s):
        cx, cy, r = 16, 11.5, 5.5
        pts = [(cx + r * math.cos(math.radians(t)),
                cy + r * math.sin(math.radians(t))) for t in range(195, 406, 5)]
        pts += [(16, 18.2), (16, 20.5)]
        stroke(d, [(x * s, y * s) for x, y in pts], 2.6 * s)
        rd = 1.7 * s
        d.ellipse([16 * s - rd, 25 * s - rd, 16 * s + rd, 25 * s + rd], fill=255)

    png_grey_alpha16(RES / "help.png", supersampled((32, 32), 32, paint, True))


# --- file-type glyphs ------------------------------------------------------------

def svg(name, w, h, body):
    text = (f'<svg xmlns="http://www.w3.org/2000/svg" width="{w}" '
            f'height="{h}" viewBox="0 0 {w} {h}">\n{body}</svg>\n')
    (RES / name).write_text(text, encoding="utf-8")


def fmt(pts):
    num = lambda v: f"{v:.3f}".rstrip("0").rstrip(".")
    return " ".join(f"{num(x)},{num(y)}" for x, y in pts)


def make_file_all():
    p = package_corners(30.289, 33.164, 1.5, 7.5)
    off = (p["C"][0] - p["L"][0], p["C"][1] - p["L"][1])
    band = [(p["T"][0] + off[0] / 2, p["T"][1] + off[1] / 2),
            (p["L"][0] + off[0] / 2, p["L"][1] + off[1] / 2)]
    outline = [p[k] for k in ("T", "R", "LR", "B", "LL", "L")]
    body = (
        '<g fill="none" stroke="#ffffff" stroke-width="3" '
        'stroke-linecap="round" stroke-linejoin="round">\n'
        f'  <polygon points="{fmt(outline)}"/>\n'
        f'  <polyline points="{fmt([p["L"], p["C"], p["R"]])}"/>\n'
        f'  <polyline points="{fmt([p["C"], p["B"]])}"/>\n'
        f'  <polyline points="{fmt(band)}"/>\n'
        '</g>\n')
    svg("file-all.svg", "30.289", "33.164", body)


# The page is one even-odd path (sheet with a dog-ear notch, minus a window
# in its lower half) so the mark sits in a see-through window and stays
# legible on any backdrop, not just on white.
PAGE = ("M1.5,0 H14 V6 A2.5,2.5 0 0 0 16.5,8.5 H22.5 V28.5 "
        "A1.5,1.5 0 0 1 21,30 H1.5 A1.5,1.5 0 0 1 0,28.5 V1.5 "
        "A1.5,1.5 0 0 1 1.5,0 Z "
        "M2,13 V26.5 A0.5,0.5 0 0 0 2.5,27 H20 A0.5,0.5 0 0 0 20.5,26.5 "
        "V13 A0.5,0.5 0 0 0 20,12.5 H2.5 A0.5,0.5 0 0 0 2,13 Z")
FLAP = "M15.5,0 L22.5,7 H17 A1.5,1.5 0 0 1 15.5,5.5 Z"


def document(name, mark):
    body = (f'<path fill="{BLUE}" fill-rule="evenodd" d="{PAGE}"/>\n'
            f'<path fill="{BLUE}" d="{FLAP}"/>\n{mark}')
    svg(name, "22.5", "30", body)


def make_documents():
    document("file-image.svg",
             f'<circle fill="{BLUE}" cx="7" cy="16.5" r="1.8"/>\n'
             f'<path fill="{BLUE}" d="M3.5,25.5 L9,18.5 L12.5,22.5 '
             'L15,19.5 L19,25.5 Z"/>\n')
    document("file-pdf.svg",
             f'<path fill="none" stroke="{BLUE}" stroke-width="1.5" '
             'stroke-linecap="round" stroke-linejoin="round" '
             'd="M4,24 V16 H6.2 A2,2 0 0 1 6.2,20 H4 '
             'M9.2,16 V24 H10.4 Q13.6,24 13.6,20 Q13.6,16 10.4,16 Z '
             'M18.8,16 H16 V24 M16,20 H18.2"/>\n')
    document("file-word.svg",
             f'<path fill="none" stroke="{BLUE}" stroke-width="1.8" '
             'stroke-linecap="round" stroke-linejoin="round" '
             'd="M4.5,15.5 L7.8,24.2 L11.25,17.5 L14.7,24.2 L18,15.5"/>\n')


# --- advertiser tiles ----------------------------------------------------------------

# Deliberately bland, unrelated tones so none of them echoes a brand identity.
TILES = [("booking", (128, 128), (196, 204, 214)),
         ("expedia", (128, 130), (201, 211, 201)),
         ("hotels", (130, 130), (205, 205, 208)),
         ("tripadvisor", (128, 128), (190, 204, 222)),
         ("walgreens", (130, 130), (214, 212, 206)),
         ("wayfair", (130, 130), (196, 214, 212))]
INK = (52, 58, 66)
SS = 4


def text_mask(text, px):
    """Text coverage at SS x scale, cropped to its ink."""
    try:
        f, grow = ImageFont.truetype(FONT_PATH, px * SS), 1
    except OSError:  # the bitmap fallback cannot scale, so enlarge afterwards
        f, grow = ImageFont.load_default(), SS
    box = f.getbbox(text)
    m = Image.new("L", (box[2] + 2, box[3] + 2), 0)
    ImageDraw.Draw(m).text((0, 0), text, font=f, fill=255)
    m = m.resize((m.width * grow, m.height * grow), Image.NEAREST)
    return m.crop(m.getbbox())


def make_tile(name, size, colour, scale=1):
    w, h = size[0] * scale, size[1] * scale
    W, H = w * SS, h * SS
    u = SS * scale  # one 1x pixel, supersampled
    shape = Image.new("L", (W, H), 0)
    ImageDraw.Draw(shape).rounded_rectangle(
        [u, u, W - u - 1, H - u - 1], radius=18 * u, fill=255)
    ink = Image.new("L", (W, H), 0)

    px = 24  # largest size that still leaves a comfortable margin
    label = text_mask(name, px * scale)
    while label.width > W - 24 * u and px > 8:
        px -= 1
        label = text_mask(name, px * scale)
    ink.paste(label, ((W - label.width) // 2, (H - label.height) // 2))

    ad = text_mask("Ad", 10 * scale)
    pad = 3 * u
    ax, ay = 12 * u, 12 * u
    ImageDraw.Draw(ink).rounded_rectangle(
        [ax - pad, ay - pad, ax + ad.width + pad, ay + ad.height + pad],
        radius=3 * u, outline=200, width=u)
    ink.paste(ad, (ax, ay), ad)

    # Colour and coverage are filtered separately so edges never pick up
    # dark fringes from the transparent area.
    rgb = Image.composite(Image.new("RGB", (W, H), INK),
                          Image.new("RGB", (W, H), colour), ink)
    img = rgb.resize((w, h), Image.BOX)
    img.putalpha(shape.resize((w, h), Image.BOX))
    png_from_image(RES / "adv" / at_scale(f"{name}.png", scale), img)


def main():
    make_icon()
    for scale in (1, 2):
        make_background(scale)
        make_close(scale)
        make_title_close(scale)
        for name, size, colour in TILES:
            make_tile(name, size, colour, scale)
    make_minimize()
    make_help()
    make_file_all()
    make_documents()


if __name__ == "__main__":
    main()
