// Sphere-to-sphere transform: turns unit directions of one panorama's frame
// into another's by a 3 x 3 rotation (rows first). Part of the outside
// transform module; the viewer program and the viewer control export its
// assignment beside the polygon mapper.
#pragma once

class __attribute__((visibility("default"))) CTransformSS {
public:
    CTransformSS();  // the identity
    ~CTransformSS();
    // Copies own their rotation.
    CTransformSS(const CTransformSS& other);
    CTransformSS& operator=(const CTransformSS& other);

    // Takes a copy of the nine entries (rows first).
    void SetRotation(const double rotation[9]);
    const double* GetRotation() const { return m_rotation; }
    // out = rotation x in; in and out may be the same array.
    void Transform(const double in[3], double out[3]) const;

private:
    double* m_rotation;  // nine entries, owned
};
