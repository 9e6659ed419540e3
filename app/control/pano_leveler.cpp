#include "app/control/pano_leveler.h"

#include "core/logger.h"
#include "platform/panocore/img_info.h"
#include "platform/xformkit/transform_3d.h"
#include "platform/xformkit/transform_euler.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"

#include <cmath>
#include <cstring>
#include <new>

namespace {

// Single-precision constants of the leveling: a half turn, its quarter and
// 100 degrees, as the direct path has always compared them.
constexpr float kHalfTurn = 3.1415925f;
constexpr float kQuarterHalfTurn = 0.7853981f;
constexpr float kHundredDegrees = 1.7453291f;
constexpr float kStepLimit = 0.05f;  // radians per pass
constexpr int kMaxPassIndex = 50;
constexpr int kMaxHalvings = 21;

// The leveling frame (down, right, forward) and the frames' world frame
// (right, down, forward) differ by swapping the first two axes; the swap is
// its own inverse.
int Swap(int i)
{
    return i == 0 ? 1 : (i == 1 ? 0 : 2);
}

// m (leveling frame) as a world-frame rotation.
void ToWorld(const float m[9], float out[9])
{
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) out[3 * i + j] = m[3 * Swap(i) + Swap(j)];
}

void Multiply(const float a[9], const float b[9], float out[9])
{
    float r[9];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r[3 * i + j] = a[3 * i] * b[j] + a[3 * i + 1] * b[3 + j] + a[3 * i + 2] * b[6 + j];
    std::memcpy(out, r, sizeof r);
}

bool AllFinite(const float* v, int n)
{
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(v[i])) return false;
    return true;
}

// The frame's rotation becomes (leveling-frame) m times its rotation, with
// its focal value unchanged.
void RotateFrame(const float m[9], ImageFrame* frame)
{
    IImgInfo* info = frame ? frame->GetImgInfo() : nullptr;
    if (!info) return;
    if (!AllFinite(m, 9)) {
        Logger::log("ERROR PanoLeveler: non-finite rotation not applied", 1);
        return;
    }
    float world[9], rotation[9];
    ToWorld(m, world);
    info->GetRotation(rotation);
    const float focal = info->GetFocal();
    Multiply(world, rotation, rotation);
    info->SetRotation(focal, rotation);
}

}  // namespace

void SolveTwoByTwo(const float normal[4], const float right[2], float step[2])
{
    const float a11 = normal[0], a12 = normal[1], a21 = normal[2], a22 = normal[3];
    const float det = a11 * a22 - a12 * a21;
    const float scale = a11 * a11 + a22 * a22 + a12 * a12;
    step[0] = step[1] = 0.0f;
    // All view axes alike: no direction to turn in.
    if (!std::isfinite(det) || std::fabs(det) <= 1e-12f * scale || det == 0.0f) return;
    const float s1 = (right[0] * a22 - right[1] * a12) / det;
    const float s2 = (a11 * right[1] - a21 * right[0]) / det;
    if (!std::isfinite(s1) || !std::isfinite(s2)) return;
    step[0] = s1;
    step[1] = s2;
}

void ApplyLevelingToFrames(float angle, float pan, float tilt, const int* list, int count, ImageGroup* group)
{
    if (!list || !group) return;
    float r[9];
    CTransform3D::CalcMatrixRotZYX(-angle, tilt, -pan, r);
    for (int k = 0; k < count; ++k) RotateFrame(r, group->GetImageFrame(list[k]));
}

void RotateFrameByMatrix(const float M[9], float saved[3], ImageFrame* frame)
{
    IImgInfo* info = frame ? frame->GetImgInfo() : nullptr;
    if (!info || !saved || !M) {
        Logger::log("ERROR RotateFrameByMatrix: no frame, matrix or saved angles", 1);
        return;
    }
    const TRANSFORM_RS* rs = info->GetParams();
    saved[0] = rs->pan;
    saved[1] = rs->tilt;
    saved[2] = rs->roll;
    RotateFrame(M, frame);
}

void RestoreFrameAngles(const float saved[3], ImageFrame* frame)
{
    IImgInfo* info = frame ? frame->GetImgInfo() : nullptr;
    if (!info || !saved) {
        Logger::log("ERROR RestoreFrameAngles: no frame or saved angles", 1);
        return;
    }
    TRANSFORM_RS* rs = info->GetParams();
    rs->pan = saved[0];
    rs->tilt = saved[1];
    rs->roll = saved[2];
}

