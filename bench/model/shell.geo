// Thick ellipsoidal shell, a ventricle-like wall, for the simulation benchmarks: an ellipsoid
// minus a smaller, turned and shifted one, so the mesh has no symmetry the solver could exploit.
// Element size from the command line: gmsh shell.geo -setnumber size H -3
SetFactory("OpenCASCADE");
General.Terminal = 1;
Mesh.Algorithm3D = 1;
Mesh.Optimize = 1;
Mesh.RandomSeed = 1;
If (!Exists(size))
  size = 0.3;
EndIf
Mesh.CharacteristicLengthMin = size;
Mesh.CharacteristicLengthMax = size;
outer = newv; Sphere(outer) = {0, 0, 0, 1};
Rotate {{0.3, 1, 0.2}, {0, 0, 0}, 0.4} { Volume{outer}; }
Dilate {{0, 0, 0}, {3.0, 5.0, 3.0}} { Volume{outer}; }
inner = newv; Sphere(inner) = {0, 0, 0, 1};
Rotate {{0.3, 1, 0.2}, {0, 0, 0}, 1.3} { Volume{inner}; }
Dilate {{0, 0, 0}, {2.0, 4.0, 2.0}} { Volume{inner}; }
Translate {0, 0.3, 0} { Volume{inner}; }
BooleanDifference{ Volume{outer}; Delete; }{ Volume{inner}; Delete; }
