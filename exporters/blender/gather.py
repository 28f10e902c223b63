"""Reads the open Blender scene into plain records (records.py): per-vertex
and per-corner data in bulk with foreach_get into numpy arrays, every number
made finite (with a warning where it had to change). Anything Blender holds
in a state the add-on does not expect is reported as a warning naming the
object, and the object is skipped or its value defaulted.

The file keeps Blender's conventions: Z up, v up, lengths in scene units,
angles in degrees, key-frame times in frames counted from the action's first
frame. The importer's own options change axes and flip v.
"""

import dataclasses
import math
import os
import re
import shutil

import bpy
import numpy as np
from mathutils import Euler, Matrix

from . import numtext, records, text

MAX_NAME_BYTES = 255
MAX_UV_SETS = 2

LIGHT_TYPES = {"POINT": "omni", "SUN": "directional", "SPOT": "spot", "AREA": "omni"}
GEOMETRY_TYPES = {"MESH", "CURVE", "SURFACE", "FONT", "META"}
KNOWN_TYPES = GEOMETRY_TYPES | {"LIGHT", "CAMERA", "ARMATURE", "EMPTY"}
# What a collection instance's objects are written as: an armature or
# anything else it shows is not written.
INSTANCED_TYPES = GEOMETRY_TYPES | {"LIGHT", "CAMERA", "EMPTY"}
# The collection where Blender's glTF importer keeps its helper objects
# (the bones' display shape), which are no scene content.
GLTF_HELPER_COLLECTION = "glTF_not_exported"
# File name extensions of packed images that have no file name of their own.
IMAGE_EXTENSIONS = {"JPEG": ".jpg", "PNG": ".png", "TARGA": ".tga", "BMP": ".bmp", "TIFF": ".tif",
                    "OPEN_EXR": ".exr", "HDR": ".hdr", "WEBP": ".webp"}
POSE_BONE_PATH = re.compile(r'^pose\.bones\["((?:[^"\\]|\\.)*)"\]')

# Principled BSDF inputs were renamed in Blender 4.0.
SPECULAR_INPUTS = ("Specular", "Specular IOR Level")
# Inputs that need no texture slot of their own when left unlinked.
# Per shader the input of its colour and of its normal.
SHADER_INPUTS = {"BSDF_PRINCIPLED": ("Base Color", "Normal"), "BSDF_DIFFUSE": ("Color", "Normal"),
                 "EMISSION": ("Color", None)}
UV_SLACK = 1e-4  # uvs this far outside 0..1 still sample the image's edge
SEPARATE_COMBINE = {"SEPRGB", "COMBRGB", "SEPARATE_COLOR", "COMBINE_COLOR", "SEPXYZ", "COMBXYZ", "SEPHSV", "COMBHSV"}
# Meshes of at least this many vertices have a progress stage of their own.
BIG_MESH = 100000
# What Blender raises when data is not in the state the add-on expects.
DATA_ERRORS = (AttributeError, KeyError, IndexError, TypeError, ValueError, RuntimeError)


class Options:
    def __init__(self, selection_only=False, apply_modifiers=False, linear_colours=False, visible_only=False):
        self.selection_only = selection_only
        self.apply_modifiers = apply_modifiers
        self.linear_colours = linear_colours
        self.visible_only = visible_only


class Instance:
    """An object shown by a collection instance, written as a scene object of
    its own: its name in the file, the object shown, its world matrix and the
    file name of the object that instances it."""

    def __init__(self, name, obj, matrix, parent):
        self.name = name
        self.obj = obj
        self.matrix = matrix
        self.parent = parent


class Warnings:
    """Everything the file cannot carry, each message once, in order."""

    def __init__(self):
        self.messages = []

    def add(self, message):
        if message not in self.messages:
            self.messages.append(message)


# --- values ---------------------------------------------------------------------


def linear_to_srgb(c):
    if c <= 0.0031308:
        return max(c, 0.0) * 12.92
    return 1.055 * math.pow(c, 1.0 / 2.4) - 0.055


def linear_to_srgb_array(values):
    """linear_to_srgb of every value, in double precision like the scalar form."""
    c = np.asarray(values, dtype=np.float64)
    with np.errstate(invalid="ignore"):
        curved = 1.055 * np.power(np.maximum(c, 0.0031308), 1.0 / 2.4) - 0.055
    return np.where(c <= 0.0031308, np.maximum(c, 0.0) * 12.92, curved)


class Numbers:
    """Makes numbers finite, warning where it had to change one."""

    def __init__(self, warnings):
        self.warnings = warnings

    def one(self, value, where):
        value, changed = text.finite(float(value))
        if changed:
            self.warnings.add("%s: a value that is not a finite number was written as %s" % (where, text.number(value)))
        return text.to_float32(value)

    def many(self, values, where):
        return tuple(self.one(v, where) for v in values)

    def array(self, values, where):
        array, changed = numtext.finite(values)
        if changed:
            self.warnings.add("%s: %d values that are not finite numbers were written as finite ones" % (where, changed))
        return array


# --- seams: one place per convention ------------------------------------------------


def uv_of(layer, loops):
    """The uv of every loop of a uv layer, float32 (loops, 2), v up."""
    uvs = np.empty(loops * 2, dtype=np.float32)
    layer.data.foreach_get("uv", uvs)
    return uvs.reshape(-1, 2)


def xyzw(rotation):
    """A quaternion in the file's component order."""
    return (rotation.x, rotation.y, rotation.z, rotation.w)


def bone_rest(bone):
    """A bone's rest matrix relative to its parent bone."""
    if bone.parent is None:
        return bone.matrix_local
    return bone.parent.matrix_local.inverted_safe() @ bone.matrix_local


def key_times(frames, fps):
    """The time of each sampled frame: frames counted from the action's first."""
    return np.arange(frames, dtype=np.float32)


def face_corners(loop_start, loop_total, tri_loops, tri_polygon):
    """(face sizes, the loop of every corner face after face, the polygon of
    every face): polygons of 3 and 4 corners as they are, larger ones by
    Blender's own triangulation (which also handles concave polygons), in
    polygon order."""
    exclusive = np.cumsum(loop_total) - loop_total
    if not len(tri_polygon) and np.array_equal(loop_start, exclusive):
        # No n-gons, and the polygons' loops lie one after another.
        return loop_total, np.arange(int(loop_total.sum()), dtype=np.int64), np.arange(len(loop_total))
    small = np.flatnonzero(loop_total <= 4)
    big_tris = np.flatnonzero(loop_total[tri_polygon] > 4) if len(tri_polygon) else np.empty(0, dtype=np.int64)
    sizes = loop_total[small]
    small_offsets = np.cumsum(sizes) - sizes
    small_corners = np.repeat(loop_start[small], sizes) + (np.arange(int(sizes.sum())) - np.repeat(small_offsets, sizes))
    source = np.concatenate((small_corners, tri_loops.reshape(-1, 3)[big_tris].ravel())).astype(np.int64)
    polygon = np.concatenate((small, tri_polygon[big_tris])).astype(np.int64)
    size = np.concatenate((sizes, np.full(len(big_tris), 3))).astype(np.int64)
    offset = np.concatenate((small_offsets, len(small_corners) + 3 * np.arange(len(big_tris)))).astype(np.int64)
    order = np.argsort(polygon, kind="stable")
    size, offset, polygon = size[order], offset[order], polygon[order]
    starts = np.cumsum(size) - size
    corner = np.repeat(offset, size) + (np.arange(int(size.sum())) - np.repeat(starts, size))
    return size, source[corner], polygon


