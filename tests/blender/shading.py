"""What Blender shades a material with, worked out from its node graph by
Blender's own node formulas, with every image texture standing in as a flat
grey: the round trips' expected material values. It shares nothing with the
exporter's reading of materials (which matches node shapes); this evaluates
any tree it knows the nodes of and says None for the rest."""

import bpy
from mathutils import Euler, Vector


class Unknown(Exception):
    """A node this evaluator does not know."""


def shaded_by_nodes(material):
    """Blender 5.0 shades every material by its nodes (and deprecates `use_nodes`)."""
    return material.node_tree is not None and (bpy.app.version >= (5, 0, 0) or material.use_nodes)


def _as_colour(value):
    return value if len(value) == 3 else value * 3


def _as_number(value):
    # Blender turns a colour into a number by its luminance weights.
    return value if len(value) == 1 else (0.2126 * value[0] + 0.7152 * value[1] + 0.0722 * value[2],)


def _own(socket):
    value = socket.default_value
    return tuple(value[:3]) if hasattr(value, "__len__") else (float(value),)


def _blend(blend_type, f, a, b):
    if blend_type == "MIX":
        return tuple(x * (1 - f) + y * f for x, y in zip(a, b))
    if blend_type == "MULTIPLY":
        return tuple(x * (1 - f + f * y) for x, y in zip(a, b))
    if blend_type == "ADD":
        return tuple(x + f * y for x, y in zip(a, b))
    raise Unknown(blend_type)


def evaluate(socket, grey, images=None):
    """The value an input socket receives when every image gives `grey`
    (colour and alpha); images collects the image nodes reached."""
    if not socket.is_linked:
        return _own(socket)
    link = socket.links[0]
    if getattr(link, "is_muted", False):
        return _own(socket)
    node, out = link.from_node, link.from_socket
    value = _output(node, out, grey, images)
    return _as_colour(value) if len(_own(socket)) == 3 else _as_number(value)


def _by_id(node):
    return {s.identifier: s for s in node.inputs}


def _output(node, out, grey, images):
    if node.type == "REROUTE":
        return evaluate(node.inputs[0], grey, images)
    if node.type == "TEX_IMAGE":
        if images is not None:
            images.append(node)
        return (grey,) if out.identifier == "Alpha" else (grey,) * 3
    if node.type == "MIX_RGB":
        f = evaluate(node.inputs["Fac"], grey, images)[0]
        f = min(max(f, 0.0), 1.0)
        a, b = (_as_colour(evaluate(node.inputs[n], grey, images)) for n in ("Color1", "Color2"))
        return _blend(node.blend_type, f, a, b)
    if node.type == "MIX" and node.data_type in ("RGBA", "FLOAT"):
        s = _by_id(node)
        suffix = "_Color" if node.data_type == "RGBA" else "_Float"
        f = evaluate(s["Factor_Float"], grey, images)[0]
        if node.clamp_factor:
            f = min(max(f, 0.0), 1.0)
        return _blend(node.blend_type, f, evaluate(s["A" + suffix], grey, images), evaluate(s["B" + suffix], grey, images))
    if node.type == "MATH" and node.operation == "MULTIPLY":
        return (evaluate(node.inputs[0], grey, images)[0] * evaluate(node.inputs[1], grey, images)[0],)
    if node.type == "RGB":
        return tuple(out.default_value[:3])
    if node.type == "VALUE":
        return (out.default_value,)
    raise Unknown(node.type)


def _shader(node, grey, images):
    """(diffuse colour, alpha) of a shader node's output."""
    inputs = node.inputs
    if node.type == "BSDF_PRINCIPLED":
        return _as_colour(evaluate(inputs["Base Color"], grey, images)), evaluate(inputs["Alpha"], grey, images)[0]
    if node.type == "BSDF_DIFFUSE":
        return _as_colour(evaluate(inputs["Color"], grey, images)), 1.0
    if node.type == "EMISSION":
        strength = evaluate(inputs["Strength"], grey, images)[0]
        return tuple(c * strength for c in evaluate(inputs["Color"], grey, images)), 1.0
    if node.type == "BSDF_GLOSSY":
        return (0.0, 0.0, 0.0), 1.0  # specular only: it adds no diffuse colour
    if node.type == "ADD_SHADER":
        parts = [_shader(s.links[0].from_node, grey, images) for s in inputs if s.is_linked]
        return tuple(sum(p[0][i] for p in parts) for i in range(3)), min(p[1] for p in parts)
    raise Unknown(node.type)


