#include "platform/panocore/img_info.h"

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

constexpr float kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

class ImgInfo final : public IImgInfo {
public:
    ImgInfo() { m_params.scale = 1.0f; }
    ~ImgInfo() override { FreeColorTable(m_params.colorTable); }

    TRANSFORM_RS* GetParams() override { return &m_params; }
    void GetRotation(float rotation[9]) override { std::memcpy(rotation, m_rotation, sizeof m_rotation); }
    float GetFocal() override
    {
        if (m_focal > 0.0f) return m_focal;
        return m_params.rcpFocal > 0.0f ? 1.0f / m_params.rcpFocal : 0.0f;
    }
    void SetRotation(float focal, const float rotation[9]) override
    {
        m_focal = focal;
        std::memcpy(m_rotation, rotation, sizeof m_rotation);
    }
    void ClearParams() override
    {
        FreeColorTable(m_params.colorTable);
        m_params = TRANSFORM_RS{};
        std::memset(m_rotation, 0, sizeof m_rotation);
        m_focal = 0.0f;
    }

private:
    TRANSFORM_RS m_params{};
    float m_rotation[9] = {kIdentity[0], kIdentity[1], kIdentity[2], kIdentity[3], kIdentity[4],
                           kIdentity[5], kIdentity[6], kIdentity[7], kIdentity[8]};
    float m_focal = 0.0f;
};

}  // namespace

IImgInfo* GetImgInfoInterface()
{
    return new ImgInfo();
}
