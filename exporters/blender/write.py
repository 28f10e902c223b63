"""Writes a gathered Scene (records.py) as a Blender XML file, in pieces:
large number lists are formatted and written a part at a time, so the file
never exists as one string. Nothing here needs Blender."""

import numpy as np

from . import numtext, text

FORMAT_VERSION = 3
# Meshes of at least this many vertices have a progress stage of their own.
BIG_MESH = 100000
INDENT = "  "


class Writer:
    """One element per line, indented by depth; text goes straight to out."""

    def __init__(self, out):
        self.out = out
        self.depth = 0

    @staticmethod
    def _attributes(attrs):
        return "".join(' %s="%s"' % (k, text.escape_attribute(str(v))) for k, v in attrs)

    def line(self, content):
        self.out.write(INDENT * self.depth + content + "\n")

    def open(self, tag, *attrs):
        self.line("<%s%s>" % (tag, self._attributes(attrs)))
        self.depth += 1

    def close(self, tag):
        self.depth -= 1
        self.line("</%s>" % tag)

    def empty(self, tag, *attrs):
        self.line("<%s%s/>" % (tag, self._attributes(attrs)))

    def leaf(self, tag, content, *attrs):
        self.line("<%s%s>%s</%s>" % (tag, self._attributes(attrs), text.escape_text(content), tag))

    def numbers(self, tag, pieces, *attrs):
        """An element whose content is number text (nothing to escape), given
        as an iterable of pieces."""
        self.out.write(INDENT * self.depth + "<%s%s>" % (tag, self._attributes(attrs)))
        for piece in pieces:
            self.out.write(piece)
        self.out.write("</%s>\n" % tag)


def float_pieces(values, keys=None, key_count=0):
    """The number text of a float32 array, a part at a time. keys (one per
    row of values) tell which rows are likely equal: per-corner values of
    the same vertex."""
    if keys is not None and len(keys):
        strings = numtext.texts_by_key(values, keys, key_count)
    else:
        strings = numtext.texts(np.asarray(values, dtype=np.float32).ravel())
    for start in range(0, len(strings), numtext.CHUNK):
        yield (" " if start else "") + " ".join(strings[start:start + numtext.CHUNK].tolist())


def integer_pieces(values):
    values = np.asarray(values).ravel()
    for start in range(0, len(values), numtext.CHUNK):
        yield (" " if start else "") + numtext.integers_text(values[start:start + numtext.CHUNK])


def vector(names, values):
    return tuple(zip(names, (text.number(v) for v in values)))


def section(w, tag, items, write_one):
    """A section element holding items; no element at all when items is empty."""
    if not items:
        return
    w.open(tag)
    for item in items:
        write_one(w, item)
    w.close(tag)


def write_light(w, light):
    w.open("light", ("name", light.name), ("type", light.kind))
    w.empty("color", *vector("rgb", light.colour))
    if light.spot_angle is not None:
        w.empty("spot", ("angle", text.number(light.spot_angle)))
    w.leaf("radius", text.number(light.radius))
    w.leaf("intensity", text.number(light.intensity))
    w.close("light")


def write_camera(w, camera):
    w.open("camera", ("name", camera.name), ("type", camera.kind))
    w.empty("clip", ("near", text.number(camera.near)), ("far", text.number(camera.far)))
    w.leaf("fov", text.number(camera.fov))
    w.close("camera")


def write_image(w, image):
    w.empty("image", ("name", image.name), ("url", image.url))


def write_texture(w, image):
    w.open("texture", ("name", image.name), ("type", "image"))
    w.leaf("image", image.name)
    w.close("texture")


def write_material(w, material):
    w.open("material", ("name", material.name))
    for slot in material.slots:
        w.open("texture", ("name", slot.image), ("map_type", slot.map_type), ("blend_type", "mix"))
        if slot.uv_name:
            w.leaf("uvset", slot.uv_name)
        w.close("texture")
    w.leaf("shininess", text.number(material.shininess))
    w.leaf("alpha", text.number(material.alpha))
    w.empty("diffuse", *vector("rgb", material.diffuse))
    w.empty("specular", *vector("rgb", material.specular))
    w.close("material")


def write_geometry(w, g):
    w.open("geometry", ("name", g.name))
    w.numbers("vertices", float_pieces(g.positions), ("count", len(g.positions)))
    w.numbers("normals", float_pieces(g.normals), ("count", len(g.normals)))
    corners = np.asarray(g.corner_vertices)
    w.numbers("indices", index_pieces(corners, g.face_sizes), ("count", len(g.face_sizes)))
    for name, uvs in g.uv_sets:
        w.numbers("uvset", float_pieces(uvs, corners, len(g.positions)), ("name", name), ("count", len(corners)))
    if g.colours is not None:
        w.numbers("colors", float_pieces(g.colours, corners, len(g.positions)), ("count", len(corners)))
    if g.materials is not None:
        w.numbers("materials", integer_pieces(g.materials), ("count", len(g.face_sizes)))
    if g.links:
        w.open("links")
        for index, name in enumerate(g.links):
            w.empty("link", ("name", name), ("index", index))
        w.close("links")
        # Each influence is a link index and a weight, side by side.
        pairs = np.empty(2 * len(g.weight_links), dtype=object)
        pairs[0::2] = integer_strings(g.weight_links)
        pairs[1::2] = numtext.texts(g.weight_values)
        w.numbers("weights", numtext.grouped(pairs, 2 * np.asarray(g.weight_counts)),
                  ("count", len(g.weight_counts)), ("maxBonePerVertex", int(np.max(g.weight_counts))))
    w.close("geometry")


