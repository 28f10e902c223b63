#!/usr/bin/env python3
"""Compares two glTF 2.0 binary files (.glb) value by value.

    compare_gltf.py [--tolerance T] [--json] FIRST.glb SECOND.glb

Two writers of the same scene split vertices, order nodes and name buffers
differently, so the comparison is of what a viewer would show, matched by
name where glTF has names:

- vertex positions in world space, as sets per mesh (skinned meshes posed at
  rest through their skins);
- uvs (TEXCOORD_0) and vertex colours (COLOR_0) as sets of (position, value);
- the bone influences of each position: the four largest, as (joint name,
  weight);
- the rest world matrix of every joint, by node name;
- the world matrix of every animated node at every key time of either file,
  per animation (by name), with linear interpolation;
- lights by node name: world position, direction (-Z), type, colour, cone
  half-angles, intensity.

Prints one line per quantity (values compared, mismatches, largest difference)
and the first mismatches; exits 1 when anything differs beyond the tolerance,
2 on a file it cannot read. Pure Python: runs with any Python 3 and inside
Blender.
"""
import json
import math
import struct
import sys

COMPONENTS = {"SCALAR": 1, "VEC2": 2, "VEC3": 3, "VEC4": 4, "MAT4": 16}
FORMATS = {5120: "b", 5121: "B", 5122: "h", 5123: "H", 5125: "I", 5126: "f"}
NORMALISED_DIVISOR = {5121: 255.0, 5123: 65535.0}


class GlbError(Exception):
    pass


def read_glb(path):
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 20 or data[0:4] != b"glTF":
        raise GlbError(f"{path}: not a GLB file")
    offset, document, binary = 12, None, b""
    while offset + 8 <= len(data):
        length, kind = struct.unpack_from("<II", data, offset)
        chunk = data[offset + 8:offset + 8 + length]
        if kind == 0x4E4F534A:
            document = json.loads(chunk.decode("utf-8"))
        elif kind == 0x004E4942:
            binary = chunk
        offset += 8 + length
    if document is None:
        raise GlbError(f"{path}: no JSON chunk")
    return Gltf(document, binary)


# --- 4x4 matrices, column-major lists of 16 -----------------------------------

IDENTITY = [1.0, 0, 0, 0, 0, 1.0, 0, 0, 0, 0, 1.0, 0, 0, 0, 0, 1.0]


def multiply(a, b):
    return [sum(a[4 * k + r] * b[4 * c + k] for k in range(4)) for c in range(4) for r in range(4)]


def transform_point(m, p):
    return tuple(m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r] for r in range(3))


def trs_matrix(t, q, s):
    # A stored rotation is a unit quaternion only to float precision (Blender
    # writes norm² 1.0000001): unnormalised, it would scale by its norm².
    n = math.sqrt(sum(c * c for c in q)) or 1.0
    x, y, z, w = (c / n for c in q)
    rot = [1 - 2 * (y * y + z * z), 2 * (x * y + w * z), 2 * (x * z - w * y),
           2 * (x * y - w * z), 1 - 2 * (x * x + z * z), 2 * (y * z + w * x),
           2 * (x * z + w * y), 2 * (y * z - w * x), 1 - 2 * (x * x + y * y)]
    m = [0.0] * 16
    for c in range(3):
        for r in range(3):
            m[4 * c + r] = rot[3 * c + r] * s[c]
    m[12], m[13], m[14], m[15] = t[0], t[1], t[2], 1.0
    return m


def slerp(a, b, f):
    d = sum(x * y for x, y in zip(a, b))
    if d < 0:
        b, d = [-x for x in b], -d
    if d > 0.9995:
        out = [x + f * (y - x) for x, y in zip(a, b)]
    else:
        theta = math.acos(min(1.0, d))
        sa, sb = math.sin((1 - f) * theta), math.sin(f * theta)
        out = [(x * sa + y * sb) / math.sin(theta) for x, y in zip(a, b)]
    n = math.sqrt(sum(x * x for x in out)) or 1.0
    return [x / n for x in out]


