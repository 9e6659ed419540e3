#include "platform/xformkit/transform_ss.h"

#include <algorithm>

CTransformSS::CTransformSS() : m_rotation(new double[9]{1, 0, 0, 0, 1, 0, 0, 0, 1}) {}

CTransformSS::~CTransformSS() { delete[] m_rotation; }

CTransformSS::CTransformSS(const CTransformSS& other) : m_rotation(new double[9])
{
    std::copy(other.m_rotation, other.m_rotation + 9, m_rotation);
}

CTransformSS& CTransformSS::operator=(const CTransformSS& other)
{
    // Copying into the existing array is safe for self-assignment and keeps
    // this object's storage.
    if (this != &other) std::copy(other.m_rotation, other.m_rotation + 9, m_rotation);
    return *this;
}

void CTransformSS::SetRotation(const double rotation[9]) { std::copy(rotation, rotation + 9, m_rotation); }

void CTransformSS::Transform(const double in[3], double out[3]) const
{
    const double x = in[0], y = in[1], z = in[2];
    const double* r = m_rotation;
    out[0] = r[0] * x + r[1] * y + r[2] * z;
    out[1] = r[3] * x + r[4] * y + r[5] * z;
    out[2] = r[6] * x + r[7] * y + r[8] * z;
}