def vertex_normals(positions, loop_vertex, loop_start, loop_total, face):
    """Angle-weighted vertex normals from the polygons' normals face (each
    Blender's own, computed polygon by polygon), as Blender computes them,
    but summed in a fixed order: Blender's own sums vary in their last bits
    from one evaluation to the next, and a scene exported twice must give the
    same bytes. A vertex that no face uses gets its direction from the
    origin."""
    p = np.asarray(positions, dtype=np.float32)
    polygon = np.repeat(np.arange(len(loop_start)), loop_total)
    first = np.cumsum(loop_total) - loop_total
    within = np.arange(len(polygon)) - first[polygon]
    start = loop_start[polygon]
    total = loop_total[polygon]
    v = loop_vertex[start + within]
    here = p[v]
    after = p[loop_vertex[start + (within + 1) % total]] - here
    before = p[loop_vertex[start + (within - 1) % total]] - here
    face = np.asarray(face, dtype=np.float32).reshape(-1, 3)
    after /= np.maximum(np.linalg.norm(after, axis=1), 1e-30)[:, None]
    before /= np.maximum(np.linalg.norm(before, axis=1), 1e-30)[:, None]
    angle = np.arccos(np.clip(np.einsum("ij,ij->i", after, before), -1.0, 1.0))
    normal = np.stack([np.bincount(v, face[polygon, k] * angle, len(p)) for k in range(3)], axis=1)
    length = np.linalg.norm(normal, axis=1)
    loose = length < 1e-30
    normal[loose] = p[loose]
    length[loose] = np.linalg.norm(normal[loose], axis=1)
    normal[length < 1e-30] = (0.0, 0.0, 1.0)
    length[length < 1e-30] = 1.0
    return (normal / length[:, None]).astype(np.float32)


# --- the gatherer ---------------------------------------------------------------------


