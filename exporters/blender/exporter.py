"""Writes the open Blender scene as a Blender XML (.xml) scene file.

The file keeps Blender's conventions: Z up, v up, lengths in scene units,
angles in degrees, key-frame times in frames counted from the action's first
frame. The importer's own options change axes and flip v.
"""

import math
import os
import re
import shutil

import bpy
from mathutils import Matrix

from . import text

FORMAT_VERSION = 3

# A deliberate fault, set only by the exporter's tests to show that their
# comparisons catch it: None, "v-flip", "quat-wxyz", "time-seconds",
# "rest-armature-space" or "winding".
test_fault = None

MAX_NAME_BYTES = 255
MAX_UV_SETS = 2

LIGHT_TYPES = {"POINT": "omni", "SUN": "directional", "SPOT": "spot", "AREA": "omni"}
GEOMETRY_TYPES = {"MESH", "CURVE", "SURFACE", "FONT", "META"}
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
SLOT_INPUTS = ("Base Color", "Alpha", "Normal")


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


class Numbers:
    """Formats numbers, replacing inf and nan by finite values with a warning."""

    def __init__(self, warnings):
        self.warnings = warnings

    def one(self, value, where):
        value, changed = text.finite(float(value))
        if changed:
            self.warnings.add("%s: a value that is not a finite number was written as %s" % (where, text.number(value)))
        return value

    def many(self, values, where):
        return [self.one(v, where) for v in values]


class Xml:
    """Builds the document text, one element per line, indented."""

    def __init__(self):
        self.lines = ['<?xml version="1.0" encoding="UTF-8"?>']
        self.depth = 0

    @staticmethod
    def _attributes(attrs):
        return "".join(' %s="%s"' % (k, text.escape_attribute(str(v))) for k, v in attrs)

    def open(self, tag, *attrs):
        self.lines.append("  " * self.depth + "<%s%s>" % (tag, self._attributes(attrs)))
        self.depth += 1

    def close(self, tag, drop_empty=False):
        """Ends tag; with drop_empty an element left without content disappears."""
        self.depth -= 1
        if drop_empty and self.lines[-1] == "  " * self.depth + "<%s>" % tag:
            self.lines.pop()
            return
        self.lines.append("  " * self.depth + "</%s>" % tag)

    def empty(self, tag, *attrs):
        self.lines.append("  " * self.depth + "<%s%s/>" % (tag, self._attributes(attrs)))

    def leaf(self, tag, content, *attrs):
        self.lines.append(
            "  " * self.depth + "<%s%s>%s</%s>" % (tag, self._attributes(attrs), text.escape_text(content), tag)
        )

    def result(self):
        return "\n".join(self.lines) + "\n"


# --- the scene's parts ----------------------------------------------------------------


