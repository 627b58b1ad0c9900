// The insides of the orb shaders, for their tests: both sphere-trace a signed
// distance field from a camera that spins with the pulse count
// B = time * 87.5 / 60 (one pulse every two beats at 175 BPM).
#pragma once

#include <glm/glm.hpp>

#include "shader/shader.h"

namespace shadertoy {

namespace orb_common {
// The spin angle at a time: a steady turn with a wobble in step with the pulses.
float spinAngle(float time);
// The brightness factor of the flash at pulse count B: 1.2 as a pulse starts.
float pulseFlash(float B);
}  // namespace orb_common

namespace orb_ns {
extern thread_local const ShaderCtx* _ctx;
extern thread_local glm::mat3 globalRot, globalInvRot;
// Sets both rotations for a time.
void setRotations(float time);
// The camera ray through a dot, with the current rotation.
void cameraRay(glm::vec2 fragCoord, glm::vec3& ro, glm::vec3& rd);
float SDF(glm::vec3 p);
glm::vec4 render(glm::vec2 fragCoord);
void mainImage(glm::vec4& fragColor, glm::vec2 fragCoord);
}  // namespace orb_ns

namespace orb_cells_ns {
extern thread_local const ShaderCtx* _ctx;
extern thread_local glm::mat3 globalRot, globalInvRot;
void setRotations(float time);
void cameraRay(glm::vec2 fragCoord, glm::vec3& ro, glm::vec3& rd);
float SDF(glm::vec3 p);
glm::vec4 render(glm::vec2 fragCoord);
void mainImage(glm::vec4& fragColor, glm::vec2 fragCoord);
}  // namespace orb_cells_ns

}  // namespace shadertoy
