#include "platform/panocore/img_info.h"

#include "platform/xformkit/camera_model.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

unsigned char* AllocColorTable()
{
    void* table = std::calloc(768, 1);
    if (!table) throw std::bad_alloc();
    return static_cast<unsigned char*>(table);
}

void FreeColorTable(unsigned char* table)
{
    std::free(table);
}

namespace {

// The matrices of this interface take rays ordered (y, x, z) (down, right,
// forward) to world rays ordered (x, y, z); the camera model's placement
// matrix takes (x, y, z) to (x, y, z). Swapping the first two columns
// converts either way.
void SwapColumns(const double in[9], double out[9])
{
    constexpr int kMap[3] = {1, 0, 2};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) out[3 * r + c] = in[3 * r + kMap[c]];
}

class ImgInfo final : public IImgInfo {
public:
    ImgInfo() { m_params.scale = 1.0f; }
    ~ImgInfo() override { FreeColorTable(m_params.colorTable); }

    TRANSFORM_RS* GetParams() override { return &m_params; }

    void GetRotation(float rotation[9]) override
    {
        const xformkit::Mat3 m = xformkit::PlacementMatrix(m_params.pan, m_params.tilt, m_params.roll);
        double swapped[9];
        SwapColumns(m.m, swapped);
        for (int i = 0; i < 9; ++i) rotation[i] = static_cast<float>(swapped[i]);
    }

    float GetFocal() override
    {
        const float r = m_params.rcpFocal;
        return r > 0.0f && std::isfinite(r) ? 1.0f / r : 0.0f;
    }

    void SetRotation(float focal, const float rotation[9]) override
    {
        double in[9], m[9];
        for (int i = 0; i < 9; ++i) in[i] = rotation[i];
        SwapColumns(in, m);
        xformkit::Mat3 placement;
        std::memcpy(placement.m, m, sizeof m);
        // Straight from the matrix to the Euler angles in double precision;
        // a detour through the rotation vector loses digits near a half turn.
        double pan, tilt, roll;
        xformkit::PlacementAngles(placement, pan, tilt, roll);
        m_params.pan = static_cast<float>(pan);
        m_params.tilt = static_cast<float>(tilt);
        m_params.roll = static_cast<float>(roll);
        m_params.rcpFocal = focal > 0.0f && std::isfinite(focal) ? 1.0f / focal : 0.0f;
    }

    void ClearParams() override
    {
        FreeColorTable(m_params.colorTable);
        m_params = TRANSFORM_RS{};
    }

private:
    TRANSFORM_RS m_params{};
};

}  // namespace

IImgInfo* GetImgInfoInterface()
{
    return new ImgInfo();
}

bool InitPanoramaPlacement(IImgInfo* info, float pan, float tilt, float roll, float centreX, float centreY)
{
    TRANSFORM_RS* rs = info ? info->GetParams() : nullptr;
    if (!rs) return false;
    FreeColorTable(rs->colorTable);
    const float rcpFocal = rs->rcpFocal;
    *rs = TRANSFORM_RS{};
    rs->rcpFocal = rcpFocal;
    rs->pan = pan;
    rs->tilt = tilt;
    rs->roll = roll;
    rs->centreX = centreX;
    rs->centreY = centreY;
    rs->scale = 1.0f;
    rs->flag = 1;
    for (int c = 0; c < 3; ++c) {
        rs->colorFirst[c] = 1.0f;
        rs->colorSecond[c] = 0.0f;
        rs->gamma[c] = 1.0f;
    }
    return true;
}
