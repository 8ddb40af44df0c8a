// Caps the footprint that a 2 x 2 pixel quad gives a repeating texture.
//
// llvmpipe's anisotropic filter (Mesa 22) sizes its loop over texels from
// the coordinate differences across each quad, with no upper bound. Where a
// triangle is seen edge-on, the quad's pixels outside it still get
// coordinates, extrapolated past its horizon to a thousand periods away, and
// that one quad's lookups take seconds. Taking whole periods off a coordinate
// of a repeating texture leaves the texels it reads unchanged, so a pixel
// more than two periods from its quad's first pixel is brought back to
// between one and two periods from it: the footprint the sampler sees stays
// within a few periods, yet still spans more than one, so the filter still
// returns the texture's average there. Quads within two periods keep their
// coordinates bit for bit. Measured with Mesa 22.3 at aniso_level 16 over
// the 128 poses of bench/poses.txt: the slowest frame took 52 s of CPU time
// without this and 0.63 s with it, and 3 pixels of all those frames changed
// by more than 3/255.
//
// GLSL's derivatives are per row and per column of the quad while the
// sampler's are per quad, so each pixel first finds its place in the quad
// and measures its distance from the quad's first pixel; wrapping every
// pixel on its own would move quads that were fine and make them wide.

// The pixel's place in its quad, 0 or 1 along x and y, with (0, 0) the pixel
// that dFdx and dFdy subtract. The quad grid is the rasteriser's own, whose
// rows need not start at an even window row, hence the derivative's sign.
vec2 quadPlace() {
    vec2 parity = mod(floor(gl_FragCoord.xy), 2.0);
    vec2 rising = vec2(dFdx(parity.x), dFdy(parity.y));
    return mix(1.0 - parity, parity, greaterThan(rising, vec2(0.0)));
}

// coord, a coordinate with period 1 on a repeating texture, less whole
// periods so that it lies less than two periods from the quad's first pixel.
// Call it in uniform control flow, as for any derivative.
vec2 wrapInQuad(vec2 coord) {
    vec2 place = quadPlace();
    vec2 dx = dFdx(coord), dy = dFdy(coord);
    vec2 from_first = place.x * dx + place.y * (dy - place.x * dFdy(dx));
    vec2 periods = max(floor(abs(from_first) - 1.0), 0.0);
    return mix(coord, coord - sign(from_first) * periods, greaterThan(periods, vec2(0.0)));
}