class Exporter:
    def __init__(self, context, filepath, options, info=None):
        self.context = context
        self.info = info or (lambda message: None)
        self.scene = context.scene
        self.filepath = filepath
        self.folder = os.path.dirname(os.path.abspath(filepath))
        self.options = options
        self.warnings = Warnings()
        self.numbers = Numbers(self.warnings)
        self.objects = []
        self.instances = []  # Instance records, in file order after the objects
        self.geometry_bodies = {}  # object name -> its geometry's lines, written once per object
        self.materials = []  # bpy materials, in file order
        self.material_uv = {}  # material -> uv map name of its first user
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

    def vector_attrs(self, names, values, where):
        return tuple((n, text.number(v)) for n, v in zip(names, self.numbers.many(values, where)))

    def matrix_text(self, matrix, where):
        return text.grouped([self.numbers.many(row, where) for row in matrix])

    def file_bone_name(self, armature, bone_name):
        return self.bone_names.get(armature.name, {}).get(bone_name, bone_name)

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

    # -- writing

    def run(self):
        self.collect_objects()
        armatures = [o for o in self.objects if o.type == "ARMATURE"]

        geometry_xml = Xml()
        geometry_xml.depth = 2
        for name, obj in self.placed(GEOMETRY_TYPES):
            self.write_geometry(geometry_xml, name, obj)

        xml = Xml()
        xml.open("orvk")
        xml.open("comments")
        xml.leaf("version", str(FORMAT_VERSION))
        xml.close("comments")
        self.write_lights(xml, self.placed({"LIGHT"}))
        self.write_cameras(xml, self.placed({"CAMERA"}))
        self.write_materials(xml)  # also images and textures, before the materials
        xml.open("geometries")
        xml.lines.extend(geometry_xml.lines[1:])
        xml.close("geometries", drop_empty=True)
        self.write_skeletons(xml, armatures)
        self.write_animations(xml, armatures)
        self.write_scene(xml)
        xml.close("orvk")
        with open(self.filepath, "w", encoding="utf-8", newline="\n") as f:
            f.write(xml.result())
        return self.warnings.messages

    def write_lights(self, xml, lights):
        xml.open("lights")
        for name, obj in lights:
            light = obj.data
            kind = LIGHT_TYPES.get(light.type, "omni")
            if light.type == "AREA":
                self.warnings.add('Light "%s": area lights are written as omni lights' % obj.name)
            where = 'Light "%s"' % obj.name
            xml.open("light", ("name", name), ("type", kind))
            xml.empty("color", *self.vector_attrs("rgb", self.colour(light.color, where), where))
            if light.type == "SPOT":
                xml.empty("spot", ("angle", text.number(self.numbers.one(math.degrees(light.spot_size), where))))
            xml.leaf("radius", text.number(self.numbers.one(getattr(light, "shadow_soft_size", 0.0), where)))
            xml.leaf("intensity", text.number(self.numbers.one(light.energy, where)))
            xml.close("light")
        xml.close("lights", drop_empty=True)

    def write_cameras(self, xml, cameras):
        xml.open("cameras")
        for name, obj in cameras:
            cam = obj.data
            where = 'Camera "%s"' % obj.name
            kind = "perspective"
            if cam.type != "PERSP":
                kind = "orthographic" if cam.type == "ORTHO" else "panoramic"
                self.warnings.add('%s: only perspective cameras have a field of view in the file' % where)
            xml.open("camera", ("name", name), ("type", kind))
            xml.empty("clip", ("near", text.number(self.numbers.one(cam.clip_start, where))),
                      ("far", text.number(self.numbers.one(cam.clip_end, where))))
            xml.leaf("fov", text.number(self.numbers.one(math.degrees(vertical_fov(cam, self.scene.render)), where)))
            xml.close("camera")
        xml.close("cameras", drop_empty=True)

    def write_materials(self, xml):
        slots_of = [self.material_slots(m) for m in self.materials]
        xml.open("images")
        for image, name in self.images:
            xml.empty("image", ("name", self.check_name("Image", image.name)), ("url", name))
        xml.close("images", drop_empty=True)
        xml.open("textures")
        for image, _ in self.images:
            xml.open("texture", ("name", image.name), ("type", "image"))
            xml.leaf("image", image.name)
            xml.close("texture")
        xml.close("textures", drop_empty=True)
        xml.open("materials")
        for material, (values, slots) in zip(self.materials, slots_of):
            where = 'Material "%s"' % material.name
            xml.open("material", ("name", self.check_name("Material", material.name)))
            for map_type, image, uv_name in slots:
                xml.open("texture", ("name", image.name), ("map_type", map_type), ("blend_type", "mix"))
                if uv_name:
                    xml.leaf("uvset", uv_name)
                xml.close("texture")
            xml.leaf("shininess", text.number(self.numbers.one(values["shininess"], where)))
            xml.leaf("alpha", text.number(self.numbers.one(values["alpha"], where)))
            xml.empty("diffuse", *self.vector_attrs("rgb", self.colour(values["diffuse"], where), where))
            xml.empty("specular", *self.vector_attrs("rgb", values["specular"], where))
            xml.close("material")
        xml.close("materials", drop_empty=True)

    def material_slots(self, material):
        """The material's values and its texture slots (map type, image, uv map).

        Images met here are registered, so this runs before the images are written."""
        values = {
            "diffuse": material.diffuse_color[:3],
            "alpha": material.diffuse_color[3],
            "specular": [material.specular_intensity] * 3,
            "shininess": (1.0 - material.roughness) * 128.0,
        }
        slots = []
        principled = find_principled(material)
        if principled is None:
            return values, slots
        where = 'Material "%s"' % material.name
        inputs = principled.inputs
        values["diffuse"] = inputs["Base Color"].default_value[:3]
        values["alpha"] = inputs["Alpha"].default_value
        specular = next((inputs[n] for n in SPECULAR_INPUTS if n in inputs), None)
        if specular is not None:
            values["specular"] = [min(max(specular.default_value, 0.0), 1.0)] * 3
        values["shininess"] = min(max((1.0 - inputs["Roughness"].default_value) * 128.0, 0.0), 128.0)

        for input_name, map_type in (("Base Color", "diffuse color"), ("Alpha", "alpha"), ("Normal", "normal")):
            socket = inputs.get(input_name)
            if socket is None or not socket.is_linked:
                continue
            node = socket.links[0].from_node
            if map_type == "normal" and node.type == "NORMAL_MAP":
                colour = node.inputs.get("Color")
                node = colour.links[0].from_node if colour is not None and colour.is_linked else None
            if node is None or node.type != "TEX_IMAGE" or node.image is None:
                self.warnings.add('%s: the link into "%s" is not an image texture and is not written' % (where, input_name))
                continue
            self.image_file(node.image)
            slots.append((map_type, node.image, self.uv_map_of(node, material)))
        for socket in inputs:
            if socket.is_linked and socket.name not in SLOT_INPUTS:
                self.warnings.add('%s: the link into "%s" has no place in the file' % (where, socket.name))
        return values, slots

    def uv_map_of(self, image_node, material):
        vector = image_node.inputs.get("Vector")
        if vector is not None and vector.is_linked:
            source = vector.links[0].from_node
            if source.type == "UVMAP" and source.uv_map:
                return source.uv_map
        return self.material_uv.get(material) or ""

    # -- geometry

    def write_geometry(self, xml, name, obj):
        """The geometry of obj under name; the instances of an object share
        its lines, made once."""
        body = self.geometry_bodies.get(obj.name)
        if body is None:
            body_xml = Xml()
            body_xml.depth = xml.depth + 1
            self.write_geometry_body(body_xml, obj)
            body = self.geometry_bodies[obj.name] = body_xml.lines[1:]
        xml.open("geometry", ("name", name))
        xml.lines.extend(body)
        xml.close("geometry")

    def write_geometry_body(self, xml, obj):
        mesh, release = self.mesh_of(obj)
        try:
            data = self.geometry_data(obj, mesh)
        finally:
            release()
        where = 'Object "%s"' % obj.name
        xml.leaf("vertices", text.flat(self.numbers.many(data["positions"], where)), ("count", len(data["positions"]) // 3))
        xml.leaf("normals", text.flat(self.numbers.many(data["normals"], where)), ("count", len(data["normals"]) // 3))
        faces = data["faces"]
        xml.leaf("indices", text.grouped_integers(faces), ("count", len(faces)))
        corners = sum(len(f) for f in faces)
        for name, uvs in data["uv_sets"]:
            xml.leaf("uvset", text.flat(self.numbers.many(uvs, where)), ("name", name), ("count", corners))
        if data["colours"] is not None:
            xml.leaf("colors", text.flat(self.numbers.many(data["colours"], where)), ("count", corners))
        if data["materials"] is not None:
            xml.leaf("materials", text.integers(data["materials"]), ("count", len(faces)))
        if data["links"]:
            xml.open("links")
            for index, name in enumerate(data["links"]):
                xml.empty("link", ("name", name), ("index", index))
            xml.close("links")
            weights = data["weights"]
            most = max(len(w) for w in weights) // 2
            xml.leaf("weights", text.grouped(weights), ("count", len(weights)), ("maxBonePerVertex", most))

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

    def geometry_data(self, obj, mesh):
        positions = [0.0] * (len(mesh.vertices) * 3)
        mesh.vertices.foreach_get("co", positions)
        normals = [0.0] * (len(mesh.vertices) * 3)
        mesh.vertices.foreach_get("normal", normals)
        loop_vertex = [0] * len(mesh.loops)
        mesh.loops.foreach_get("vertex_index", loop_vertex)

        # Faces of 3 and 4 corners as they are, larger ones by Blender's own
        # triangulation (which also handles concave polygons).
        mesh.calc_loop_triangles()
        triangles_of = {}
        for tri in mesh.loop_triangles:
            if mesh.polygons[tri.polygon_index].loop_total > 4:
                triangles_of.setdefault(tri.polygon_index, []).append(tuple(tri.loops))
        face_loops = []
        face_polygon = []
        for poly in mesh.polygons:
            if poly.loop_total <= 4:
                face_loops.append(tuple(range(poly.loop_start, poly.loop_start + poly.loop_total)))
                face_polygon.append(poly.index)
            else:
                for loops in triangles_of.get(poly.index, ()):
                    face_loops.append(loops)
                    face_polygon.append(poly.index)
        if test_fault == "winding":
            face_loops = [tuple(reversed(f)) for f in face_loops]
        faces = [[loop_vertex[l] for l in f] for f in face_loops]
        corner_loops = [l for f in face_loops for l in f]

        uv_layers = list(mesh.uv_layers)
        if len(uv_layers) > MAX_UV_SETS:
            self.warnings.add(
                'Object "%s": only %d uv maps fit in the file; not written: %s'
                % (obj.name, MAX_UV_SETS, ", ".join(l.name for l in uv_layers[MAX_UV_SETS:]))
            )
        uv_sets = []
        for layer in uv_layers[:MAX_UV_SETS]:
            uvs = [0.0] * (len(mesh.loops) * 2)
            layer.data.foreach_get("uv", uvs)
            values = []
            for l in corner_loops:
                u, v = uvs[2 * l], uvs[2 * l + 1]
                values += (u, 1.0 - v if test_fault == "v-flip" else v)
            uv_sets.append((layer.name, values))

        colours = self.corner_colours(mesh, corner_loops, loop_vertex)

        render_uv = active_render_uv(mesh)
        materials = None
        if len(obj.material_slots):
            slot_index = [
                self.material_index(slot.material, render_uv) for slot in obj.material_slots
            ]
            materials = []
            for p in face_polygon:
                m = mesh.polygons[p].material_index
                materials.append(slot_index[m] if 0 <= m < len(slot_index) else -1)

        links, weights = self.bone_weights(obj, mesh)
        return {
            "positions": positions,
            "normals": normals,
            "faces": faces,
            "uv_sets": uv_sets,
            "colours": colours,
            "materials": materials,
            "links": links,
            "weights": weights,
        }

    def corner_colours(self, mesh, corner_loops, loop_vertex):
        layer = render_colour_layer(mesh)
        if layer is None:
            return None
        linear = self.options.linear_colours
        data = layer.data
        has_srgb = len(data) > 0 and hasattr(data[0], "color_srgb")
        field = "color" if linear or not has_srgb else "color_srgb"
        values = [0.0] * (len(data) * 4)
        data.foreach_get(field, values)
        convert = not linear and not has_srgb
        point_domain = getattr(layer, "domain", "CORNER") == "POINT"
        out = []
        for l in corner_loops:
            i = loop_vertex[l] if point_domain else l
            rgb = values[4 * i:4 * i + 3]
            out += [linear_to_srgb(c) for c in rgb] if convert else rgb
        return out

    def bone_weights(self, obj, mesh):
        """The link table (bone names) and per vertex the flat list of link
        index and weight pairs, every positive influence."""
        armature = self.armature_of(obj)
        if armature is None or obj.parent_type == "BONE":
            return [], []
        deform = {b.name for b in armature.data.bones if b.use_deform}
        group_link = {}
        links = []
        for group in obj.vertex_groups:
            if group.name in deform:
                group_link[group.index] = len(links)
                links.append(self.file_bone_name(armature, group.name))
        if not links:
            return [], []
        weights = []
        for vertex in mesh.vertices:
            pairs = []
            for g in vertex.groups:
                link = group_link.get(g.group)
                if link is not None and g.weight > 0.0:
                    pairs += (link, self.numbers.one(g.weight, 'Object "%s"' % obj.name))
            weights.append(pairs)
        if not any(weights):
            return [], []
        return links, weights

    # -- skeletons and animations

    def write_skeletons(self, xml, armatures):
        xml.open("skeletons")
        for obj in armatures:
            xml.open("skeleton", ("name", obj.name))
            for bone in obj.data.bones:
                if bone.parent is None:
                    self.write_bone(xml, obj, bone)
            xml.close("skeleton")
        xml.close("skeletons", drop_empty=True)

    def write_bone(self, xml, armature, bone):
        rest = bone.matrix_local
        if bone.parent is not None and test_fault != "rest-armature-space":
            rest = bone.parent.matrix_local.inverted_safe() @ rest
        xml.open("bone", ("name", self.check_name("Bone", self.file_bone_name(armature, bone.name))))
        self.write_pose(xml, rest, 'Bone "%s"' % bone.name, None)
        for child in bone.children:
            self.write_bone(xml, armature, child)
        xml.close("bone")

    def write_pose(self, xml, matrix, where, previous):
        """position, rotation and scale of matrix; returns the rotation, its sign
        chosen to be closest to previous."""
        location, rotation, scale = matrix.decompose()
        if previous is not None and rotation.dot(previous) < 0.0:
            rotation = -rotation
        xml.empty("position", *self.vector_attrs("xyz", location, where))
        if test_fault == "quat-wxyz":
            values = (rotation.w, rotation.x, rotation.y, rotation.z)
        else:
            values = (rotation.x, rotation.y, rotation.z, rotation.w)
        xml.empty("rotation", *self.vector_attrs("xyzw", values, where))
        xml.empty("scale", *self.vector_attrs("xyz", scale, where))
        return rotation

    def write_animations(self, xml, armatures):
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
                sampled = self.sample(obj, action)
                if sampled is None:
                    self.warnings.add(
                        'Action "%s": none of its slots animates armature "%s"; it is not written for it'
                        % (action.name, obj.name)
                    )
                    continue
                taken.add(action)
                tracks.setdefault(action, []).append((obj,) + sampled)
        xml.open("animations")
        for action, sampled in tracks.items():
            frames = max(len(next(iter(poses.values()), ())) for _, _, poses in sampled)
            xml.open("animation", ("name", self.check_name("Action", action.name)),
                     ("length", text.number(max(frames - 1, 0))), ("fps", text.number(fps)))
            for armature, first, poses in sampled:
                self.write_track(xml, armature, poses, fps)
            xml.close("animation")
        xml.close("animations", drop_empty=True)

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

    def write_track(self, xml, armature, poses, fps):
        xml.open("skeleton", ("name", armature.name))
        for pose_bone in armature.pose.bones:
            name = self.file_bone_name(armature, pose_bone.name)
            xml.open("node", ("name", name))
            previous = None
            for index, matrix in enumerate(poses[pose_bone.name]):
                time = index / fps if test_fault == "time-seconds" else index
                xml.open("frame", ("time", text.number(time)))
                previous = self.write_pose(xml, matrix, 'Bone "%s"' % name, previous)
                xml.close("frame")
            xml.close("node")
        xml.close("skeleton")

    # -- scene

    def write_scene(self, xml):
        xml.open("scenes")
        xml.open("scene", ("name", self.scene.name))
        for obj in self.objects:
            where = 'Object "%s"' % obj.name
            xml.open("object", ("name", obj.name), ("type", object_type(obj)))
            if obj.parent is not None and obj.parent in self.objects:
                xml.leaf("parent", obj.parent.name)
                if obj.parent_type == "BONE" and obj.parent.type == "ARMATURE" and obj.parent_bone:
                    xml.leaf("bone", self.file_bone_name(obj.parent, obj.parent_bone))
            if obj.type in GEOMETRY_TYPES:
                armature = self.armature_of(obj)
                if armature is not None:
                    xml.leaf("skeleton", armature.name)
            xml.leaf("matrix", self.matrix_text(obj.matrix_world, where), ("rows", 4))
            xml.close("object")
        for instance in self.instances:
            xml.open("object", ("name", instance.name), ("type", object_type(instance.obj)))
            xml.leaf("parent", instance.parent)
            xml.leaf("matrix", self.matrix_text(instance.matrix, 'Object "%s"' % instance.name), ("rows", 4))
            xml.close("object")
        xml.close("scene")
        xml.close("scenes")


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
    content, skipped = [], 0
    for obj in scene.objects:
        helper = any(c.name.split(".")[0] == GLTF_HELPER_COLLECTION for c in obj.users_collection)
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


def find_principled(material):
    if not uses_nodes(material):
        return None
    nodes = material.node_tree.nodes
    for node in nodes:
        if node.type == "OUTPUT_MATERIAL" and node.is_active_output:
            surface = node.inputs.get("Surface")
            if surface is not None and surface.is_linked and surface.links[0].from_node.type == "BSDF_PRINCIPLED":
                return surface.links[0].from_node
    return next((n for n in nodes if n.type == "BSDF_PRINCIPLED"), None)


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


def export(context, filepath, selection_only=False, apply_modifiers=False, linear_colours=False, visible_only=False,
           info=None):
    """Writes the scene of context to filepath; returns the warnings. info,
    when given, receives the lines that inform without warning."""
    options = Options(selection_only, apply_modifiers, linear_colours, visible_only)
    return Exporter(context, filepath, options, info).run()
