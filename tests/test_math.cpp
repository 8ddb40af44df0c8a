// Vectors, matrices and quaternions: conventions checked through what they do
// to concrete points.
#include <gtest/gtest.h>

#include <cmath>

#include "gl_fixture.h"
#include "knoll_math.h"

namespace {

const Vec3 AXIS_X = {1, 0, 0}, AXIS_Y = {0, 1, 0};

Vec4 apply(const Mat4 &m, Vec4 p) {
    float in[4] = {p.x, p.y, p.z, p.w}, out[4];
    for (int r = 0; r < 4; r++) {
        out[r] = 0.0f;
        for (int c = 0; c < 4; c++) out[r] += m.m[c][r] * in[c];
    }
    return {out[0], out[1], out[2], out[3]};
}

void expectMatNear(const Mat4 &a, const Mat4 &b, float eps) {
    for (int c = 0; c < 4; c++)
        for (int r = 0; r < 4; r++) EXPECT_NEAR(a.m[c][r], b.m[c][r], eps) << c << "," << r;
}

}  // namespace

TEST(MathTest, MathQuaternionRotations) {
    Quat none = quatRotate(AXIS_Y, 0.0f);
    EXPECT_EQ(none.x, 0.0f);
    EXPECT_EQ(none.y, 0.0f);
    EXPECT_EQ(none.z, 0.0f);
    EXPECT_EQ(none.w, 1.0f);
    Vec3 v = quatMultiplyVector(none, {1.5f, -2.0f, 3.25f});
    EXPECT_EQ(v.x, 1.5f);
    EXPECT_EQ(v.y, -2.0f);
    EXPECT_EQ(v.z, 3.25f);

    EXPECT_VEC3_NEAR(quatMultiplyVector(quatRotate(AXIS_Y, PI / 2), {0, 0, -1}), -1, 0, 0, 1e-6);

    // p * q rotates by q first: X then Y takes -Z to +Y (the Y turn leaves it),
    // Y then X takes -Z to -X (the X turn leaves it).
    Quat rx = quatRotate(AXIS_X, PI / 2), ry = quatRotate(AXIS_Y, PI / 2);
    EXPECT_VEC3_NEAR(quatMultiplyVector(quatMultiply(ry, rx), {0, 0, -1}), 0, 1, 0, 1e-6);
    EXPECT_VEC3_NEAR(quatMultiplyVector(quatMultiply(rx, ry), {0, 0, -1}), -1, 0, 0, 1e-6);

    // Camera orientation: pitch about the camera's own X, then yaw about the
    // world's Y, so the view direction is the spherical one.
    const float yaw = 0.7f, pitch = 0.4f;
    Vec3 view =
        quatMultiplyVector(quatAddRotation(quatRotate(AXIS_Y, yaw), AXIS_X, pitch), {0, 0, -1});
    EXPECT_VEC3_NEAR(view, -std::sin(yaw) * std::cos(pitch), std::sin(pitch),
                     -std::cos(yaw) * std::cos(pitch), 1e-5);
    // The camera's right vector stays horizontal whatever the pitch.
    Vec3 right =
        quatMultiplyVector(quatAddRotation(quatRotate(AXIS_Y, yaw), AXIS_X, pitch), {1, 0, 0});
    EXPECT_VEC3_NEAR(right, std::cos(yaw), 0, -std::sin(yaw), 1e-5);
}