class Gltf:
    def __init__(self, document, binary):
        self.doc = document
        self.bin = binary
        self.nodes = document.get("nodes", [])
        self.parent = {}
        for i, node in enumerate(self.nodes):
            for child in node.get("children", []):
                self.parent[child] = i

    def accessor(self, index):
        a = self.doc["accessors"][index]
        n = COMPONENTS[a["type"]]
        fmt = FORMATS[a["componentType"]]
        size = struct.calcsize(fmt)
        count = a["count"]
        if "bufferView" not in a:
            return [[0.0] * n for _ in range(count)]
        view = self.doc["bufferViews"][a["bufferView"]]
        stride = view.get("byteStride", size * n)
        base = view.get("byteOffset", 0) + a.get("byteOffset", 0)
        divisor = NORMALISED_DIVISOR.get(a["componentType"]) if a.get("normalized") else None
        out = []
        for i in range(count):
            item = list(struct.unpack_from("<" + fmt * n, self.bin, base + i * stride))
            out.append([v / divisor for v in item] if divisor else item)
        return out

    def name(self, node):
        return self.nodes[node].get("name", f"#{node}")

    def local(self, node, pose=None):
        n = self.nodes[node]
        if pose and node in pose:
            t, q, s = pose[node]
        elif "matrix" in n:
            return list(n["matrix"])
        else:
            t, q, s = n.get("translation", [0, 0, 0]), n.get("rotation", [0, 0, 0, 1]), n.get("scale", [1, 1, 1])
        return trs_matrix(t, q, s)

    def world(self, node, pose=None):
        m = self.local(node, pose)
        while node in self.parent:
            node = self.parent[node]
            m = multiply(self.local(node, pose), m)
        return m

    def rest_trs(self, node):
        n = self.nodes[node]
        return (list(n.get("translation", [0, 0, 0])), list(n.get("rotation", [0, 0, 0, 1])),
                list(n.get("scale", [1, 1, 1])))

    # --- facts ---------------------------------------------------------------

    def vertices(self):
        """(mesh name, position, uv, colour, influences) of every vertex at rest."""
        out = []
        for node_index, node in enumerate(self.nodes):
            if "mesh" not in node:
                continue
            mesh = self.doc["meshes"][node["mesh"]]
            skin = self.doc["skins"][node["skin"]] if "skin" in node else None
            if skin is not None:
                ibms = self.accessor(skin["inverseBindMatrices"]) if "inverseBindMatrices" in skin \
                    else [IDENTITY] * len(skin["joints"])
                joint_matrices = [multiply(self.world(j), ibm) for j, ibm in zip(skin["joints"], ibms)]
            node_world = self.world(node_index)
            mesh_name = mesh.get("name", node.get("name", ""))
            for primitive in mesh["primitives"]:
                attributes = primitive["attributes"]
                positions = self.accessor(attributes["POSITION"])
                uvs = self.accessor(attributes["TEXCOORD_0"]) if "TEXCOORD_0" in attributes else None
                colours = self.accessor(attributes["COLOR_0"]) if "COLOR_0" in attributes else None
                joints = self.accessor(attributes["JOINTS_0"]) if skin and "JOINTS_0" in attributes else None
                weights = self.accessor(attributes["WEIGHTS_0"]) if joints else None
                for i, p in enumerate(positions):
                    influences = ()
                    if joints:
                        pairs = sorted(((w, skin["joints"][int(j)]) for j, w in zip(joints[i], weights[i]) if w > 0),
                                       reverse=True)[:4]
                        world = [0.0] * 3
                        for w, joint in pairs:
                            q = transform_point(joint_matrices[skin["joints"].index(joint)], p)
                            world = [a + w * b for a, b in zip(world, q)]
                        influences = tuple((self.name(joint), w) for w, joint in pairs)
                        position = tuple(world)
                    else:
                        position = transform_point(node_world, p)
                    colour = tuple(colours[i][:3]) if colours else None
                    out.append((mesh_name, position, tuple(uvs[i]) if uvs else None, colour, influences))
        return out

    def joints(self):
        names = {}
        for skin in self.doc.get("skins", []):
            for j in skin["joints"]:
                names[self.name(j)] = self.world(j)
        return names

    def animations(self):
        """Per animation name: {time: {node name: world matrix}} for the animated nodes."""
        result = {}
        for animation in self.doc.get("animations", []):
            tracks = {}
            for channel in animation["channels"]:
                target = channel["target"]
                if "node" not in target or target["path"] not in ("translation", "rotation", "scale"):
                    continue
                sampler = animation["samplers"][channel["sampler"]]
                times = [t[0] for t in self.accessor(sampler["input"])]
                values = self.accessor(sampler["output"])
                tracks.setdefault(target["node"], {})[target["path"]] = (times, values,
                                                                          sampler.get("interpolation", "LINEAR"))
            all_times = sorted({t for node in tracks.values() for times, _, _ in node.values() for t in times})
            frames = {}
            for t in all_times:
                pose = {}
                for node, paths in tracks.items():
                    trs = list(self.rest_trs(node))
                    for k, path in enumerate(("translation", "rotation", "scale")):
                        if path in paths:
                            trs[k] = sample(*paths[path], t, path == "rotation")
                    pose[node] = trs
                frames[round(t, 5)] = {self.name(n): self.world(n, pose) for n in tracks}
            result[animation.get("name", "")] = frames
        return result

    def lights(self):
        lights = self.doc.get("extensions", {}).get("KHR_lights_punctual", {}).get("lights", [])
        out = {}
        for i, node in enumerate(self.nodes):
            ref = node.get("extensions", {}).get("KHR_lights_punctual")
            if ref is None:
                continue
            light = lights[ref["light"]]
            m = self.world(i)
            length = math.sqrt(m[8] ** 2 + m[9] ** 2 + m[10] ** 2) or 1.0
            spot = light.get("spot", {})
            out[self.name(i)] = {
                "type": light["type"],
                "position": (m[12], m[13], m[14]),
                "direction": (-m[8] / length, -m[9] / length, -m[10] / length),
                "color": tuple(light.get("color", [1, 1, 1])),
                "intensity": (light.get("intensity", 1.0),),
                "cone": (spot.get("innerConeAngle", 0.0), spot.get("outerConeAngle", math.pi / 4))
                if light["type"] == "spot" else (),
            }
        return out


