"""The scene as gather() reads it from Blender and write() writes it: plain
records, numbers already finite, per-vertex and per-corner data as numpy
arrays. Nothing here needs Blender."""

from dataclasses import dataclass, field
from typing import List, Optional

import numpy as np


@dataclass
class Light:
    name: str
    kind: str  # "omni", "directional" or "spot"
    colour: tuple
    spot_angle: Optional[float]  # degrees, spot lights only
    radius: float
    intensity: float


@dataclass
class Camera:
    name: str
    kind: str  # "perspective", "orthographic" or "panoramic"
    near: float
    far: float
    fov: float  # vertical, degrees


@dataclass
class Image:
    name: str
    url: str  # the file name beside the scene file


@dataclass
class TextureSlot:
    image: str
    map_type: str
    uv_name: str  # "" for none


@dataclass
class Material:
    name: str
    slots: List[TextureSlot]
    shininess: float
    alpha: float
    diffuse: tuple
    specular: tuple


@dataclass
class Geometry:
    """One mesh: faces of 3 or 4 corners (n-gons already triangulated)."""

    name: str
    positions: np.ndarray  # float32 (vertices, 3)
    normals: np.ndarray  # float32 (vertices, 3)
    face_sizes: np.ndarray  # int (faces)
    corner_vertices: np.ndarray  # int (corners), face after face
    uv_sets: list = field(default_factory=list)  # [(name, float32 (corners, 2))]
    colours: Optional[np.ndarray] = None  # float32 (corners, 3)
    materials: Optional[np.ndarray] = None  # int (faces): index into the scene's materials or -1
    links: List[str] = field(default_factory=list)  # bone names
    weight_counts: Optional[np.ndarray] = None  # int (vertices): influences per vertex
    weight_links: Optional[np.ndarray] = None  # int (influences), vertex after vertex
    weight_values: Optional[np.ndarray] = None  # float32 (influences)


@dataclass
class Bone:
    name: str
    position: tuple
    rotation: tuple  # x, y, z, w
    scale: tuple
    children: list = field(default_factory=list)


@dataclass
class Skeleton:
    name: str
    roots: List[Bone]


@dataclass
class Track:
    """The sampled poses of one bone, parent-relative, one row per frame."""

    bone: str
    positions: np.ndarray  # float32 (frames, 3)
    rotations: np.ndarray  # float32 (frames, 4): x, y, z, w
    scales: np.ndarray  # float32 (frames, 3)


@dataclass
class SkeletonTracks:
    skeleton: str
    times: np.ndarray  # float32 (frames): key times in the file's unit
    tracks: List[Track]


@dataclass
class Animation:
    name: str
    length: float
    fps: float
    skeletons: List[SkeletonTracks]


@dataclass
class Object:
    name: str
    kind: str  # "mesh", "font", "light", "camera", "skeleton" or "empty"
    matrix: tuple  # 16 numbers, row after row
    parent: Optional[str] = None
    bone: Optional[str] = None
    skeleton: Optional[str] = None


@dataclass
class Scene:
    name: str
    lights: List[Light] = field(default_factory=list)
    cameras: List[Camera] = field(default_factory=list)
    images: List[Image] = field(default_factory=list)
    materials: List[Material] = field(default_factory=list)
    geometries: List[Geometry] = field(default_factory=list)
    skeletons: List[Skeleton] = field(default_factory=list)
    animations: List[Animation] = field(default_factory=list)
    objects: List[Object] = field(default_factory=list)
