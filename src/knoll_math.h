// Vector, matrix and quaternion operations shared by the camera, the light,
// the terrain mesh and the render passes.
//
// Conventions:
//   - Mat4 is column-major, m[c][r]: first index the column, second the row.
//     The array is handed to glUniformMatrix4fv untransposed; m[3][0..2] is
//     the translation.
//   - Points and directions are column vectors; M transforms p as M * p.
//   - Right-handed world, +Y up. The identity camera looks along -Z with +X
//     to its right.
//   - Angles are radians. Single precision throughout (sinf, cosf, tanf,
//     sqrtf), sums taken in the order x, y, z.
//   - Quat is (x, y, z, w): the vector part first, the scalar last.
//   - Small structs go by value; matrices are written into caller storage.
#pragma once

#include <math.h>

// ------------------------------------------------------------ constants ----

// M_PI is POSIX, not standard C or C++: Windows' C library has none by default.
static const double PI = 3.14159265358979323846;

// ---------------------------------------------------------------- types ----

struct Vec2 {
    float x, y;
};

struct Vec3 {
    float x, y, z;
};

struct Vec4 {
    float x, y, z, w;
};

struct Quat {
    float x, y, z, w;
};

struct Mat4 {
    float m[4][4];
};

// -------------------------------------------------------------- vectors ----

static inline Vec2 vec2Subtract(Vec2 a, Vec2 b) { return {a.x - b.x, a.y - b.y}; }

static inline Vec3 vec3Zero(void) { return {0.0f, 0.0f, 0.0f}; }

static inline Vec3 vec3Add(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }

