// The show's shaders, each a ShaderFn. Every shader lives in its own
// namespace shadertoy::<name>_ns with shading-language style helpers and an
// entry mainImage, and keeps its mutable globals thread-local; the functions
// here store the context for the calling thread and call mainImage.
#pragma once

#include "shader/shader.h"

namespace shadertoy {

// A tumbling polyhedral shell with hexagonal holes, seen from outside, in
// cyan glow; it flashes every two beats.
void orb(glm::vec4& fragColor, glm::vec2 fragCoord, const ShaderCtx& ctx);
// The same light inside a bubbly cellular shell, with a zoom kick per pulse.
void orb_cells(glm::vec4& fragColor, glm::vec2 fragCoord, const ShaderCtx& ctx);

}  // namespace shadertoy