class Gatherer:
    def __init__(self, context, folder, options, progress, info):
        self.context = context
        self.info = info
        self.scene = context.scene
        self.folder = folder
        self.options = options
        self.progress = progress
        self.warnings = Warnings()
        self.numbers = Numbers(self.warnings)
        self.objects = []
        self.instances = []  # Instance records, in file order after the objects
        self.materials = []  # bpy materials, in file order
        self.material_uv = {}  # material -> uv map name of its first user
        self.texture_uvs = {}  # material -> [(uv map name, Mapping transform or None)]
        self.images = []  # (bpy image, file name)
        self.bone_names = {}  # armature object name -> {bone name: name in the file}

    # -- helpers

    def check_name(self, kind, name):
        if len(name.encode("utf-8")) > MAX_NAME_BYTES:
            self.warnings.add('%s "%s": names longer than %d bytes are cut by the importer' % (kind, name, MAX_NAME_BYTES))
        if text.has_invalid_characters(name):
            self.warnings.add('%s "%s": control characters were written as "?"' % (kind, name))
        return name

    def colour(self, rgb, where, linear=False):
        """rgb as the file holds it: as displayed (sRGB), or scene-linear on request.
        linear tells that the value is already in the display space."""
        values = list(rgb[:3])
        if not self.options.linear_colours and not linear:
            values = [linear_to_srgb(c) for c in values]
        return self.numbers.many(values, where)

    def file_bone_name(self, armature, bone_name):
        return self.bone_names.get(armature.name, {}).get(bone_name, bone_name)

    def guarded(self, where, read, default=None):
        """read(), or default with a warning naming where when Blender's data
        is not in the state the add-on expects."""
        try:
            return read()
        except DATA_ERRORS as error:
            self.warnings.add("%s: could not be read (%s: %s); %s" % (
                where, type(error).__name__, error, "skipped" if default is None else "defaults written"))
            return default

    # -- which objects

    def collect_objects(self):
        self.objects, skipped = scene_content(self.scene, self.context.view_layer, self.options)
        if skipped:
            self.info(
                '%d objects are no scene content and were not written (in collections excluded from the view layer'
                ' or in "%s", or hidden bone shapes)' % (skipped, GLTF_HELPER_COLLECTION)
            )
        taken = {o.name for o in self.objects}
        for obj in self.objects:
            self.collect_instances(obj, obj.name, obj.matrix_world, taken, ())
        for obj in self.objects:
            self.check_name("Object", obj.name)
            self.check_animation(obj)
            if obj.type not in KNOWN_TYPES:
                self.warnings.add('Object "%s": %s objects have no place in the file; an empty is written in its place'
                                  % (obj.name, obj.type.lower().replace("_", " ")))
            self.check_losses(obj)
            shape_keys = getattr(obj.data, "shape_keys", None) if obj.type == "MESH" else None
            if shape_keys is not None and len(shape_keys.key_blocks) > 1 and not self.options.apply_modifiers:
                self.warnings.add('Object "%s": shape keys are not written; the basis shape is' % obj.name)
            if obj.type == "ARMATURE":
                self.bone_names[obj.name] = file_bone_names(obj)
                for old, new in self.bone_names[obj.name].items():
                    if old != new:
                        self.warnings.add(
                            'Armature "%s": bone "%s" is written as "%s" (a bone may not share its armature\'s name)'
                            % (obj.name, old, new)
                        )

    def collect_instances(self, instancer, name, matrix, taken, open_collections):
        """Adds an Instance for every object that instancer (written as name,
        at the world matrix matrix) shows through its collection, nested
        instances too, as Blender draws them."""
        collection = instancer.instance_collection if instancer.instance_type == "COLLECTION" else None
        if collection is None or collection in open_collections:
            return
        base = matrix @ Matrix.Translation(-collection.instance_offset)
        for obj in collection.all_objects:
            if obj.type not in INSTANCED_TYPES:
                self.warnings.add(
                    'Object "%s": %s "%s" of its collection instance is not written'
                    % (name, obj.type.lower(), obj.name)
                )
                continue
            world = base @ obj.matrix_world
            own = unique_name("%s/%s" % (name, obj.name), taken)
            self.check_name("Object", own)
            self.instances.append(Instance(own, obj, world, name))
            self.collect_instances(obj, own, world, taken, open_collections + (collection,))

    def placed(self, types):
        """(name in the file, object) of the objects and instances of types."""
        return [(o.name, o) for o in self.objects if o.type in types] + [
            (i.name, i.obj) for i in self.instances if i.obj.type in types
        ]

    def check_losses(self, obj):
        """Warns about what an object has that the file cannot carry and
        would otherwise be lost without a word."""
        where = 'Object "%s"' % obj.name
        systems = getattr(obj, "particle_systems", ())
        if len(systems):
            self.warnings.add('%s: hair and particle systems are not written (%s)'
                              % (where, ", ".join(p.name for p in systems)))
        rigs = [m.object.name for m in obj.modifiers if m.type == "ARMATURE" and m.object in self.objects]
        if len(rigs) > 1:
            self.warnings.add('%s: deformed by armatures %s; only the weights to the bones of "%s" are written (one'
                              ' skeleton per mesh)' % (where, ", ".join('"%s"' % r for r in rigs), rigs[0]))
        if self.options.apply_modifiers and obj.type in GEOMETRY_TYPES and obj.hide_viewport:
            self.warnings.add('%s: disabled in viewports, so Blender evaluates nothing for it; its modifiers are not'
                              ' applied' % where)

    def check_animation(self, obj):
        """Warns about animation the file has no place for: an object's own
        animation (only armatures' bone poses are written)."""
        data = obj.animation_data
        action = data.action if data is not None else None
        if action is None:
            return
        paths = action_paths(action)
        if obj.type != "ARMATURE" or any(not p.startswith("pose.bones[") for p in paths):
            self.warnings.add(
                'Object "%s": its own animation in action "%s" is not written (files place objects by one matrix)'
                % (obj.name, action.name)
            )

    def armature_of(self, obj):
        """The exported armature that deforms obj, or None."""
        for modifier in obj.modifiers:
            if modifier.type == "ARMATURE" and modifier.object is not None and modifier.object in self.objects:
                return modifier.object
        if obj.parent is not None and obj.parent_type == "ARMATURE" and obj.parent in self.objects:
            return obj.parent
        return None

    # -- materials and images

    def material_index(self, material, uv_name):
        if material is None:
            return -1
        if material not in self.materials:
            self.materials.append(material)
            self.material_uv[material] = uv_name
        return self.materials.index(material)

    def image_file(self, image):
        """The bare file name under which image lies beside the file, copying,
        unpacking or saving it there."""
        for known, name in self.images:
            if known == image:
                return name
        source = bpy.path.abspath(image.filepath, library=image.library) if image.filepath else ""
        if source and not os.path.isfile(source) and "\\" in source:
            # A Windows path carried in from another program's file.
            source = os.path.normpath(source.replace("\\", "/"))
        base = bpy.path.basename(source) if source else ""
        if not base:
            extension = IMAGE_EXTENSIONS.get(image.file_format, ".png") if image.packed_file is not None else ".png"
            base = bpy.path.clean_name(image.name) + extension
        stem, ext = os.path.splitext(base)
        name, n = base, 1
        taken = {other for _, other in self.images}
        while name in taken:
            n += 1
            name = "%s_%d%s" % (stem, n, ext)
        self.images.append((image, name))
        target = os.path.join(self.folder, name)
        try:
            if image.packed_file is not None:
                with open(target, "wb") as f:
                    f.write(image.packed_file.data)
            elif image.source == "FILE" and source and os.path.isfile(source):
                if os.path.abspath(source) != os.path.abspath(target):
                    shutil.copyfile(source, target)
            elif image.source == "GENERATED" or (image.has_data and image.source != "FILE"):
                self.save_image(image, target)
            else:
                self.warnings.add('Image "%s": file "%s" is missing; the file names it all the same' % (image.name, source))
        except (OSError, RuntimeError) as error:
            self.warnings.add('Image "%s": could not be written beside the file (%s)' % (image.name, error))
        return name

    def save_image(self, image, target):
        settings = self.scene.render.image_settings
        saved = settings.file_format
        settings.file_format = "PNG"
        try:
            image.save_render(target, scene=self.scene)
        finally:
            settings.file_format = saved

    def material_record(self, material):
        """The material's record; images met here are registered."""
        where = 'Material "%s"' % material.name
        values, slots = self.guarded(where, lambda: self.material_slots(material), None) or (None, [])
        if values is None:
            values = {"diffuse": (0.8, 0.8, 0.8), "alpha": 1.0, "specular": (0.5, 0.5, 0.5), "shininess": 64.0}
        return records.Material(
            name=self.check_name("Material", material.name),
            slots=[records.TextureSlot(image.name, map_type, uv_name) for map_type, image, uv_name in slots],
            shininess=self.numbers.one(values["shininess"], where),
            alpha=self.numbers.one(values["alpha"], where),
            diffuse=self.colour(values["diffuse"], where),
            specular=self.numbers.many(values["specular"], where),
        )

    def material_slots(self, material):
        """The material's values and its texture slots (map type, image, uv map),
        as Blender renders the material: a linked colour is what its nodes
        give, not the socket's unused value."""
        values = {
            "diffuse": material.diffuse_color[:3],
            "alpha": material.diffuse_color[3],
            "specular": [material.specular_intensity] * 3,
            "shininess": (1.0 - material.roughness) * 128.0,
        }
        slots = []
        if not uses_nodes(material):
            return values, slots
        where = 'Material "%s"' % material.name
        shader = surface_shader(material)
        if shader is None or shader.type not in SHADER_INPUTS:
            self.warnings.add('%s: its surface shader (%s) is not followed; the viewport colour is written instead'
                              % (where, shader.name if shader is not None else "none"))
            return values, slots
        colour_input, normal_input = SHADER_INPUTS[shader.type]
        inputs = shader.inputs
        if shader.type == "BSDF_PRINCIPLED":
            specular = next((inputs[n] for n in SPECULAR_INPUTS if n in inputs), None)
            if specular is not None:
                values["specular"] = [min(max(specular.default_value, 0.0), 1.0)] * 3
            values["shininess"] = min(max((1.0 - inputs["Roughness"].default_value) * 128.0, 0.0), 128.0)
        else:
            values["specular"] = [0.0] * 3
        channels = [(colour_input, "diffuse color", "diffuse"), ("Alpha", "alpha", "alpha")]
        for input_name, map_type, key in channels:
            socket = inputs.get(input_name)
            if socket is None:
                continue
            try:
                constant, node = constant_and_image(socket)
            except NotFollowed as lost:
                self.warnings.add('%s: "%s" is fed by %s, which is not written' % (where, input_name, lost))
                continue
            values[key] = constant if key == "diffuse" else constant[0]
            if node is not None:
                self.add_slot(slots, map_type, node, material)
        if shader.type == "EMISSION" and feeding(inputs["Strength"]) is None:
            values["diffuse"] = tuple(c * inputs["Strength"].default_value for c in values["diffuse"])
        normal = inputs.get(normal_input) if normal_input else None
        source = feeding(normal) if normal is not None else None
        if source is not None and source.node.type == "NORMAL_MAP":
            source = feeding(source.node.inputs["Color"])  # an empty Normal Map node loses nothing
            if source is not None and source.node.type == "TEX_IMAGE" and source.node.image is not None:
                self.add_slot(slots, "normal", source.node, material)
            elif source is not None:
                self.warnings.add('%s: the Normal Map\'s colour is not an image texture and is not written' % where)
        elif source is not None:
            self.warnings.add('%s: the link into "%s" is not a Normal Map node and is not written' % (where, normal_input))
        for socket in inputs:
            if socket.name not in (colour_input, "Alpha", normal_input) and feeding(socket) is not None:
                self.warnings.add('%s: the link into "%s" has no place in the file' % (where, socket.name))
        return values, slots

    def add_slot(self, slots, map_type, node, material):
        image = node.image
        if self.guarded('Image "%s"' % image.name, lambda: self.image_file(image), None) is not None:
            slots.append((map_type, image, self.uv_map_of(node, material)))

    def uv_map_of(self, image_node, material):
        name, _ = image_uv(image_node, follow_mapping=False)
        return name or self.material_uv.get(material) or ""

    def texture_uvs_of(self, material):
        """(uv map name, transform, image node or None when its coordinates
        are not followed) of each image texture of the material, read once
        per material."""
        if material in self.texture_uvs:
            return self.texture_uvs[material]
        found = []
        for node in material.node_tree.nodes if uses_nodes(material) else ():
            if node.type == "TEX_IMAGE" and node.image is not None:
                try:
                    found.append(image_uv(node) + (node,))
                except NotFollowed as lost:
                    self.warnings.add('Material "%s": the uvs of image "%s" go through %s, which is not written'
                                      % (material.name, node.image.name, lost))
                    found.append(image_uv(node, follow_mapping=False) + (None,))
        self.texture_uvs[material] = found
        return found

    def check_extensions(self, obj, render_uv, uv_sets, corner_material):
        """Warns for an image Blender draws clamped or clipped (not repeated)
        where the uvs of obj's faces that sample it leave 0..1: the file
        holds no such setting."""
        uvs_by_name = dict(uv_sets)
        for index in np.unique(corner_material[corner_material >= 0]):
            material = self.materials[index]
            for name, _, node in self.texture_uvs_of(material):
                uvs = uvs_by_name.get(name or render_uv)
                if node is None or node.extension == "REPEAT" or uvs is None:
                    continue
                sampled = uvs[corner_material == index]
                if ((sampled < -UV_SLACK) | (sampled > 1.0 + UV_SLACK)).any():
                    self.warnings.add('Material "%s": image "%s" is drawn with extension "%s" and the uvs of object '
                                      '"%s" leave 0..1; the file cannot say so (it is repeated)'
                                      % (material.name, node.image.name, node.extension.title(), obj.name))

    def baked_uv_transforms(self, obj, render_uv):
        """{uv map name: 2x3 matrix} of the maps whose every texture goes
        through the same Mapping node transform; a warning for maps whose
        textures disagree (those are written untransformed)."""
        seen = {}  # uv map name -> [(transform or None, material)]
        for slot in obj.material_slots:
            if slot.material is not None:
                for name, transform, _ in self.texture_uvs_of(slot.material):
                    seen.setdefault(name or render_uv, []).append((transform, slot.material))
        baked = {}
        for name, uses in seen.items():
            first, material = uses[0]
            other = next((m for t, m in uses if not same_transform(t, first)), None)
            if other is not None:
                self.warnings.add('Material "%s": its textures on uv map "%s" of object "%s" are transformed unlike '
                                  'those of material "%s"; the map is written untransformed'
                                  % (other.name, name, obj.name, material.name))
            elif first is not None:
                baked[name] = first
                self.info('Object "%s": uv map "%s" is written with the texture transform of material "%s" baked in'
                          % (obj.name, name, material.name))
        return baked

    # -- lights and cameras

    def light(self, name, obj):
        light = obj.data
        where = 'Light "%s"' % obj.name
        kind = LIGHT_TYPES.get(light.type)
        if kind is None:
            self.warnings.add('%s: light type "%s" is not known; written as an omni light' % (where, light.type))
            kind = "omni"
        if light.type == "AREA":
            self.warnings.add('%s: area lights are written as omni lights' % where)
        spot = None
        if light.type == "SPOT":
            spot = self.numbers.one(math.degrees(self.value(light, "spot_size", math.radians(45.0), where)), where)
        return records.Light(
            name=name,
            kind=kind,
            colour=self.colour(self.value(light, "color", (1.0, 1.0, 1.0), where), where),
            spot_angle=spot,
            radius=self.numbers.one(getattr(light, "shadow_soft_size", 0.0), where),
            intensity=self.numbers.one(self.value(light, "energy", 0.0, where), where),
        )

    def value(self, data, attribute, default, where):
        """data's attribute, or default with a warning when data lacks it."""
        if hasattr(data, attribute):
            return getattr(data, attribute)
        self.warnings.add('%s: has no "%s"; %r written instead' % (where, attribute, default))
        return default

    def camera(self, name, obj):
        cam = obj.data
        where = 'Camera "%s"' % obj.name
        kind = "perspective"
        if cam.type != "PERSP":
            kind = "orthographic" if cam.type == "ORTHO" else "panoramic"
            self.warnings.add('%s: only perspective cameras have a field of view in the file' % where)
        return records.Camera(
            name=name,
            kind=kind,
            near=self.numbers.one(cam.clip_start, where),
            far=self.numbers.one(cam.clip_end, where),
            fov=self.numbers.one(math.degrees(vertical_fov(cam, self.scene.render)), where),
        )

    # -- geometry

    def geometry(self, obj):
        mesh, release = self.mesh_of(obj)
        try:
            return self.geometry_of_mesh(obj, mesh)
        finally:
            release()

    def mesh_of(self, obj):
        """The mesh to write for obj and a function that releases it.

        Without "Apply modifiers" a mesh object gives its own data; otherwise
        (and for curves, text and metaballs) the evaluated object, with its
        armature modifiers switched off so that the rest shape is written."""
        modifiers = [m for m in obj.modifiers if m.type != "ARMATURE" and m.show_viewport]
        if obj.type == "MESH" and not self.options.apply_modifiers:
            if modifiers:
                self.warnings.add(
                    'Object "%s": modifiers left unapplied (%s); "Apply modifiers" evaluates them'
                    % (obj.name, ", ".join(m.name for m in modifiers))
                )
            return obj.data, lambda: None
        switched = [m for m in obj.modifiers if m.type == "ARMATURE" and m.show_viewport]
        for m in switched:
            m.show_viewport = False
        depsgraph = self.context.evaluated_depsgraph_get()
        depsgraph.update()
        evaluated = obj.evaluated_get(depsgraph)
        mesh = evaluated.to_mesh()

        def release():
            evaluated.to_mesh_clear()
            for m in switched:
                m.show_viewport = True

        if mesh is None:
            release()
            return bpy.data.meshes.new("empty"), lambda: None
        return mesh, release

    def geometry_of_mesh(self, obj, mesh):
        where = 'Object "%s"' % obj.name
        vertices, loops, polygons = len(mesh.vertices), len(mesh.loops), len(mesh.polygons)
        positions = np.empty(vertices * 3, dtype=np.float32)
        mesh.vertices.foreach_get("co", positions)
        loop_vertex = np.empty(loops, dtype=np.int64)
        mesh.loops.foreach_get("vertex_index", loop_vertex)
        loop_start = np.empty(polygons, dtype=np.int64)
        mesh.polygons.foreach_get("loop_start", loop_start)
        loop_total = np.empty(polygons, dtype=np.int64)
        mesh.polygons.foreach_get("loop_total", loop_total)

        tri_loops = np.empty(0, dtype=np.int64)
        tri_polygon = np.empty(0, dtype=np.int64)
        if (loop_total > 4).any():
            mesh.calc_loop_triangles()
            count = len(mesh.loop_triangles)
            tri_loops = np.empty(count * 3, dtype=np.int64)
            mesh.loop_triangles.foreach_get("loops", tri_loops)
            tri_polygon = np.empty(count, dtype=np.int64)
            mesh.loop_triangles.foreach_get("polygon_index", tri_polygon)
        sizes, corner_loops, face_polygon = face_corners(loop_start, loop_total, tri_loops, tri_polygon)
        if len(mesh.edges):
            loop_edge = np.empty(loops, dtype=np.int64)
            mesh.loops.foreach_get("edge_index", loop_edge)
            loose = int(np.count_nonzero(np.bincount(loop_edge, minlength=len(mesh.edges)) == 0))
            if loose:
                self.warnings.add("%s: %d loose edges are not written (the file holds faces only)" % (where, loose))
        polygon_normals = np.empty(polygons * 3, dtype=np.float32)
        mesh.polygons.foreach_get("normal", polygon_normals)
        normals = vertex_normals(positions.reshape(-1, 3), loop_vertex, loop_start, loop_total, polygon_normals)

        uv_layers = list(mesh.uv_layers)
        if len(uv_layers) > MAX_UV_SETS:
            # The maps the materials' textures use go first.
            used = materials_uv_maps(obj, active_render_uv(mesh))
            uv_layers.sort(key=lambda layer: layer.name not in used)
            self.warnings.add(
                'Object "%s": only %d uv maps fit in the file; not written: %s'
                % (obj.name, MAX_UV_SETS, ", ".join(l.name for l in uv_layers[MAX_UV_SETS:]))
            )
        baked = self.baked_uv_transforms(obj, active_render_uv(mesh)) if len(uv_layers) else {}
        uv_sets = []
        for layer in uv_layers[:MAX_UV_SETS]:
            uvs = uv_of(layer, loops)[corner_loops]
            if layer.name in baked:
                uvs = (uvs @ baked[layer.name][:, :2].T + baked[layer.name][:, 2]).astype(np.float32)
            uv_sets.append((layer.name, self.numbers.array(uvs, where).reshape(-1, 2)))

        colours = self.corner_colours(mesh, corner_loops, loop_vertex, where)

        materials = None
        if len(obj.material_slots):
            render_uv = active_render_uv(mesh)
            slot_index = np.array([self.material_index(slot.material, render_uv) for slot in obj.material_slots]
                                  + [-1], dtype=np.int64)
            polygon_material = np.empty(polygons, dtype=np.int64)
            mesh.polygons.foreach_get("material_index", polygon_material)
            m = polygon_material[face_polygon]
            m[(m < 0) | (m >= len(obj.material_slots))] = len(obj.material_slots)
            materials = slot_index[m]
            self.check_extensions(obj, render_uv, uv_sets, np.repeat(materials, sizes))

        geometry = records.Geometry(
            name=obj.name,
            positions=self.numbers.array(positions, where).reshape(-1, 3),
            normals=self.numbers.array(normals, where).reshape(-1, 3),
            face_sizes=sizes,
            corner_vertices=loop_vertex[corner_loops],
            uv_sets=uv_sets,
            colours=colours,
            materials=materials,
        )
        self.bone_weights(obj, mesh, geometry, where)
        return geometry

    def corner_colours(self, mesh, corner_loops, loop_vertex, where):
        layer = render_colour_layer(mesh)
        if layer is None:
            return None
        others = [a.name for a in getattr(mesh, "color_attributes", ()) if a.name != layer.name]
        if others:
            self.warnings.add('%s: only the colour attribute "%s" is written; not written: %s'
                              % (where, layer.name, ", ".join(others)))
        linear = self.options.linear_colours
        data = layer.data
        has_srgb = len(data) > 0 and hasattr(data[0], "color_srgb")
        field = "color" if linear or not has_srgb else "color_srgb"
        values = np.empty(len(data) * 4, dtype=np.float32)
        data.foreach_get(field, values)
        values = values.reshape(-1, 4)[:, :3]
        point_domain = getattr(layer, "domain", "CORNER") == "POINT"
        rgb = values[loop_vertex[corner_loops] if point_domain else corner_loops]
        if not linear and not has_srgb:
            rgb = linear_to_srgb_array(rgb)
        return self.numbers.array(rgb, where).reshape(-1, 3)

    def bone_weights(self, obj, mesh, geometry, where):
        """Fills the link table (bone names) and every positive influence of
        every vertex into geometry."""
        armature = self.armature_of(obj)
        if armature is None or obj.parent_type == "BONE":
            return
        deform = {b.name for b in armature.data.bones if b.use_deform}
        group_link = {}
        links = []
        for group in obj.vertex_groups:
            if group.name in deform:
                group_link[group.index] = len(links)
                links.append(self.file_bone_name(armature, group.name))
        if not links:
            return
        counts = []
        link_of = []
        weight_of = []
        for vertex in mesh.vertices:
            n = 0
            for g in vertex.groups:
                link = group_link.get(g.group)
                if link is not None:
                    weight = g.weight
                    if weight > 0.0:
                        link_of.append(link)
                        weight_of.append(weight)
                        n += 1
            counts.append(n)
        if not link_of:
            return
        geometry.links = links
        geometry.weight_counts = np.array(counts, dtype=np.int64)
        geometry.weight_links = np.array(link_of, dtype=np.int64)
        geometry.weight_values = self.numbers.array(np.array(weight_of, dtype=np.float32), where)

    # -- skeletons and animations

    def skeleton(self, obj):
        roots = [self.bone(obj, bone) for bone in obj.data.bones if bone.parent is None]
        return records.Skeleton(obj.name, roots)

    def bone(self, armature, bone):
        name = self.check_name("Bone", self.file_bone_name(armature, bone.name))
        position, rotation, scale, _ = self.pose(bone_rest(bone), 'Bone "%s"' % bone.name, None)
        return records.Bone(name, position, rotation, scale, [self.bone(armature, child) for child in bone.children])

    def pose(self, matrix, where, previous):
        """position, rotation (x, y, z, w) and scale of matrix, and the
        rotation, its sign chosen to be closest to previous."""
        location, rotation, scale = matrix.decompose()
        if previous is not None and rotation.dot(previous) < 0.0:
            rotation = -rotation
        return (self.numbers.many(location, where), self.numbers.many(xyzw(rotation), where),
                self.numbers.many(scale, where), rotation)

    def animations(self, armatures):
        """One animation per action, with a track for every armature it is
        written for (see actions_of)."""
        fps = self.scene.render.fps / self.scene.render.fps_base
        taken = {
            a.animation_data.action
            for a in armatures
            if a.animation_data is not None and a.animation_data.action is not None
        }
        tracks = {}  # action -> [(armature, first frame, poses by bone)]
        for obj in armatures:
            if obj.animation_data is not None and len(obj.animation_data.nla_tracks):
                self.warnings.add('Armature "%s": NLA strips are not written; its actions are' % obj.name)
            for action in self.actions_of(obj, taken):
                self.progress('sampling action "%s"' % action.name)
                sampled = self.sample(obj, action)
                if sampled is None:
                    self.warnings.add(
                        'Action "%s": none of its slots animates armature "%s"; it is not written for it'
                        % (action.name, obj.name)
                    )
                    continue
                taken.add(action)
                tracks.setdefault(action, []).append((obj,) + sampled)
        found = []
        for action, sampled in tracks.items():
            frames = max(len(next(iter(poses.values()), ())) for _, _, poses in sampled)
            found.append(records.Animation(
                name=self.check_name("Action", action.name),
                length=float(max(frames - 1, 0)),
                fps=self.numbers.one(fps, 'Action "%s"' % action.name),
                skeletons=[self.tracks(armature, poses, fps) for armature, _, poses in sampled],
            ))
        return found

    def tracks(self, armature, poses, fps):
        frames = len(next(iter(poses.values()), ()))
        keyed = records.SkeletonTracks(armature.name, key_times(frames, fps), [])
        for pose_bone in armature.pose.bones:
            name = self.file_bone_name(armature, pose_bone.name)
            where = 'Bone "%s"' % name
            rows = []
            previous = None
            for matrix in poses[pose_bone.name]:
                position, rotation, scale, previous = self.pose(matrix, where, previous)
                rows.append(position + rotation + scale)
            table = np.array(rows, dtype=np.float32).reshape(-1, 10)
            keyed.tracks.append(records.Track(name, table[:, 0:3], table[:, 3:7], table[:, 7:10]))
        return keyed

    def actions_of(self, armature, taken):
        """The actions written for armature: its active action, then every
        action that animates nothing but its bones and is not already written
        for an armature (sorted by name)."""
        data = armature.animation_data
        found = [data.action] if data is not None and data.action is not None else []
        bones = {b.name for b in armature.data.bones}
        for action in sorted(bpy.data.actions, key=lambda a: a.name):
            if action in taken or action in found:
                continue
            names = bone_names_animated(action)
            if names and names <= bones:
                found.append(action)
        return found

    def sample(self, armature, action):
        """(first frame, {bone name: [parent-relative pose matrix per frame]})
        for every frame of the action's range, with action bound to the
        armature for the while; None when no slot of the action fits it."""
        first, last = (int(round(f)) for f in action.frame_range)
        saved_frame = (self.scene.frame_current, self.scene.frame_subframe)
        restore = bind_action(armature, action)
        if restore is None:
            return None
        poses = {b.name: [] for b in armature.pose.bones}
        try:
            for frame in range(first, last + 1):
                # Sampling the evaluated pose bakes constraints, IK and drivers.
                self.scene.frame_set(frame)
                for pose_bone in armature.pose.bones:
                    matrix = pose_bone.matrix
                    if pose_bone.parent is not None:
                        matrix = pose_bone.parent.matrix.inverted_safe() @ matrix
                    poses[pose_bone.name].append(matrix.copy())
        finally:
            restore()
            self.scene.frame_set(saved_frame[0], subframe=saved_frame[1])
        return first, poses

    # -- scene

    def object_record(self, obj):
        where = 'Object "%s"' % obj.name
        record = records.Object(obj.name, object_type(obj), tuple(self.numbers.many(
            [obj.matrix_world[r][c] for r in range(4) for c in range(4)], where)))
        if obj.parent is not None and obj.parent in self.objects:
            record.parent = obj.parent.name
            if obj.parent_type == "BONE" and obj.parent.type == "ARMATURE" and obj.parent_bone:
                record.bone = self.file_bone_name(obj.parent, obj.parent_bone)
        if obj.type in GEOMETRY_TYPES:
            armature = self.armature_of(obj)
            if armature is not None:
                record.skeleton = armature.name
        return record

    def instance_record(self, instance):
        matrix = instance.matrix
        return records.Object(instance.name, object_type(instance.obj), tuple(self.numbers.many(
            [matrix[r][c] for r in range(4) for c in range(4)], 'Object "%s"' % instance.name)), parent=instance.parent)

    def run(self):
        self.progress("collecting objects")
        self.collect_objects()
        self.progress("reading %d objects" % (len(self.objects) + len(self.instances)))
        scene = records.Scene(self.scene.name)
        failed = set()  # names in the file of what could not be read
        bodies = {}  # object name -> its geometry, read once for all its instances
        for name, obj in self.placed(GEOMETRY_TYPES):
            if obj.name not in bodies:
                if len(getattr(obj.data, "vertices", ())) >= BIG_MESH:
                    self.progress('reading geometry "%s"' % obj.name)
                bodies[obj.name] = self.guarded('Object "%s"' % obj.name, lambda: self.geometry(obj))
            body = bodies[obj.name]
            if body is None:
                failed.add(name)
            else:
                scene.geometries.append(body if body.name == name else dataclasses.replace(body, name=name))
        for types, read, found in (({"LIGHT"}, self.light, scene.lights), ({"CAMERA"}, self.camera, scene.cameras)):
            for name, obj in self.placed(types):
                record = self.guarded('Object "%s"' % name, lambda: read(name, obj))
                if record is None:
                    failed.add(name)
                else:
                    found.append(record)
        armatures = []
        for obj in (o for o in self.objects if o.type == "ARMATURE"):
            record = self.guarded('Object "%s"' % obj.name, lambda: self.skeleton(obj))
            if record is None:
                failed.add(obj.name)
            else:
                scene.skeletons.append(record)
                armatures.append(obj)
        self.progress("reading materials")
        scene.materials = [self.material_record(m) for m in self.materials]
        scene.images = [records.Image(self.check_name("Image", image.name), name) for image, name in self.images]
        scene.animations = self.animations(armatures)
        scene.objects = [self.object_record(o) for o in self.objects if o.name not in failed] + [
            self.instance_record(i) for i in self.instances if i.name not in failed]
        for record in scene.objects:
            if record.parent in failed:
                record.parent = record.bone = None
            if record.skeleton in failed:
                record.skeleton = None
        return scene