static inline Vec3 vec3Subtract(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

static inline Vec3 vec3Multiply(Vec3 v, float s) { return {v.x * s, v.y * s, v.z * s}; }

static inline float vec3DotProduct(Vec3 a, Vec3 b) {
    float sum = 0.0f;
    sum += a.x * b.x;
    sum += a.y * b.y;
    sum += a.z * b.z;
    return sum;
}

static inline float vec3Length(Vec3 v) { return sqrtf(vec3DotProduct(v, v)); }

// No guard for the zero vector: it yields non-finite components.
static inline Vec3 vec3Normalize(Vec3 v) {
    float inv = 1.0f / vec3Length(v);
    return {v.x * inv, v.y * inv, v.z * inv};
}

static inline Vec3 vec3CrossProduct(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

static inline Vec3 vec3Mix(Vec3 a, Vec3 b, float t) {
    return vec3Add(a, vec3Multiply(vec3Subtract(b, a), t));
}

static inline Vec3 a3v3(const float *a) { return {a[0], a[1], a[2]}; }

static inline Vec2 a2v2(const float *a) { return {a[0], a[1]}; }

static inline void v3a3(float *a, Vec3 v) {
    a[0] = v.x;
    a[1] = v.y;
    a[2] = v.z;
}

// ------------------------------------------------------------- matrices ----

static inline void mat4Zero(Mat4 *out) {
    for (int c = 0; c < 4; c++)
        for (int r = 0; r < 4; r++) out->m[c][r] = 0.0f;
}

static inline void mat4Copy(Mat4 *out, const Mat4 *src) { *out = *src; }

static inline void mat4Identity(Mat4 *out) {
    mat4Zero(out);
    for (int i = 0; i < 4; i++) out->m[i][i] = 1.0f;
}

// out = b * a: the transform that applies a first, then b. out must be
// neither a nor b, since it is written while they are read.
static inline void mat4MultiplyMatrix(Mat4 *out, const Mat4 *a, const Mat4 *b) {
    for (int i = 0; i < 4; i++) {
        for (int j = 0; j < 4; j++) {
            float sum = a->m[i][0] * b->m[0][j];
            for (int k = 1; k < 4; k++) sum += a->m[i][k] * b->m[k][j];
            out->m[i][j] = sum;
        }
    }
}

static inline Vec4 mat4GetRow(const Mat4 *m, int r) {
    return {m->m[0][r], m->m[1][r], m->m[2][r], m->m[3][r]};
}

// A positive angle turns +X towards -Z.
static inline void mat4SetRotationY(Mat4 *out, float angle) {
    float c = cosf(angle), s = sinf(angle);
    mat4Identity(out);
    out->m[0][0] = c;
    out->m[0][2] = -s;
    out->m[2][0] = s;
    out->m[2][2] = c;
}

static inline void mat4RotateY(Mat4 *out, float angle) {
    Mat4 old, rot;
    mat4Copy(&old, out);
    mat4SetRotationY(&rot, angle);
    mat4MultiplyMatrix(out, &old, &rot);
}

static inline void mat4SetTranslation(Mat4 *out, Vec3 v) {
    mat4Identity(out);
    out->m[3][0] = v.x;
    out->m[3][1] = v.y;
    out->m[3][2] = v.z;
}

static inline void mat4Translate(Mat4 *out, Vec3 v) {
    Mat4 old, move;
    mat4Copy(&old, out);
    mat4SetTranslation(&move, v);
    mat4MultiplyMatrix(out, &old, &move);
}

static inline void mat4SetScale(Mat4 *out, float s) {
    mat4Zero(out);
    out->m[0][0] = s;
    out->m[1][1] = s;
    out->m[2][2] = s;
    out->m[3][3] = 1.0f;
}

// OpenGL mapping: eye z = -near goes to depth -1, z = -far to +1.
static inline void mat4Perspective(Mat4 *out, float fovy, float aspect, float near, float far) {
    float f = 1.0f / tanf(0.5f * fovy);
    mat4Zero(out);
    out->m[0][0] = f / aspect;
    out->m[1][1] = f;
    out->m[2][2] = -(far + near) / (far - near);
    out->m[2][3] = -1.0f;
    out->m[3][2] = -((2.0f * far) * near) / (far - near);
}

static inline void mat4LookAt(Mat4 *out, Vec3 eye, Vec3 center, Vec3 up) {
    Vec3 f = vec3Normalize(vec3Subtract(center, eye));
    Vec3 s = vec3Normalize(vec3CrossProduct(f, up));
    Vec3 u = vec3CrossProduct(s, f);
    mat4Identity(out);
    out->m[0][0] = s.x;
    out->m[0][1] = u.x;
    out->m[0][2] = -f.x;
    out->m[1][0] = s.y;
    out->m[1][1] = u.y;
    out->m[1][2] = -f.y;
    out->m[2][0] = s.z;
    out->m[2][1] = u.z;
    out->m[2][2] = -f.z;
    for (int r = 0; r < 3; r++) {
        Vec4 row = mat4GetRow(out, r);
        out->m[3][r] = -vec3DotProduct({row.x, row.y, row.z}, eye);
    }
}

static inline void mat4Ortho(Mat4 *out, float left, float right, float bottom, float top,
                             float near, float far) {
    mat4Zero(out);
    out->m[0][0] = 2.0f / (right - left);
    out->m[1][1] = 2.0f / (top - bottom);
    out->m[2][2] = -2.0f / (far - near);
    out->m[3][0] = -(right + left) / (right - left);
    out->m[3][1] = -(top + bottom) / (top - bottom);
    out->m[3][2] = -(far + near) / (far - near);
    out->m[3][3] = 1.0f;
}

// ---------------------------------------------------------- quaternions ----

// The axis is taken as given; callers pass unit axes.
static inline Quat quatRotate(Vec3 axis, float angle) {
    float h = 0.5f * angle;
    float s = sinf(h);
    return {axis.x * s, axis.y * s, axis.z * s, cosf(h)};
}

// Hamilton product p * q: rotates by q first, then by p.
static inline Quat quatMultiply(Quat p, Quat q) {
    Vec3 pv = {p.x, p.y, p.z}, qv = {q.x, q.y, q.z};
    Vec3 v =
        vec3Add(vec3Add(vec3CrossProduct(pv, qv), vec3Multiply(pv, q.w)), vec3Multiply(qv, p.w));
    return {v.x, v.y, v.z, p.w * q.w - vec3DotProduct(pv, qv)};
}

// Composes on the right, so the axis is in q's own frame.
static inline Quat quatAddRotation(Quat q, Vec3 axis, float angle) {
    return quatMultiply(q, quatRotate(axis, angle));
}

// Rotates v by q; q is not normalised first.
static inline Vec3 quatMultiplyVector(Quat q, Vec3 v) {
    Vec3 qv = {q.x, q.y, q.z};
    Vec3 t = vec3Multiply(vec3CrossProduct(qv, v), 2.0f);
    return vec3Add(vec3Add(v, vec3Multiply(t, q.w)), vec3CrossProduct(qv, t));
}