TEST(MathTest, MathMatrixComposition) {
    Mat4 m;
    mat4SetScale(&m, 2.0f);
    mat4RotateY(&m, PI / 2);
    mat4Translate(&m, {4, 0, 4});
    Vec4 p = apply(m, {1, 0, 0, 1});
    EXPECT_NEAR(p.x, 4.0f, 1e-5);
    EXPECT_NEAR(p.y, 0.0f, 1e-5);
    EXPECT_NEAR(p.z, 2.0f, 1e-5);
    EXPECT_EQ(p.w, 1.0f);

    // The in-place operations apply after what the matrix already holds.
    mat4SetTranslation(&m, {1, 0, 0});
    mat4RotateY(&m, PI / 2);
    p = apply(m, {1, 0, 0, 1});
    EXPECT_NEAR(p.x, 0.0f, 1e-5);
    EXPECT_NEAR(p.z, -2.0f, 1e-5);

    Mat4 rot;
    mat4SetRotationY(&rot, 0.5f);
    Vec4 turned = apply(rot, {1, 0, 0, 1});
    EXPECT_GT(turned.x, 0.0f);
    EXPECT_LT(turned.z, 0.0f);
    EXPECT_NEAR(turned.z, -std::sin(0.5f), 1e-6);

    Mat4 id, out;
    mat4Identity(&id);
    mat4SetTranslation(&m, {1, 2, 3});
    mat4MultiplyMatrix(&out, &id, &m);
    expectMatNear(out, m, 0);
    mat4MultiplyMatrix(&out, &m, &id);
    expectMatNear(out, m, 0);

    // a is applied first: translating (1,0,0) by +X then turning a quarter
    // about Y lands on -Z; the other order lands off the axis.
    Mat4 move, quarter, both;
    mat4SetTranslation(&move, {1, 0, 0});
    mat4SetRotationY(&quarter, PI / 2);
    mat4MultiplyMatrix(&both, &move, &quarter);
    Vec4 a = apply(both, {1, 0, 0, 1});
    EXPECT_NEAR(a.x, 0.0f, 1e-5);
    EXPECT_NEAR(a.z, -2.0f, 1e-5);
    mat4MultiplyMatrix(&both, &quarter, &move);
    Vec4 b = apply(both, {1, 0, 0, 1});
    EXPECT_NEAR(b.x, 1.0f, 1e-5);
    EXPECT_NEAR(b.z, -1.0f, 1e-5);
}

TEST(MathTest, MathProjectionAndView) {
    Mat4 m;
    mat4Perspective(&m, PI / 2, 1.0f, 0.0625f, 64.0f);
    EXPECT_FLOAT_EQ(m.m[0][0], 1.0f);
    EXPECT_FLOAT_EQ(m.m[1][1], 1.0f);
    EXPECT_FLOAT_EQ(m.m[2][2], -64.0625f / 63.9375f);
    EXPECT_EQ(m.m[2][3], -1.0f);
    EXPECT_FLOAT_EQ(m.m[3][2], -8.0f / 63.9375f);
    EXPECT_EQ(m.m[3][3], 0.0f);
    Vec4 near_pt = apply(m, {0, 0, -0.0625f, 1}), far_pt = apply(m, {0, 0, -64, 1});
    EXPECT_NEAR(near_pt.z / near_pt.w, -1.0f, 1e-5);
    EXPECT_NEAR(far_pt.z / far_pt.w, 1.0f, 1e-5);

    Mat4 id;
    mat4Identity(&id);
    mat4LookAt(&m, {0, 0, 0}, {0, 0, -1}, {0, 1, 0});
    expectMatNear(m, id, 0);
    mat4LookAt(&m, {1, 2, 3}, {1, 2, 2}, {0, 1, 0});
    Mat4 shifted = id;
    shifted.m[3][0] = -1;
    shifted.m[3][1] = -2;
    shifted.m[3][2] = -3;
    expectMatNear(m, shifted, 0);

    mat4Ortho(&m, -3, 5, -2, 6, 1, 9);
    const float xs[2] = {-3, 5}, ys[2] = {-2, 6}, zs[2] = {-1, -9};
    for (int i = 0; i < 8; i++) {
        Vec4 c = apply(m, {xs[i & 1], ys[(i >> 1) & 1], zs[i >> 2], 1});
        EXPECT_NEAR(c.x, (i & 1) ? 1.0f : -1.0f, 1e-6);
        EXPECT_NEAR(c.y, ((i >> 1) & 1) ? 1.0f : -1.0f, 1e-6);
        EXPECT_NEAR(c.z, (i >> 2) ? 1.0f : -1.0f, 1e-6);
        EXPECT_EQ(c.w, 1.0f);
    }
}

TEST(MathTest, MathVectors) {
    Vec3 a = {0.1f, -7.3f, 1e-3f};
    Vec3 same = vec3Mix(a, a, 0.25f);
    EXPECT_EQ(same.x, a.x);
    EXPECT_EQ(same.y, a.y);
    EXPECT_EQ(same.z, a.z);
    EXPECT_VEC3_NEAR(vec3Mix({0, 0, 0}, {4, 8, -4}, 0.25f), 1, 2, -1, 0);
    EXPECT_VEC3_NEAR(vec3Mix({1, 1, 1}, {3, 5, 7}, 1.0f), 3, 5, 7, 0);

    EXPECT_VEC3_NEAR(vec3CrossProduct({1, 0, 0}, {0, 1, 0}), 0, 0, 1, 0);
    EXPECT_FLOAT_EQ(vec3Length({3, 4, 12}), 13.0f);
    EXPECT_VEC3_NEAR(vec3Normalize({0, -5, 0}), 0, -1, 0, 0);
}