# --- free helpers ---------------------------------------------------------------------


def scene_content(scene, view_layer, options):
    """(the objects to write, in the scene's order; how many objects are no
    scene content). Scene content is what the view layer holds (objects of
    collections excluded from it are not), less the objects of the glTF
    importer's helper collection and hidden objects that bones use as their
    custom shape (widgets). With the options, only the selected or visible
    objects of it."""
    view_layer.update()  # objects linked since the last update are not in view_layer.objects before
    in_layer = {o.as_pointer() for o in view_layer.objects}
    shapes = {
        bone.custom_shape.as_pointer()
        for obj in scene.objects
        if obj.type == "ARMATURE" and obj.pose is not None
        for bone in obj.pose.bones
        if bone.custom_shape is not None
    }
    # Object.users_collection searches every collection for each object: ask
    # the helper collections for their objects once instead.
    helpers = {
        o.as_pointer()
        for c in bpy.data.collections
        if c.name.split(".")[0] == GLTF_HELPER_COLLECTION
        for o in c.objects
    }
    content, skipped = [], 0
    for obj in scene.objects:
        helper = obj.as_pointer() in helpers
        shape = obj.as_pointer() in shapes and not obj.visible_get(view_layer=view_layer)
        if obj.as_pointer() not in in_layer or helper or shape:
            skipped += 1
        elif options.selection_only and not obj.select_get(view_layer=view_layer):
            continue
        elif options.visible_only and not obj.visible_get(view_layer=view_layer):
            continue
        else:
            content.append(obj)
    return content, skipped


