#!/usr/bin/env python3
"""Writes the replay's helicopter: 3dheli.obj (positions, texture coordinates,
normals) and its texture atlas 3dheli.png, beside this script.

The model has y up and its length along z, nose towards +z, about 12 x 3 units.
Run it again after changing a shape; the outputs are committed so that the build
does not need Python.
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
TEX = 1024

# Texture atlas regions, (u0, v0, u1, v1) in texture coordinates (v up).
BODY = (0.0, 0.0, 0.5, 1.0)      # fuselage: paint, stripe, canopy
BOOM = (0.5, 0.5, 1.0, 1.0)      # tail boom and fin: paint with stripe
METAL = (0.5, 0.25, 1.0, 0.5)    # skids, struts, mast, hub
BLADE = (0.5, 0.0, 1.0, 0.25)    # rotor blades: dark with yellow tips


class Mesh:
    def __init__(self):
        self.v, self.vt, self.vn, self.faces = [], [], [], []
        self.groups = []

    def group(self, name):
        self.groups.append((len(self.faces), name))

    def vertex(self, p, uv, n):
        self.v.append(p)
        self.vt.append(uv)
        length = math.sqrt(sum(c * c for c in n)) or 1.0
        self.vn.append(tuple(c / length for c in n))
        return len(self.v)  # OBJ indices start at 1

    def tri(self, a, b, c):
        self.faces.append((a, b, c))

    def write(self, path):
        with open(path, "w", encoding="ascii", newline="\n") as f:
            f.write("# Kelo Studio replay helicopter, written by make_heli.py\n")
            f.write("# y up, length along z, nose towards +z\n")
            for p in self.v:
                f.write("v %.4f %.4f %.4f\n" % p)
            for uv in self.vt:
                f.write("vt %.4f %.4f\n" % uv)
            for n in self.vn:
                f.write("vn %.4f %.4f %.4f\n" % n)
            starts = dict(self.groups)
            for i, (a, b, c) in enumerate(self.faces):
                if i in starts:
                    f.write("g %s\n" % starts[i])
                f.write("f %d/%d/%d %d/%d/%d %d/%d/%d\n" % (a, a, a, b, b, b, c, c, c))


def sub(a, b):
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def lerp(a, b, f):
    return a + (b - a) * f


def region_uv(region, s, t):
    u0, v0, u1, v1 = region
    return (lerp(u0, u1, s), lerp(v0, v1, t))


def grid(mesh, rows, region, closed=True):
    """rows: list of rings (lists of points, all the same length). Smooth normals
    from the grid's neighbours; seam vertices duplicated for the texture."""
    n_rows, n_cols = len(rows), len(rows[0])
    idx = []
    for i in range(n_rows):
        ring = []
        for j in range(n_cols + (1 if closed else 0)):
            jj = j % n_cols
            ip, im = min(i + 1, n_rows - 1), max(i - 1, 0)
            if closed:
                jp, jm = (jj + 1) % n_cols, (jj - 1) % n_cols
            else:
                jp, jm = min(jj + 1, n_cols - 1), max(jj - 1, 0)
            along = sub(rows[ip][jj], rows[im][jj])
            around = sub(rows[i][jp], rows[i][jm])
            normal = cross(along, around)
            if sum(c * c for c in normal) < 1e-12:
                # Collapsed ring (a pointed end): face outwards along the axis.
                normal = sub(rows[i][jj], rows[ip if i == 0 else im][jj])
            s = j / float(n_cols if closed else n_cols - 1)
            t = i / float(n_rows - 1)
            ring.append(mesh.vertex(rows[i][jj], region_uv(region, s, t), normal))
        idx.append(ring)
    for i in range(n_rows - 1):
        for j in range(len(idx[i]) - 1):
            a, b = idx[i][j], idx[i][j + 1]
            c, d = idx[i + 1][j], idx[i + 1][j + 1]
            mesh.tri(a, c, b)
            mesh.tri(b, c, d)


def ellipse_ring(cx, cy, z, rx, ry, n, exponent=2.0):
    """A superellipse ring in the plane z = const, starting at the top, turning
    towards +x."""
    ring = []
    for j in range(n):
        a = 2.0 * math.pi * j / n
        s, c = math.sin(a), math.cos(a)
        e = 2.0 / exponent
        x = math.copysign(abs(s) ** e, s) * rx
        y = math.copysign(abs(c) ** e, c) * ry
        ring.append((cx + x, cy + y, z))
    return ring