PanoLeveler::~PanoLeveler()
{
    delete[] m_axes;
    delete[] m_list;
}

void PanoLeveler::SetMatrix(const float m[9])
{
    std::memcpy(m_matrix, m, sizeof m_matrix);
}

bool PanoLeveler::Solve(ImageGroup* group, float tolerance)
{
    const int prepared = Prepare(group);
    if (prepared < 0) return false;
    if (prepared > 0) return true;
    CollectAxes();
    Iterate(tolerance);
    return true;
}

int PanoLeveler::Prepare(ImageGroup* group)
{
    m_group = group;
    if (!group || group->GetNumbOfImages() <= 0) return -1;
    delete[] m_list;
    m_list = new int32_t[group->GetNumbOfImages()];
    int count = 0, pairs = 0;
    group->GetMergedImages(m_list, count, pairs);
    m_count = count;
    if (pairs < 1 || count <= 0) {
        delete[] m_list;
        m_list = nullptr;
        m_count = 0;
        return -1;
    }
    if (pairs >= 3) return 0;
    ImageFrame* a = group->GetImageFrame(m_list[0]);
    ImageFrame* b = group->GetImageFrame(m_list[count - 1]);
    if (!a || !b || !a->GetImgInfo() || !b->GetImgInfo()) return 0;
    const TRANSFORM_RS* ta = a->GetImgInfo()->GetParams();
    const TRANSFORM_RS* tb = b->GetImgInfo()->GetParams();
    const POINT2 pa{ta->pan, ta->tilt}, pb{tb->pan, tb->tilt};
    float d = 0.0f, e = 0.0f, third = 0.0f;
    CTransformEuler::Euler2UVRtoRDR(&pa, ta->roll, &pb, tb->roll, &d, &e, &third);
    if (e < 0.0f) d = d < 0.0f ? d + kHalfTurn : d - kHalfTurn;
    // Frames facing opposite ways, or too far apart: the roll between them
    // says nothing about the horizon; fit instead. The deviation comes out
    // of its decomposition never positive; its size is the angle between
    // the two view axes, so that size is what is held against 100 degrees.
    if (std::fabs(std::fabs(d) - kHalfTurn) < kQuarterHalfTurn || std::fabs(e) > kHundredDegrees) return 0;
    // Turn the panorama about A's view axis until B's axis has the vertical
    // component of A's: both frames then lie on one level circle.
    float ra[9], rb[9];
    a->GetImgInfo()->GetRotation(ra);
    b->GetImgInfo()->GetRotation(rb);
    const double u[3] = {ra[5], ra[2], ra[8]}, v[3] = {rb[5], rb[2], rb[8]};
    const double dot = u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
    const double cross0 = u[1] * v[2] - u[2] * v[1];
    const double k = u[0] * dot;
    const double ca = v[0] - k, sa = cross0, rhs = u[0] - k;
    const double amplitude = std::hypot(ca, sa);
    if (amplitude < 1e-9 || std::fabs(rhs) > amplitude) return 0;
    const double base = std::atan2(sa, ca), spread = std::acos(rhs / amplitude);
    const double t1 = std::remainder(base + spread, 2 * 3.14159265358979323846);
    const double t2 = std::remainder(base - spread, 2 * 3.14159265358979323846);
    const double theta = std::fabs(t1) < std::fabs(t2) ? t1 : t2;
    const double c = std::cos(theta), sn = std::sin(theta);
    float r[9];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double cross = 0.0;  // [u]x
            if (i == 0 && j == 1) cross = -u[2];
            if (i == 0 && j == 2) cross = u[1];
            if (i == 1 && j == 0) cross = u[2];
            if (i == 1 && j == 2) cross = -u[0];
            if (i == 2 && j == 0) cross = -u[1];
            if (i == 2 && j == 1) cross = u[0];
            r[3 * i + j] = static_cast<float>((i == j ? c : 0.0) + sn * cross + (1 - c) * u[i] * u[j]);
        }
    for (int i = 0; i < m_count; ++i) RotateFrame(r, group->GetImageFrame(m_list[i]));
    return 1;
}