def unique_name(name, taken):
    """name, or name with the first free suffix " 2", " 3"..., now taken."""
    candidate, n = name, 1
    while candidate in taken:
        n += 1
        candidate = "%s %d" % (name, n)
    taken.add(candidate)
    return candidate


def object_type(obj):
    if obj.type == "FONT":
        return "font"
    if obj.type in GEOMETRY_TYPES:
        return "mesh"
    return {"LIGHT": "light", "CAMERA": "camera", "ARMATURE": "skeleton"}.get(obj.type, "empty")


def file_bone_names(armature):
    """Bone name -> name in the file. A bone named like its armature is renamed,
    because the skeleton's own root bone carries that name and lookups take
    the first match."""
    names = {b.name: b.name for b in armature.data.bones}
    if armature.name in names:
        n = 1
        candidate = armature.name + ".bone"
        while candidate in names:
            n += 1
            candidate = "%s.bone%d" % (armature.name, n)
        names[armature.name] = candidate
    return names


def action_paths(action, slot=None):
    """The data paths an action animates (through slot only, when given).
    Blender 4.4 and later keep an action's curves in channel bags, one per
    slot, instead of the action's own list (gone in 5.0)."""
    if not getattr(action, "is_action_layered", False):
        return {curve.data_path for curve in getattr(action, "fcurves", ())}
    return {
        curve.data_path
        for layer in action.layers
        for strip in layer.strips
        for bag in getattr(strip, "channelbags", ())
        if slot is None or bag.slot_handle == slot.handle
        for curve in bag.fcurves
    }


