"""Exports the open scene from the command line:

    blender -b [SCENE.blend] --python-exit-code 1 --python exporters/blender/export_cli.py \\
        -- OUT.xml [--selection-only] [--visible-only] [--apply-modifiers] [--linear-colours]

Without a .blend file Blender's start-up scene is exported. Warnings go to
standard output. A file that cannot be written ends the run with one line
on standard error and exit code 1.
"""

import argparse
import os
import sys
import types

import bpy

PACKAGE = "io_scene_bxml"


def load_addon():
    """The add-on package beside this script, registered under its add-on name."""
    if PACKAGE in sys.modules:
        return sys.modules[PACKAGE]
    folder = os.path.dirname(os.path.abspath(__file__))
    init = os.path.join(folder, "__init__.py")
    # A package object whose submodules ("from . import exporter") are found
    # in this folder, whatever the folder is called.
    module = types.ModuleType(PACKAGE)
    module.__file__ = init
    module.__path__ = [folder]
    module.__package__ = PACKAGE
    sys.modules[PACKAGE] = module
    with open(init, encoding="utf-8") as f:
        exec(compile(f.read(), init, "exec"), module.__dict__)
    return module


def parse(argv):
    args = argv[argv.index("--") + 1:] if "--" in argv else []
    parser = argparse.ArgumentParser(prog="export_cli.py", description="Export the open scene as Blender XML.")
    parser.add_argument("output", help="the .xml file to write")
    parser.add_argument("--selection-only", action="store_true")
    parser.add_argument("--visible-only", action="store_true")
    parser.add_argument("--apply-modifiers", action="store_true")
    parser.add_argument("--linear-colours", action="store_true")
    return parser.parse_args(args)


def main():
    options = parse(sys.argv)
    addon = load_addon()
    try:
        warnings = addon.exporter.export(
            bpy.context,
            os.path.abspath(options.output),
            selection_only=options.selection_only,
            apply_modifiers=options.apply_modifiers,
            linear_colours=options.linear_colours,
            visible_only=options.visible_only,
            info=lambda message: print("Blender XML export:", message),
        )
    except OSError as error:
        print("Blender XML export: cannot write %s: %s" % (options.output, error.strerror or error), file=sys.stderr)
        sys.exit(1)
    for message in warnings:
        print("Blender XML export warning:", message)
    print("Blender XML export: wrote %s (%d warnings)" % (options.output, len(warnings)))


if __name__ == "__main__":
    main()
