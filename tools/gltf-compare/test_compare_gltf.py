#!/usr/bin/env python3
"""Tests of compare_gltf.py on files bxml-host writes:
    BXML_HOST=path/to/bxml-host python3 test_compare_gltf.py
"""
import json
import math
import os
import struct
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
import compare_gltf  # noqa: E402


def write(scene, out, *options):
    subprocess.run([os.environ["BXML_HOST"], "--lights", "on", *options, "--gltf", out, scene],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   cwd=os.path.join(ROOT, "samples"))


def rewrite_json(path, change):
    """Applies change to the JSON chunk of a .glb in place."""
    with open(path, "rb") as f:
        data = f.read()
    length = struct.unpack_from("<I", data, 12)[0]
    document = json.loads(data[20:20 + length])
    change(document)
    text = json.dumps(document).encode()
    text += b" " * (-len(text) % 4)
    rest = data[20 + length:]
    with open(path, "wb") as f:
        f.write(b"glTF" + struct.pack("<II", 2, 20 + len(text) + len(rest)) +
                struct.pack("<II", len(text), 0x4E4F534A) + text + rest)


class CompareGltf(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.folder.cleanup()

    def path(self, name):
        return os.path.join(self.folder.name, name)

    def report(self, a, b):
        return {r["quantity"]: r for r in compare_gltf.compare(compare_gltf.read_glb(a), compare_gltf.read_glb(b)).rows}

    def test_the_same_scene_written_twice_compares_equal(self):
        for scene in ("rigged_arm.xml", "staged_scene.xml", "textured_cube.xml"):
            write(scene, self.path("a.glb"))
            write(scene, self.path("b.glb"), "--scale", "1")
            self.assertEqual(compare_gltf.main([self.path("a.glb"), self.path("b.glb")]), 0, scene)

    def test_an_axis_turn_moves_positions_joints_keys_and_lights(self):
        write("staged_scene.xml", self.path("a.glb"))
        write("staged_scene.xml", self.path("b.glb"), "--swap-model", "off")
        rows = self.report(self.path("a.glb"), self.path("b.glb"))
        for quantity in ("vertex positions", "joint rest world matrices", "light position"):
            self.assertGreater(rows[quantity]["mismatches"], 0, quantity)
        write("rigged_arm.xml", self.path("c.glb"))
        write("rigged_arm.xml", self.path("d.glb"), "--swap-model", "off")
        self.assertGreater(self.report(self.path("c.glb"), self.path("d.glb"))
                           ["animated world matrices"]["mismatches"], 0)

    def test_a_scale_changes_positions_but_not_uvs_by_themselves(self):
        write("textured_cube.xml", self.path("a.glb"))
        write("textured_cube.xml", self.path("b.glb"), "--scale", "2")
        rows = self.report(self.path("a.glb"), self.path("b.glb"))
        self.assertGreater(rows["vertex positions"]["mismatches"], 0)
        self.assertEqual(compare_gltf.main([self.path("a.glb"), self.path("b.glb")]), 1)

    def test_light_colours_cones_and_animation_keys_are_compared(self):
        write("staged_scene.xml", self.path("a.glb"))
        write("staged_scene.xml", self.path("b.glb"))

        def tint(document):
            for light in document["extensions"]["KHR_lights_punctual"]["lights"]:
                light["color"] = [c * 0.5 for c in light["color"]]
                if "spot" in light:
                    light["spot"]["outerConeAngle"] *= 0.9
        rewrite_json(self.path("b.glb"), tint)
        rows = self.report(self.path("a.glb"), self.path("b.glb"))
        self.assertGreater(rows["light color"]["mismatches"], 0)
        self.assertGreater(rows["light cone"]["mismatches"], 0)
        self.assertEqual(rows["light position"]["mismatches"], 0)

        write("rigged_arm.xml", self.path("c.glb"))
        write("rigged_arm.xml", self.path("d.glb"))

        def slower(document):
            for animation in document["animations"]:
                for sampler in animation["samplers"]:
                    accessor = document["accessors"][sampler["input"]]
                    accessor["max"] = [accessor["max"][0] * 2]
        rewrite_json(self.path("d.glb"), slower)
        # The bounds alone do not move keys: still equal.
        self.assertEqual(self.report(self.path("c.glb"), self.path("d.glb"))
                         ["animated world matrices"]["mismatches"], 0)

    def test_a_rotation_stored_slightly_off_unit_length_is_still_a_rotation(self):
        write("rigged_arm.xml", self.path("a.glb"))
        write("rigged_arm.xml", self.path("b.glb"))
        half = math.radians(30) / 2

        def place(length):
            def change(document):
                nodes = {node.get("name"): node for node in document["nodes"]}
                # Norm² 1 + 4e-7, a few float steps off 1: taken as it stands
                # it moves the shoulder 1,000 units out by 2e-4.
                nodes["skeleton root"]["rotation"] = [0, 0, math.sin(half) * length, math.cos(half) * length]
                nodes["shoulder"]["translation"] = [1000, 0, 0]
            return change
        rewrite_json(self.path("a.glb"), place(1.0))
        rewrite_json(self.path("b.glb"), place(1 + 2e-7))
        self.assertEqual(self.report(self.path("a.glb"), self.path("b.glb"))
                         ["joint rest world matrices"]["mismatches"], 0)

    def test_a_file_that_is_not_glb_is_an_error(self):
        self.assertEqual(compare_gltf.main([os.path.join(ROOT, "samples", "rigged_arm.xml"),
                                            os.path.join(ROOT, "samples", "rigged_arm.xml")]), 2)


if __name__ == "__main__":
    unittest.main()