def fuselage(mesh):
    mesh.group("fuselage")
    # z, centre y, half width, half height: a rounded nose, the cabin, the engine
    # deck tapering into the boom.
    stations = [
        (4.05, -0.55, 0.00, 0.00),
        (4.00, -0.55, 0.22, 0.25),
        (3.85, -0.52, 0.42, 0.48),
        (3.55, -0.45, 0.58, 0.70),
        (3.10, -0.38, 0.68, 0.88),
        (2.50, -0.30, 0.73, 1.00),
        (1.80, -0.25, 0.74, 1.06),
        (1.00, -0.22, 0.74, 1.06),
        (0.20, -0.18, 0.70, 1.00),
        (-0.50, -0.10, 0.60, 0.86),
        (-1.10, 0.00, 0.45, 0.62),
        (-1.60, 0.08, 0.30, 0.42),
        (-2.00, 0.12, 0.22, 0.28),
    ]
    rows = [ellipse_ring(0.0, cy, z, rx, ry, 40, 2.6) for z, cy, rx, ry in stations]
    rows.reverse()  # from the back to the nose, so the texture's v grows forwards
    grid(mesh, rows, BODY)
    # Close the back with a small cap facing -z.
    ring = rows[0]
    centre = (0.0, stations[-1][1], stations[-1][0])
    c = mesh.vertex(centre, region_uv(METAL, 0.5, 0.5), (0, 0, -1))
    ids = [mesh.vertex(p, region_uv(METAL, 0.5, 0.5), (0, 0, -1)) for p in ring]
    for j in range(len(ids)):
        mesh.tri(c, ids[(j + 1) % len(ids)], ids[j])


def tube(mesh, name, p0, p1, r0, r1, region, n=14, rings=8):
    """A tapered round tube from p0 to p1, ends closed by collapsing them."""
    mesh.group(name)
    axis = sub(p1, p0)
    length = math.sqrt(sum(c * c for c in axis))
    w = tuple(c / length for c in axis)
    helper = (0.0, 1.0, 0.0) if abs(w[1]) < 0.9 else (1.0, 0.0, 0.0)
    u = cross(helper, w)
    ul = math.sqrt(sum(c * c for c in u))
    u = tuple(c / ul for c in u)
    v = cross(w, u)
    rows = []
    for i in range(rings + 3):
        # i = 0 and the last ring collapse onto the axis to close the ends.
        if i == 0:
            f, r = 0.0, 0.0
        elif i == rings + 2:
            f, r = 1.0, 0.0
        else:
            f = (i - 1) / float(rings)
            r = lerp(r0, r1, f)
        centre = tuple(p0[k] + axis[k] * f for k in range(3))
        ring = []
        for j in range(n):
            a = 2.0 * math.pi * j / n
            ring.append(tuple(centre[k] + r * (math.cos(a) * v[k] + math.sin(a) * u[k])
                              for k in range(3)))
        rows.append(ring)
    grid(mesh, rows, region)


def box(mesh, name, centre, half, region, yaw=0.0, taper=1.0):
    """A box with flat faces, turned by yaw (radians) about y; taper scales the
    x and y half sizes at the +z end (for fins and blades)."""
    mesh.group(name)
    cy, sy = math.cos(yaw), math.sin(yaw)

    def place(x, y, z):
        k = lerp(1.0, taper, (z / half[2] + 1.0) / 2.0)
        x, y = x * k, y * k
        return (centre[0] + cy * x + sy * z, centre[1] + y, centre[2] - sy * x + cy * z)

    hx, hy, hz = half
    faces = [  # normal, four corners counter-clockwise seen from outside
        ((1, 0, 0), [(hx, -hy, hz), (hx, -hy, -hz), (hx, hy, -hz), (hx, hy, hz)]),
        ((-1, 0, 0), [(-hx, -hy, -hz), (-hx, -hy, hz), (-hx, hy, hz), (-hx, hy, -hz)]),
        ((0, 1, 0), [(-hx, hy, hz), (hx, hy, hz), (hx, hy, -hz), (-hx, hy, -hz)]),
        ((0, -1, 0), [(-hx, -hy, -hz), (hx, -hy, -hz), (hx, -hy, hz), (-hx, -hy, hz)]),
        ((0, 0, 1), [(-hx, -hy, hz), (hx, -hy, hz), (hx, hy, hz), (-hx, hy, hz)]),
        ((0, 0, -1), [(hx, -hy, -hz), (-hx, -hy, -hz), (-hx, hy, -hz), (hx, hy, -hz)]),
    ]
    for normal, corners in faces:
        pts = [place(*c) for c in corners]
        n = cross(sub(pts[1], pts[0]), sub(pts[2], pts[0]))
        ids = []
        for c, p in zip(corners, pts):
            # Texture along the box's z (blade span), across its x.
            s = (c[2] / hz + 1.0) / 2.0
            t = (c[0] / hx + 1.0) / 2.0 if normal[0] == 0 else (c[1] / hy + 1.0) / 2.0
            ids.append(mesh.vertex(p, region_uv(region, s, t), n))
        mesh.tri(ids[0], ids[1], ids[2])
        mesh.tri(ids[0], ids[2], ids[3])


