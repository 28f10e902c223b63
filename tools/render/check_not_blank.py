# Fails unless a rendered picture shows something besides its background:
#   blender -b --factory-startup --python check_not_blank.py -- PICTURE.png
# At least 2% of the pixels must differ clearly from the corner pixel.
import sys

import bpy

path = sys.argv[sys.argv.index("--") + 1]
image = bpy.data.images.load(path)
width, height = image.size
pixels = list(image.pixels)
channels = image.channels
background = pixels[0:3]
differing = 0
for i in range(0, len(pixels), channels):
    if max(abs(pixels[i + c] - background[c]) for c in range(3)) > 0.05:
        differing += 1
share = differing / max(width * height, 1)
print(f"{path}: {width}x{height}, {share:.1%} of the pixels differ from the background")
sys.exit(0 if width > 0 and share >= 0.02 else 1)