def bone_names_animated(action, slot=None):
    """The bones an action animates (through slot, when given), or None when
    it also animates anything other than pose bones."""
    names = set()
    for path in action_paths(action, slot):
        match = POSE_BONE_PATH.match(path)
        if match is None:
            return None
        names.add(match.group(1).replace('\\"', '"').replace("\\\\", "\\"))
    return names


def slot_for(armature, action):
    """The slot through which action animates armature: the armature's own
    slot of it, else its only slot, else the first slot whose curves move
    nothing but bones of the armature; None when none fits."""
    data = armature.animation_data
    if data is not None and data.action == action and data.action_slot is not None:
        return data.action_slot
    slots = list(action.slots)
    own = "OB" + armature.name
    for slot in slots:
        if slot.identifier == own or armature in getattr(slot, "users", lambda: ())():
            return slot
    if len(slots) == 1:
        return slots[0]
    bones = {b.name for b in armature.data.bones}
    for slot in slots:
        names = bone_names_animated(action, slot)
        if names and names <= bones:
            return slot
    return None


def bind_action(armature, action):
    """Makes action animate armature (through the slot of slot_for on
    Blender 4.4 and later, where an action animates an object only through
    a slot) and returns a function that gives the armature back its own
    action and slot; None, with nothing changed, when no slot fits."""
    layered = getattr(action, "is_action_layered", False)
    slot = slot_for(armature, action) if layered else None
    if layered and slot is None:
        return None
    created = armature.animation_data is None
    data = armature.animation_data_create()
    saved_action = data.action
    has_slots = hasattr(data, "action_slot")
    saved_slot = data.action_slot if has_slots else None
    if data.action != action:
        data.action = action
    if layered and data.action_slot != slot:
        data.action_slot = slot

    def restore():
        if created:
            armature.animation_data_clear()
            return
        if data.action != saved_action:
            data.action = saved_action
        if has_slots and saved_action is not None and data.action_slot != saved_slot:
            data.action_slot = saved_slot

    return restore


