"""The add-on installed from its zip into a fresh Blender, enabled, and its
export operator run. BXML_ADDON_ZIP names the zip to install (a release
archive); without it the add-on is packed from the tree. Run with
BLENDER_USER_SCRIPTS pointing at an empty folder so that the user's own
Blender set-up stays untouched."""

import os
import subprocess
import sys

import addon_utils
import bpy

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
from harness import check, check_equal  # noqa: E402

MODULE = "io_scene_bxml"


def test_install_enable_and_export_from_zip():
    scripts = os.environ.get("BLENDER_USER_SCRIPTS", "")
    check(scripts and os.path.isdir(scripts) and not os.listdir(scripts),
          "BLENDER_USER_SCRIPTS must name an empty folder (got %r)" % scripts)
    folder = harness.out_dir("install")
    # A release archive when one is named, else the add-on packed from the tree.
    archive = os.environ.get("BXML_ADDON_ZIP") or os.path.join(folder, MODULE + ".zip")
    if not os.environ.get("BXML_ADDON_ZIP"):
        subprocess.run(["python3", os.path.join(harness.ROOT, "scripts", "blender-addon-zip"), archive], check=True)
    check_equal(bpy.ops.preferences.addon_install(filepath=archive), {"FINISHED"}, "install")
    bpy.ops.preferences.addon_enable(module=MODULE)
    check(MODULE in {m.__name__ for m in addon_utils.modules() if addon_utils.check(m.__name__)[1]}, "not enabled")
    installed = sys.modules[MODULE].__file__
    check(installed.startswith(scripts), "the add-on was loaded from %s, not the installed copy" % installed)
    bpy.ops.mesh.primitive_cube_add()  # reloading the start-up file would disable the add-on again
    out = os.path.join(folder, "installed.xml")
    check_equal(bpy.ops.export_scene.bxml(filepath=out), {"FINISHED"}, "export operator")
    with open(out, encoding="utf-8") as f:
        check('<geometry name="Cube">' in f.read(), "the start-up cube is in the file")
    # One version for the whole project: the VERSION file.
    with open(os.path.join(harness.ROOT, "VERSION"), encoding="utf-8") as f:
        version = f.read().strip()
    check_equal(".".join(str(n) for n in sys.modules[MODULE].bl_info["version"]), version, "bl_info version")
    with open(os.path.join(os.path.dirname(installed), "blender_manifest.toml"), encoding="utf-8") as f:
        check('\nversion = "%s"\n' % version in f.read(), "the manifest's version is " + version)
    menu = [f.__name__ for f in bpy.types.TOPBAR_MT_file_export._dyn_ui_initialize()]
    check("menu_func_export" in menu, "no File > Export entry")


harness.run(globals())