def sample(times, values, interpolation, t, rotation):
    if interpolation == "CUBICSPLINE":
        values = values[1::3]
    if t <= times[0]:
        return list(values[0])
    if t >= times[-1]:
        return list(values[-1])
    k = max(i for i, time in enumerate(times) if time <= t)
    if interpolation == "STEP" or times[k] == t:
        return list(values[k])
    f = (t - times[k]) / (times[k + 1] - times[k])
    if rotation:
        return slerp(values[k], values[k + 1], f)
    return [a + f * (b - a) for a, b in zip(values[k], values[k + 1])]


# --- the comparison --------------------------------------------------------------

class Report:
    def __init__(self, tolerance):
        self.tolerance = tolerance
        self.rows = []

    def row(self, quantity, compared, mismatches, largest):
        self.rows.append({"quantity": quantity, "compared": compared, "mismatches": len(mismatches),
                          "largest difference": largest, "first mismatches": mismatches[:5]})

    def failed(self):
        return any(r["mismatches"] for r in self.rows)


def difference(a, b):
    if a is None or b is None:
        return 0.0 if a is b else math.inf
    if len(a) != len(b):
        return math.inf
    return max((abs(x - y) for x, y in zip(a, b)), default=0.0)


def nearest_difference(value, candidates):
    return min((difference(value, c) for c in candidates), default=math.inf)


def compare_sets(report, quantity, first, second):
    """Every value of each set has one in the other within the tolerance."""
    mismatches, largest = [], 0.0
    for mine, theirs, which in ((first, second, "first"), (second, first, "second")):
        buckets = bucketed(theirs, report.tolerance)
        for value in sorted(set(mine)):
            d = nearest_difference(value, near(buckets, value, report.tolerance))
            largest = max(largest, d if d != math.inf else largest)
            if d > report.tolerance:
                mismatches.append(f"{which} file's {fmt(value)} has no counterpart")
    report.row(quantity, len(set(first)) + len(set(second)), mismatches, largest)