def uses_nodes(material):
    """Whether the material is shaded by its node tree. From Blender 5.0 on
    every material is, and reading `use_nodes` is deprecated."""
    if material.node_tree is None:
        return False
    return bpy.app.version >= (5, 0, 0) or material.use_nodes


class NotFollowed(Exception):
    """A node shape between an image and a shader that the file cannot hold;
    the message names it."""


def feeding(socket):
    """The output socket that drives socket through Reroute nodes and live
    links, or None when socket is unlinked (it then holds its own value)."""
    while socket.is_linked:
        link = socket.links[0]
        if getattr(link, "is_muted", False) or not link.is_valid:
            return None
        if link.from_node.type != "REROUTE":
            return link.from_socket
        socket = link.from_node.inputs[0]
    return None


def socket_value(socket):
    value = socket.default_value
    return tuple(value[:3]) if hasattr(value, "__len__") else (float(value),)


def multiply_inputs(node):
    """The factor and the two operands of a Multiply node of colours or
    numbers, or None for any other node."""
    if node.type == "MIX" and node.data_type in ("RGBA", "FLOAT") and node.blend_type == "MULTIPLY":
        suffix = "_Color" if node.data_type == "RGBA" else "_Float"
        by_id = {s.identifier: s for s in node.inputs}
        return by_id["Factor_Float"], by_id["A" + suffix], by_id["B" + suffix], node.clamp_factor
    if node.type == "MIX_RGB" and node.blend_type == "MULTIPLY":
        return node.inputs["Fac"], node.inputs["Color1"], node.inputs["Color2"], True
    if node.type == "MATH" and node.operation == "MULTIPLY":
        return None, node.inputs[0], node.inputs[1], False
    return None


