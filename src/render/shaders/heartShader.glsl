// heartShader.glsl: the heart muscle of the standard view.
//
// Both programs live in this file. The program compiles it twice: once with VERTEX_PROGRAM defined
// and "Vert_Main" as the entry point, once with FRAGMENT_PROGRAM and "Frag_Main". Fixed-function
// state supplies the rest: the two scene lights (gl_LightSource[0..1], placed in eye space) and the
// front material, whose diffuse and ambient alpha carry the opacity as well.
//
// Per vertex: position, normal, and one texture coordinate holding the contraction amplitude
// (1 healthy muscle, 0 no contraction, negative stretched).

uniform mat4 modelViewMat;  // model-view-projection
uniform mat4 modelToWorld;  // model-view

struct HeartUniforms {
    vec3 eyePos;  // camera eye in model coordinates
    float trans;  // opacity, 0..1
};
uniform HeartUniforms unif;

// Lighting runs per vertex (the surface is finely tessellated); the fragment program only adds the
// translucency, which keeps the per-pixel work small on software rasterisers.
varying vec3 litColour;
varying vec3 highlight;
varying float rimWeight;

#ifdef VERTEX_PROGRAM
const vec3 kMuscle = vec3(0.80, 0.20, 0.17);     // amplitude 1
const vec3 kPale = vec3(0.94, 0.87, 0.76);       // amplitude 0: a painted infarct
const vec3 kStretched = vec3(0.45, 0.38, 0.80);  // amplitude -1

vec3 muscleColour(float a) {
    if (a >= 0.0) return mix(kPale, kMuscle, clamp(a, 0.0, 1.0));
    return mix(kPale, kStretched, clamp(-a, 0.0, 1.0));
}

void Vert_Main() {
    gl_Position = modelViewMat * gl_Vertex;
    vec4 p = modelToWorld * gl_Vertex;
    vec3 viewPosition = p.xyz / p.w;
    vec3 n = normalize(mat3(modelToWorld) * gl_Normal);
    vec3 toEye = normalize(-viewPosition);

    vec3 ambient = gl_LightModel.ambient.rgb * gl_FrontMaterial.ambient.rgb;
    vec3 diffuse = vec3(0.0);
    vec3 specular = vec3(0.0);
    for (int i = 0; i < 2; ++i) {
        vec4 lp = gl_LightSource[i].position;
        vec3 toLight = normalize(lp.xyz - viewPosition * lp.w);
        float lambert = max(dot(n, toLight), 0.0);
        ambient += gl_LightSource[i].ambient.rgb * gl_FrontMaterial.ambient.rgb;
        diffuse += lambert * gl_LightSource[i].diffuse.rgb * gl_FrontMaterial.diffuse.rgb;
        if (lambert > 0.0) {
            vec3 halfway = normalize(toLight + toEye);
            float shine = pow(max(dot(n, halfway), 0.0), gl_FrontMaterial.shininess);
            specular += shine * gl_LightSource[i].specular.rgb * gl_FrontMaterial.specular.rgb;
        }
    }
    litColour = muscleColour(gl_MultiTexCoord0.s) * (ambient + diffuse);
    highlight = 0.5 * specular;

    // Seen at a grazing angle the wall is thicker along the line of sight.
    vec3 toEyeModel = normalize(unif.eyePos - gl_Vertex.xyz);
    float rim = 1.0 - abs(dot(normalize(gl_Normal), toEyeModel));
    rimWeight = rim * rim * rim;
}
#endif

#ifdef FRAGMENT_PROGRAM
void Frag_Main() {
    // A translucent heart keeps a firmer, slightly darker outline.
    vec3 colour = (litColour + highlight) * (1.0 - 0.25 * rimWeight);
    float alpha = clamp(unif.trans + (1.0 - unif.trans) * 0.6 * rimWeight, 0.0, 1.0);
    gl_FragColor = vec4(clamp(colour, 0.0, 1.0), alpha);
}
#endif