def drawn(material, grey):
    """(diffuse colour, alpha, image nodes reached) of the material's surface
    when every image gives grey; the viewport colour without nodes; None
    when the surface is made of nodes this evaluator does not know."""
    if not shaded_by_nodes(material):
        return tuple(material.diffuse_color[:3]), material.diffuse_color[3], []
    outputs = [n for n in material.node_tree.nodes if n.type == "OUTPUT_MATERIAL"]
    output = next((n for n in outputs if n.is_active_output), outputs[0] if outputs else None)
    if output is None or not output.inputs["Surface"].is_linked:
        return None
    images = []
    surface = output.inputs["Surface"].links[0].from_node
    while surface.type == "REROUTE":
        surface = surface.inputs[0].links[0].from_node
    try:
        colour, alpha = _shader(surface, grey, images)
    except Unknown:
        return None
    return colour, alpha, images


def diffuse_image(material):
    """The image node whose grey changes the drawn colour, or None."""
    white, grey = drawn(material, 1.0), drawn(material, 0.5)
    if white is None or white[0] == grey[0]:
        return None
    return white[2][0] if white[2] else None


def _mapping_of(image_node, render_uv):
    """(uv map the image samples, its Mapping node or None), or None when its
    coordinates come from other nodes."""
    vector = image_node.inputs["Vector"]
    source = vector.links[0] if vector.is_linked else None
    mapping = None
    if source is not None and source.from_node.type == "MAPPING":
        mapping = source.from_node
        source = mapping.inputs["Vector"].links[0] if mapping.inputs["Vector"].is_linked else None
    if source is None or (source.from_node.type == "TEX_COORD" and source.from_socket.identifier == "UV"):
        return render_uv, mapping
    if source.from_node.type == "UVMAP":
        return source.from_node.uv_map or render_uv, mapping
    return None


def _moved(mapping):
    """Blender's Mapping node on (u, v, 0), step by step: Point scales, turns
    and moves; Texture undoes that; Vector scales and turns."""
    if mapping is None:
        return lambda u, v: (u, v)
    values = {s.name: s.default_value for s in mapping.inputs if s.name in ("Location", "Rotation", "Scale")}
    location = Vector(values.get("Location", (0.0, 0.0, 0.0)))
    turn = Euler(values["Rotation"], "XYZ").to_matrix()
    scale = Vector(values["Scale"])

    def move(u, v):
        p = Vector((u, v, 0.0))
        if mapping.vector_type == "TEXTURE":
            q = turn.inverted() @ (p - location)
            p = Vector((q.x / scale.x, q.y / scale.y, q.z / scale.z))
        else:
            p = turn @ Vector((p.x * scale.x, p.y * scale.y, 0.0))
            p = p + location if mapping.vector_type == "POINT" else p
        return p.x, p.y

    return move


def uv_moves(obj, mesh):
    """{uv map name: (u, v) -> (u, v)} for the maps whose every image texture
    goes through Mapping nodes of equal settings: the coordinates Blender
    samples those images at."""
    render_uv = next((l.name for l in mesh.uv_layers if l.active_render), "")
    settings = {}  # uv map -> set of Mapping settings (None for no Mapping)
    first = {}
    for slot in obj.material_slots:
        material = slot.material
        if material is None or not shaded_by_nodes(material):
            continue
        for node in material.node_tree.nodes:
            found = _mapping_of(node, render_uv) if node.type == "TEX_IMAGE" and node.image is not None else None
            if found is None:
                continue
            name, mapping = found
            key = None if mapping is None else (mapping.vector_type,) + tuple(
                tuple(s.default_value) for s in mapping.inputs if s.name in ("Location", "Rotation", "Scale"))
            settings.setdefault(name, set()).add(key)
            first.setdefault(name, mapping)
    return {name: _moved(first[name]) for name, keys in settings.items() if len(keys) == 1}