void PanoLeveler::CollectAxes()
{
    static const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::memcpy(m_matrix, identity, sizeof m_matrix);
    delete[] m_axes;
    m_axes = new float[static_cast<size_t>(m_count) * 3];
    for (int k = 0; k < m_count; ++k) {
        float r[9] = {0, 0, 0, 0, 0, 0, 0, 0, 1};
        ImageFrame* frame = m_group ? m_group->GetImageFrame(m_list[k]) : nullptr;
        if (frame && frame->GetImgInfo()) frame->GetImgInfo()->GetRotation(r);
        // The view axis is the third column, (right, down, forward) in the
        // world frame: stored as (down, right, forward).
        m_axes[3 * k] = r[5];
        m_axes[3 * k + 1] = r[2];
        m_axes[3 * k + 2] = r[8];
    }
}

float PanoLeveler::ComputeSpread()
{
    m_normal[0] = m_normal[1] = m_normal[2] = m_normal[3] = 0.0f;
    m_right[0] = m_right[1] = 0.0f;
    if (m_count <= 0 || !m_axes) return 0.0f;
    float mean[3] = {0.0f, 0.0f, 0.0f};
    auto turned = [&](int k, float w[3]) {
        const float* v = m_axes + 3 * k;
        for (int i = 0; i < 3; ++i) w[i] = m_matrix[3 * i] * v[0] + m_matrix[3 * i + 1] * v[1] + m_matrix[3 * i + 2] * v[2];
    };
    for (int k = 0; k < m_count; ++k) {
        float w[3];
        turned(k, w);
        for (int i = 0; i < 3; ++i) mean[i] += w[i];
    }
    for (int i = 0; i < 3; ++i) mean[i] /= static_cast<float>(m_count);
    float a11 = 0.0f, a12 = 0.0f, a22 = 0.0f, b1 = 0.0f, b2 = 0.0f, spread = 0.0f;
    for (int k = 0; k < m_count; ++k) {
        float w[3];
        turned(k, w);
        const float dx = w[0] - mean[0], dy = w[1] - mean[1], dz = w[2] - mean[2];
        a11 += dz * dz;
        a12 -= dz * dy;
        a22 += dy * dy;
        b1 -= dz * dx;
        b2 += dy * dx;
        spread += dx * dx;
    }
    m_normal[0] = a11;
    m_normal[1] = a12;
    m_normal[2] = a12;
    m_normal[3] = a22;
    m_right[0] = b1;
    m_right[1] = b2;
    return spread;
}

void PanoLeveler::ApplyStep(float step[2])
{
    const float length = std::sqrt(step[0] * step[0] + step[1] * step[1]);
    if (length > kStepLimit) {
        step[0] *= kStepLimit / length;
        step[1] *= kStepLimit / length;
    }
    // The normal equations above are written for turns of the opposite
    // hand; with CalcMatrixRotZYX's right-handed turns the step that lowers
    // the spread is (s2 about the forward axis, s1 about the right axis).
    float r[9];
    CTransform3D::CalcMatrixRotZYX(step[1], step[0], 0.0f, r);
    Multiply(r, m_matrix, m_matrix);
}

void PanoLeveler::Iterate(float tolerance)
{
    float e0 = ComputeSpread();
    int n = 0;
    m_passes = 0;
    while (n <= kMaxPassIndex) {
        ++n;
        ++m_passes;
        SolveTwoByTwo(m_normal, m_right, m_step);
        std::memcpy(m_saved, m_matrix, sizeof m_saved);
        ApplyStep(m_step);
        float e1 = ComputeSpread();
        float d = e0 - e1;
        int halvings = 0;
        while (d <= 0.0f) {
            std::memcpy(m_matrix, m_saved, sizeof m_matrix);
            if (halvings == kMaxHalvings) {
                // The step never lowered the spread: dropped, and the fit ends
                // with the last accepted matrix.
                n = kMaxPassIndex + 1;
                break;
            }
            ++halvings;
            m_step[0] *= 0.5f;
            m_step[1] *= 0.5f;
            ApplyStep(m_step);
            e1 = ComputeSpread();
            d = e0 - e1;
        }
        if (d <= 0.0f) break;
        e0 = e1;
        if (d >= 0.0f && d < tolerance && n >= 5) break;
    }
    for (int k = 0; k < m_count && m_group; ++k) RotateFrame(m_matrix, m_group->GetImageFrame(m_list[k]));
}
