// The insides of the wire and iris shaders, for their tests. Both are flat
// pictures in uv coordinates centred on the screen, y up, scaled by its
// height: wire's uv.y runs from -0.5 to 0.5, iris's from -1 to 1.
#pragma once

#include <glm/glm.hpp>

#include "shader/shader.h"

namespace shadertoy {

namespace wire_ns {
extern thread_local const ShaderCtx* _ctx;
// The icosahedron's vertices: rotated and pushed in front of the eye during
// a call, restored from their starting values at the start of the next.
extern thread_local glm::vec3 points[12];
void _resetGlobals();
// Two vertex indices drawn for try s at a time, and whether the choice of
// edges ends with this try.
struct Edge {
    int i, j;
    bool last;
};
Edge edgePair(float time, int s);
glm::vec3 hash3d(glm::vec3 p);
float sdSegment(glm::vec2 p, glm::vec2 a, glm::vec2 b);
// Pulses (two beats each at 175 per minute) since time 0.
float pulseCount(float time);
// The turn at pulse count c, radians.
float pulseAngle(float c);
void mainImage(glm::vec4& fragColor, glm::vec2 fragCoord);
}  // namespace wire_ns

namespace iris_ns {
extern thread_local const ShaderCtx* _ctx;
glm::vec2 hash2(float x);
float hexSD(glm::vec2 q, float r);
glm::vec2 hexFold(glm::vec2 q, float s);
// One expanding hexagonal ring.
struct Ring {
    float phase;       // 0 as it appears, 1 as it vanishes
    float size;        // inner radius of the hexagon, in uv units
    float fade;        // brightness factor, 0 at both ends of its life
    float spin;        // its turn, radians
    glm::vec2 offset;  // its centre
    bool inner;        // with a second ring at 0.56 of its size
    float shimmer;     // seed of its shimmer's phase
};
// The ring of one note group (time, pitch, flag, velocity) at time T; false
// when the note draws nothing then.
bool noteRing(const float* group, float T, Ring& ring);
// Ring i (0 to 6) of the rings that bloom without music.
Ring autoRing(int i, float T);
// How close uv lies to the ring's outline: 1 on it, falling off outside.
float ringIntensity(glm::vec2 uv, const Ring& ring);
glm::vec3 noteRingLight(glm::vec2 uv, float theta, float T, const Ring& ring, float pitch);
glm::vec3 autoRingLight(glm::vec2 uv, float theta, float T, const Ring& ring);
// A ring's colour for a pitch normalised to 0..1.
glm::vec3 pitchColour(float n);
// The colour the most recent note adds, from params[48] and params[52..55].
glm::vec3 noteFlash(const float* params);
void mainImage(glm::vec4& fragColor, glm::vec2 fragCoord);
}  // namespace iris_ns

}  // namespace shadertoy
