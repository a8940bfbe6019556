// Synthetic four-chamber heart for Velmora's bundled model "ModelB".
// Long axis along +y (apex at low y, atria above the base plane); units are arbitrary, Velmora
// normalises the size on load. Every ellipsoid is a unit sphere turned to its own generic angle
// (so the seams of different shells never coincide), then dilated and moved; every boolean cut is
// transversal, which the tetrahedral mesher needs.
SetFactory("OpenCASCADE");
General.Terminal = 1;
Mesh.Algorithm3D = 1;           // Delaunay
Mesh.Optimize = 1;
Mesh.RandomSeed = 1;
Mesh.CharacteristicLengthMin = 0.27;
Mesh.CharacteristicLengthMax = 0.34;

baseY = 1.5;     // ventricular base plane
capY = 1.1;      // top of the ventricular cavities (base plate from capY to baseY)

// Left ventricle.
lvOut = newv; Sphere(lvOut) = {0, 0, 0, 1};
Rotate {{0.3, 1, 0.2}, {0, 0, 0}, 0.4} { Volume{lvOut}; }
Dilate {{0, 0, 0}, {2.7, 4.5, 2.7}} { Volume{lvOut}; }
Translate {0, 0, 0} { Volume{lvOut}; }
lvCav = newv; Sphere(lvCav) = {0, 0, 0, 1};
Rotate {{0.3, 1, 0.2}, {0, 0, 0}, 1.1} { Volume{lvCav}; }
Dilate {{0, 0, 0}, {1.8, 3.7, 1.8}} { Volume{lvCav}; }
Translate {0, 0.15, 0} { Volume{lvCav}; }
lvSeptum = newv; Sphere(lvSeptum) = {0, 0, 0, 1};
Rotate {{0.3, 1, 0.2}, {0, 0, 0}, 1.9} { Volume{lvSeptum}; }
Dilate {{0, 0, 0}, {2.95, 4.75, 2.95}} { Volume{lvSeptum}; }
Translate {0, 0, 0} { Volume{lvSeptum}; }
// Right ventricle, wrapped as a crescent on the left ventricle's -x side.
rvOut = newv; Sphere(rvOut) = {0, 0, 0, 1};
Rotate {{0.3, 1, 0.2}, {0, 0, 0}, 2.6} { Volume{rvOut}; }
Dilate {{0, 0, 0}, {2.9, 3.9, 3.1}} { Volume{rvOut}; }
Translate {-2.2, 0.2, 0} { Volume{rvOut}; }
rvIn = newv; Sphere(rvIn) = {0, 0, 0, 1};
Rotate {{0.3, 1, 0.2}, {0, 0, 0}, 3.3} { Volume{rvIn}; }
Dilate {{0, 0, 0}, {2.1, 3.2, 2.5}} { Volume{rvIn}; }
Translate {-2.45, 0.45, 0} { Volume{rvIn}; }
// Atria above the base.
laOut = newv; Sphere(laOut) = {0, 0, 0, 1};
Rotate {{0.3, 1, 0.2}, {0, 0, 0}, 4.1} { Volume{laOut}; }
Dilate {{0, 0, 0}, {1.9, 1.7, 1.9}} { Volume{laOut}; }
Translate {0.6, 3.0, 0.1} { Volume{laOut}; }
laCav = newv; Sphere(laCav) = {0, 0, 0, 1};
Rotate {{0.3, 1, 0.2}, {0, 0, 0}, 4.8} { Volume{laCav}; }
Dilate {{0, 0, 0}, {1.35, 1.15, 1.35}} { Volume{laCav}; }
Translate {0.6, 3.15, 0.1} { Volume{laCav}; }
raOut = newv; Sphere(raOut) = {0, 0, 0, 1};
Rotate {{0.3, 1, 0.2}, {0, 0, 0}, 5.5} { Volume{raOut}; }
Dilate {{0, 0, 0}, {1.9, 1.7, 1.9}} { Volume{raOut}; }
Translate {-2.8, 3.0, -0.1} { Volume{raOut}; }
raCav = newv; Sphere(raCav) = {0, 0, 0, 1};
Rotate {{0.3, 1, 0.2}, {0, 0, 0}, 0.9} { Volume{raCav}; }
Dilate {{0, 0, 0}, {1.35, 1.15, 1.35}} { Volume{raCav}; }
Translate {-2.8, 3.15, -0.1} { Volume{raCav}; }

// Half-spaces below the base plane and below the cavity caps.
belowBase = newv; Box(belowBase) = {-20, -20, -20, 40, 20 + baseY, 40};
belowCap1 = newv; Box(belowCap1) = {-20, -20, -20, 40, 20 + capY, 40};
belowCap2 = newv; Box(belowCap2) = {-20, -20, -20, 40, 20 + capY, 40};

ventUnion() = BooleanUnion{ Volume{lvOut}; Delete; }{ Volume{rvOut}; Delete; };
Printf("ventricle union: %g volumes", #ventUnion());
ventricles() = BooleanIntersection{ Volume{ventUnion()}; Delete; }{ Volume{belowBase}; Delete; };
Printf("ventricles: %g volumes", #ventricles());
body() = BooleanUnion{ Volume{ventricles()}; Delete; }{ Volume{laOut, raOut}; Delete; };
Printf("body: %g volumes", #body());

lvCavity() = BooleanIntersection{ Volume{lvCav}; Delete; }{ Volume{belowCap1}; Delete; };
Printf("lv cavity: %g volumes", #lvCavity());
rvCrescent() = BooleanDifference{ Volume{rvIn}; Delete; }{ Volume{lvSeptum}; Delete; };
rvCavity() = BooleanIntersection{ Volume{rvCrescent()}; Delete; }{ Volume{belowCap2}; Delete; };
Printf("rv cavity: %g volumes", #rvCavity());

heart() = BooleanDifference{ Volume{body()}; Delete; }{ Volume{lvCavity(), rvCavity(), laCav, raCav}; Delete; };
Printf("heart: %g volumes", #heart());
all() = Volume{:};
Printf("all volumes: %g", #all());
Physical Volume("myocardium") = {heart()};
