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
// A rotating icosahedron of glowing cyan dots and flickering edges.
void wire(glm::vec4& fragColor, glm::vec2 fragCoord, const ShaderCtx& ctx);
// Hexagonal rings that open with the upcoming notes, over a faint hexagonal grid.
void iris(glm::vec4& fragColor, glm::vec2 fragCoord, const ShaderCtx& ctx);

// The wipe patterns: grey pictures (r = g = b, alpha 1) that are never shown;
// the order of their grey levels becomes the order in which dots dissolve.

// A log-spherical fractal cloud.
void storm(glm::vec4& fragColor, glm::vec2 fragCoord, const ShaderCtx& ctx);
// A tunnel of folded sines.
void streak(glm::vec4& fragColor, glm::vec2 fragCoord, const ShaderCtx& ctx);
// A woven height field, shaded by its slope.
void weave(glm::vec4& fragColor, glm::vec2 fragCoord, const ShaderCtx& ctx);
// Drifting layers of spider web.
void web_a(glm::vec4& fragColor, glm::vec2 fragCoord, const ShaderCtx& ctx);
// Rotating cell rosettes on a plane twisted by its radius.
void spin(glm::vec4& fragColor, glm::vec2 fragCoord, const ShaderCtx& ctx);
// A lattice of glass spheres and rods that refracts two lights.
void glass(glm::vec4& fragColor, glm::vec2 fragCoord, const ShaderCtx& ctx);
// Tileable water caustics.
void caustic(glm::vec4& fragColor, glm::vec2 fragCoord, const ShaderCtx& ctx);
// Fog over a noise landscape, lit by a low sun.
void haze(glm::vec4& fragColor, glm::vec2 fragCoord, const ShaderCtx& ctx);

}  // namespace shadertoy