def bucketed(values, tolerance):
    cell = max(tolerance * 4, 1e-6)
    buckets = {}
    for v in set(values):
        buckets.setdefault(tuple(math.floor(x / cell) for x in v[:3]), []).append(v)
    return cell, buckets


def near(bucketing, value, tolerance):
    cell, buckets = bucketing
    key = [math.floor(x / cell) for x in value[:3]]
    out = []
    for dx in (-1, 0, 1):
        for dy in (-1, 0, 1):
            for dz in (-1, 0, 1):
                out += buckets.get((key[0] + dx, key[1] + dy, key[2] + dz), [])
    return out


def compare_named(report, quantity, first, second):
    mismatches, largest, compared = [], 0.0, 0
    for name in sorted(set(first) | set(second)):
        if name not in first or name not in second:
            mismatches.append(f"{name} is in one file only")
            continue
        compared += 1
        d = difference(first[name], second[name])
        largest = max(largest, d if d != math.inf else largest)
        if d > report.tolerance:
            mismatches.append(f"{name}: {fmt(first[name])} against {fmt(second[name])}")
    report.row(quantity, compared, mismatches, largest)


def fmt(value):
    if isinstance(value, (tuple, list)):
        return "(" + ", ".join(fmt(v) for v in value) + ")"
    if isinstance(value, float):
        return f"{value:.6g}"
    return str(value)


def compare(first, second, tolerance=1e-4):
    report = Report(tolerance)
    va, vb = first.vertices(), second.vertices()
    compare_sets(report, "vertex positions", [v[1] for v in va], [v[1] for v in vb])
    compare_sets(report, "uvs (position, uv)",
                 [v[1] + v[2] for v in va if v[2]], [v[1] + v[2] for v in vb if v[2]])
    compare_sets(report, "colours (position, colour)",
                 [v[1] + v[3] for v in va if v[3]], [v[1] + v[3] for v in vb if v[3]])
    influences = lambda vs: {fmt(v[1]) + " " + "/".join(n for n, _ in v[4]): tuple(w for _, w in v[4])
                             for v in vs if v[4]}
    compare_named(report, "four largest weights", influences(va), influences(vb))
    compare_named(report, "joint rest world matrices", first.joints(), second.joints())
    aa, ab = first.animations(), second.animations()
    frames_a = {f"{name} t={t} {node}": m for name, frames in aa.items() for t, nodes in frames.items()
                for node, m in nodes.items()}
    frames_b = {f"{name} t={t} {node}": m for name, frames in ab.items() for t, nodes in frames.items()
                for node, m in nodes.items()}
    compare_named(report, "animated world matrices", frames_a, frames_b)
    la, lb = first.lights(), second.lights()
    for key in ("position", "direction", "color", "cone", "intensity"):
        compare_named(report, f"light {key}", {n: l[key] for n, l in la.items()},
                      {n: l[key] for n, l in lb.items()})
    types = [f"{n}: {la[n]['type']} against {lb[n]['type']}" for n in la if n in lb and la[n]["type"] != lb[n]["type"]]
    report.row("light types", len(set(la) & set(lb)), types, 0.0)
    return report


def main(argv):
    args = list(argv)
    tolerance, as_json = 1e-4, False
    if "--json" in args:
        args.remove("--json")
        as_json = True
    if "--tolerance" in args:
        i = args.index("--tolerance")
        tolerance = float(args[i + 1])
        del args[i:i + 2]
    if len(args) != 2:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    try:
        report = compare(read_glb(args[0]), read_glb(args[1]), tolerance)
    except (OSError, GlbError, ValueError, KeyError) as e:
        print(f"compare_gltf: {e}", file=sys.stderr)
        return 2
    if as_json:
        print(json.dumps(report.rows, indent=1))
    else:
        print(f"{'quantity':34} {'compared':>9} {'mismatches':>10} {'largest difference':>19}")
        for r in report.rows:
            print(f"{r['quantity']:34} {r['compared']:9d} {r['mismatches']:10d} {r['largest difference']:19.3g}")
            for m in r["first mismatches"]:
                print(f"    {m}")
    return 1 if report.failed() else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