def constant_and_image(socket):
    """What socket receives as a constant and at most one image texture node
    multiplying it: Blender draws the image's colour times the constant
    (white for an image alone). Raises NotFollowed for other shapes."""
    source = feeding(socket)
    if source is None:
        return socket_value(socket), None
    node = source.node
    width = len(socket_value(socket))
    if node.type == "TEX_IMAGE":
        if node.image is None:
            raise NotFollowed("an Image Texture node without an image")
        return (1.0,) * width, node
    if node.type in SEPARATE_COMBINE:
        raise NotFollowed('a "%s" node' % node.name)
    shape = multiply_inputs(node)
    if shape is None:
        raise NotFollowed('a "%s" node, whose shape is not followed' % node.name)
    factor_socket, a, b, clamp = shape
    factor = 1.0
    if factor_socket is not None:
        if feeding(factor_socket) is not None:
            raise NotFollowed('a "%s" node with a linked factor' % node.name)
        factor = min(max(factor_socket.default_value, 0.0), 1.0) if clamp else factor_socket.default_value
    (ca, ia), (cb, ib) = constant_and_image(a), constant_and_image(b)
    if ia is not None and ib is not None:
        raise NotFollowed('a "%s" node multiplying two images' % node.name)
    if ib is not None and factor != 1.0:
        raise NotFollowed('a "%s" node blending an image by a factor' % node.name)
    # Multiply with factor f draws A * (1 - f + f * B).
    constant = tuple(x * (1.0 - factor + factor * y) for x, y in zip(ca, cb))
    return constant[:width] if len(constant) >= width else (constant[0],) * width, ia or ib


def surface_shader(material):
    """The shader node the active Material Output renders; for Diffuse added
    to Glossy (as Blender's glTF importer builds specular-glossiness
    materials) the Diffuse BSDF."""
    outputs = [n for n in material.node_tree.nodes if n.type == "OUTPUT_MATERIAL"]
    output = next((n for n in outputs if n.is_active_output), outputs[0] if outputs else None)
    source = feeding(output.inputs["Surface"]) if output is not None else None
    if source is None:
        return None
    node = source.node
    if node.type == "ADD_SHADER":
        parts = [feeding(s) for s in node.inputs]
        kinds = sorted(p.node.type for p in parts if p is not None)
        if kinds == ["BSDF_DIFFUSE", "BSDF_GLOSSY"]:
            return next(p.node for p in parts if p.node.type == "BSDF_DIFFUSE")
    return node


def materials_uv_maps(obj, render_uv):
    """The names of the uv maps that the image textures of obj's materials
    read: a UV Map node's map, else the render map."""
    used = set()
    for slot in obj.material_slots:
        if slot.material is None or not uses_nodes(slot.material):
            continue
        for node in slot.material.node_tree.nodes:
            if node.type == "TEX_IMAGE":
                used.add(image_uv(node, follow_mapping=False)[0] or render_uv)
    return used


def image_uv(image_node, follow_mapping=True):
    """The uv map an image texture node samples ("" for the render map, or
    when its coordinates come from nodes not followed) and the 2x3 matrix of
    the Mapping node between them, None without one. With follow_mapping,
    raises NotFollowed for a Mapping node whose transform cannot be baked
    into uvs and for coordinates made by other nodes."""
    source = feeding(image_node.inputs["Vector"])
    transform = None
    if source is not None and source.node.type == "MAPPING":
        if follow_mapping:
            transform = mapping_transform(source.node)
        source = feeding(source.node.inputs["Vector"])
        if source is None:
            return "", transform
    if source is None or (source.node.type == "TEX_COORD" and source.identifier == "UV"):
        return "", transform
    if source.node.type == "UVMAP":
        return source.node.uv_map, transform
    if follow_mapping:
        raise NotFollowed('a "%s" node' % source.node.name)
    return "", None


def mapping_transform(node):
    """The 2x3 matrix a Mapping node applies to (u, v, 0): Point and Vector
    types scale, rotate (Euler XYZ) and move (Vector does not move),
    Texture applies the inverse of Point."""
    if node.vector_type not in ("POINT", "TEXTURE", "VECTOR"):
        raise NotFollowed('a Mapping node of type "%s"' % node.vector_type.title())
    values = {}
    for name in ("Location", "Rotation", "Scale"):
        socket = node.inputs.get(name)
        if socket is None:  # a Vector mapping has no Location
            values[name] = (0.0, 0.0, 0.0)
        elif feeding(socket) is not None:
            raise NotFollowed('a Mapping node whose "%s" is linked' % name)
        else:
            values[name] = tuple(socket.default_value)
    matrix = Matrix.LocRotScale(values["Location"], Euler(values["Rotation"], "XYZ"), values["Scale"])
    if node.vector_type == "TEXTURE":
        if abs(matrix.determinant()) < 1e-12:
            raise NotFollowed("a Texture Mapping node of zero scale")
        matrix = matrix.inverted()
    if matrix == Matrix.Identity(4):
        return None
    return np.array([[matrix[0][0], matrix[0][1], matrix[0][3]], [matrix[1][0], matrix[1][1], matrix[1][3]]])


def same_transform(a, b):
    if a is None or b is None:
        return a is None and b is None
    return bool(np.array_equal(a, b))


def active_render_uv(mesh):
    for layer in mesh.uv_layers:
        if layer.active_render:
            return layer.name
    return mesh.uv_layers[0].name if len(mesh.uv_layers) else ""


def render_colour_layer(mesh):
    attributes = getattr(mesh, "color_attributes", None)
    if attributes is not None:
        if not len(attributes):
            return None
        index = getattr(attributes, "render_color_index", -1)
        if 0 <= index < len(attributes):
            return attributes[index]
        return attributes.active_color or attributes[0]
    layers = getattr(mesh, "vertex_colors", None)
    if layers:
        return next((l for l in layers if l.active_render), layers[0])
    return None


def vertical_fov(camera, render):
    """The camera's vertical field of view in radians, for the scene's aspect."""
    aspect = (render.resolution_x * render.pixel_aspect_x) / max(render.resolution_y * render.pixel_aspect_y, 1e-9)
    fit = camera.sensor_fit
    if fit == "VERTICAL":
        return 2.0 * math.atan(camera.sensor_height / (2.0 * camera.lens))
    horizontal = fit == "HORIZONTAL" or aspect >= 1.0
    half = math.atan(camera.sensor_width / (2.0 * camera.lens))
    if horizontal:
        return 2.0 * math.atan(math.tan(half) / aspect)
    return 2.0 * half


def gather(context, options, folder=None, progress=None, info=None):
    """The scene of context as records, and the warnings. Images are copied,
    unpacked or saved into folder (the folder of the file to be written);
    info, when given, receives the lines that inform without warning."""
    gatherer = Gatherer(context, folder or os.getcwd(), options, progress or (lambda stage: None),
                        info or (lambda message: None))
    return gatherer.run(), gatherer.warnings
