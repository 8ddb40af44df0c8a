// The blur's kernel, a Gaussian of sigma 2 with two taps each side: the
// weights a * exp(-i^2 / (2 sigma^2)) of the taps i = 0, 1, 2, by the
// incremental Gaussian (each step multiplies by y, and y by y^2).
vec3 gaussWeights() {
    const float PI = 3.14159265359;
    const float sigma = 2.0;
    float y = exp(-0.5 / (sigma * sigma));
    float w0 = 1.0 / (sqrt(2.0 * PI) * sigma);
    float w1 = w0 * y;
    return vec3(w0, w1, w1 * y * y * y);
}