def build():
    mesh = Mesh()
    fuselage(mesh)
    tube(mesh, "tail_boom", (0.0, 0.14, -1.9), (0.0, 0.30, -6.45), 0.24, 0.10, BOOM, n=18)
    box(mesh, "tail_fin", (0.0, 0.55, -6.45), (0.05, 0.55, 0.32), BOOM, taper=0.7)
    box(mesh, "stabiliser", (0.0, 0.24, -5.6), (0.72, 0.03, 0.18), BOOM)
    tube(mesh, "tail_hub", (0.0, 0.75, -6.45), (0.16, 0.75, -6.45), 0.06, 0.06, METAL, n=10)
    for k in range(2):
        a = math.pi * k / 2.0
        # Tail rotor blades in the x = 0.17 plane, crossing.
        tube(mesh, "tail_blade_%d" % k,
             (0.18, 0.75 - 0.62 * math.cos(a), -6.45 - 0.62 * math.sin(a)),
             (0.18, 0.75 + 0.62 * math.cos(a), -6.45 + 0.62 * math.sin(a)),
             0.04, 0.04, BLADE, n=6, rings=2)
    for side in (-1.0, 1.0):
        tube(mesh, "skid", (side * 0.62, -1.90, -1.6), (side * 0.62, -1.90, 2.6), 0.06, 0.06,
             METAL, n=12)
        tube(mesh, "skid_tip", (side * 0.62, -1.90, 2.6), (side * 0.62, -1.72, 3.05), 0.06,
             0.05, METAL, n=12, rings=3)
        for z in (-0.9, 1.7):
            tube(mesh, "strut", (side * 0.62, -1.90, z), (side * 0.42, -0.95, z), 0.05, 0.05,
                 METAL, n=10, rings=3)
    tube(mesh, "mast", (0.0, 0.70, 1.1), (0.0, 0.98, 1.1), 0.10, 0.09, METAL, n=14, rings=3)
    tube(mesh, "hub", (0.0, 0.98, 1.1), (0.0, 1.07, 1.1), 0.22, 0.18, METAL, n=16, rings=2)
    # Four main blades, 45 degrees off the axes, so that the rotor reads both from
    # the front and from the side.
    for k in range(4):
        yaw = math.pi / 4.0 + k * math.pi / 2.0
        off = 2.55
        box(mesh, "blade_%d" % k,
            (math.sin(yaw) * off, 1.02, 1.1 + math.cos(yaw) * off),
            (0.16, 0.02, 2.35), BLADE, yaw=yaw, taper=0.85)
    return mesh


def colour_at(u, v):
    """The atlas colour at texture coordinates (u, v), v up; RGBA bytes."""
    if u < 0.5:
        # Fuselage: s is the angle around the body from the top (0 and 1 top,
        # 0.25 right side, 0.5 bottom), t runs from the back (0) to the nose (1).
        s, t = u / 0.5, v
        side = min(s, 1.0 - s)  # 0 top .. 0.5 bottom
        r, g, b = 196, 32, 38
        shade = 0.85 + 0.15 * math.cos(side * 2 * math.pi)
        if 0.30 < side < 0.34:
            r, g, b = 240, 240, 236  # stripe along the side
        if t > 0.72 and side < 0.26 and not (t > 0.95 and side > 0.2):
            r, g, b = 30, 48, 70  # canopy glass
            shade = 1.0 + 0.4 * (1.0 - side / 0.26) * (t - 0.72)
        elif 0.45 < t < 0.68 and 0.12 < side < 0.26:
            r, g, b = 36, 54, 76  # side windows
            shade = 1.0
        if abs(t - 0.70) < 0.004 or abs(t - 0.44) < 0.004:
            r, g, b = 120, 20, 24  # door seams
        return (min(255, int(r * shade)), min(255, int(g * shade)), min(255, int(b * shade)), 255)
    if v >= 0.5:
        t = (v - 0.5) / 0.5
        s = (u - 0.5) / 0.5
        side = min(s, 1.0 - s)
        if 0.30 < side < 0.36:
            return (240, 240, 236, 255)
        return (int(186 + 20 * t), 30, 36, 255)
    if v >= 0.25:
        s = (u - 0.5) / 0.5
        g = int(70 + 30 * math.sin(s * math.pi * 6) ** 2)
        return (g, g, g + 6, 255)
    s = (u - 0.5) / 0.5
    if s < 0.06 or s > 0.94:
        return (250, 200, 30, 255)  # blade tips
    return (44, 44, 48, 255)


def write_png(path):
    raw = bytearray()
    for y in range(TEX):
        raw.append(0)  # filter type none
        v = 1.0 - (y + 0.5) / TEX
        row = bytearray()
        for x in range(TEX):
            row.extend(colour_at((x + 0.5) / TEX, v))
        raw.extend(row)

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", TEX, TEX, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    m = build()
    m.write(os.path.join(HERE, "3dheli.obj"))
    write_png(os.path.join(HERE, "3dheli.png"))
    xs, ys, zs = zip(*m.v)
    print("vertices %d, faces %d" % (len(m.v), len(m.faces)))
    print("x %.2f..%.2f  y %.2f..%.2f  z %.2f..%.2f"
          % (min(xs), max(xs), min(ys), max(ys), min(zs), max(zs)))