def index_pieces(corners, sizes):
    """The grouped text of the faces' vertex indices, a part at a time; faces
    all of one size are formatted by one template per part."""
    sizes = np.asarray(sizes)
    if not len(sizes) or sizes.min() != sizes.max():
        return numtext.grouped(integer_strings(corners), sizes)
    size = int(sizes[0])
    faces = max(numtext.CHUNK // size, 1)

    def pieces():
        for start in range(0, len(sizes), faces):
            part = corners[start * size:(start + faces) * size]
            template = ",".join([" ".join(["%d"] * size)] * (len(part) // size))
            yield ("," if start else "") + template % tuple(part.tolist())

    return pieces()


def integer_strings(values):
    values = np.asarray(values).ravel()
    strings = np.empty(len(values), dtype=object)
    if len(values):
        strings[:] = numtext.integers_text(values).split(" ")
    return strings


def write_bone(w, bone):
    w.open("bone", ("name", bone.name))
    write_pose(w, bone.position, bone.rotation, bone.scale)
    for child in bone.children:
        write_bone(w, child)
    w.close("bone")


def write_pose(w, position, rotation, scale):
    w.empty("position", *vector("xyz", position))
    w.empty("rotation", *vector("xyzw", rotation))
    w.empty("scale", *vector("xyz", scale))


def write_skeleton(w, skeleton):
    w.open("skeleton", ("name", skeleton.name))
    for bone in skeleton.roots:
        write_bone(w, bone)
    w.close("skeleton")


def write_animation(w, animation):
    w.open("animation", ("name", animation.name), ("length", text.number(animation.length)),
           ("fps", text.number(animation.fps)))
    for keyed in animation.skeletons:
        w.open("skeleton", ("name", keyed.skeleton))
        times = numtext.texts(keyed.times)
        for track in keyed.tracks:
            w.open("node", ("name", track.bone))
            write_frames(w, times, track)
            w.close("node")
        w.close("skeleton")
    w.close("animation")


def write_frames(w, times, track):
    """One frame element per row of the track, its numbers formatted in bulk."""
    frames = len(track.positions)
    if not frames:
        return
    outer, inner = INDENT * w.depth, INDENT * (w.depth + 1)
    template = (
        outer + '<frame time="%s">\n'
        + inner + '<position x="%s" y="%s" z="%s"/>\n'
        + inner + '<rotation x="%s" y="%s" z="%s" w="%s"/>\n'
        + inner + '<scale x="%s" y="%s" z="%s"/>\n'
        + outer + "</frame>\n"
    )
    columns = np.empty((frames, 11), dtype=object)
    columns[:, 0] = times[:frames]
    columns[:, 1:4] = numtext.texts(track.positions).reshape(frames, 3)
    columns[:, 4:8] = numtext.texts(track.rotations).reshape(frames, 4)
    columns[:, 8:11] = numtext.texts(track.scales).reshape(frames, 3)
    w.out.write("".join(template % tuple(row) for row in columns.tolist()))


def write_object(w, obj):
    w.open("object", ("name", obj.name), ("type", obj.kind))
    if obj.parent is not None:
        w.leaf("parent", obj.parent)
        if obj.bone is not None:
            w.leaf("bone", obj.bone)
    if obj.skeleton is not None:
        w.leaf("skeleton", obj.skeleton)
    w.leaf("matrix", text.grouped([obj.matrix[r * 4:r * 4 + 4] for r in range(4)]), ("rows", 4))
    w.close("object")


def write(scene, out, progress=None):
    """Writes scene to the text stream out. progress, when given, is called
    with the name of each stage as it begins."""
    step = progress or (lambda stage: None)
    w = Writer(out)
    out.write('<?xml version="1.0" encoding="UTF-8"?>\n')
    w.open("orvk")
    w.open("comments")
    w.leaf("version", str(FORMAT_VERSION))
    w.close("comments")
    section(w, "lights", scene.lights, write_light)
    section(w, "cameras", scene.cameras, write_camera)
    section(w, "images", scene.images, write_image)
    section(w, "textures", scene.images, write_texture)
    section(w, "materials", scene.materials, write_material)
    if scene.geometries:
        w.open("geometries")
        step("writing %d geometries" % len(scene.geometries))
        for geometry in scene.geometries:
            if len(geometry.positions) >= BIG_MESH:
                step('writing geometry "%s"' % geometry.name)
            write_geometry(w, geometry)
        w.close("geometries")
    section(w, "skeletons", scene.skeletons, write_skeleton)
    step("writing animations")
    section(w, "animations", scene.animations, write_animation)
    w.open("scenes")
    w.open("scene", ("name", scene.name))
    for obj in scene.objects:
        write_object(w, obj)
    w.close("scene")
    w.close("scenes")
    w.close("orvk")
