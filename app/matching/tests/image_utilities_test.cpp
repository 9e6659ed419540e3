// The small utilities: cropping with its console warnings, path pieces, the
// panorama resolution guess, and the rotation-vector algebra against Eigen.
#include "app/matching/utilities.h"
#include "app/matching/tests/magick_helpers.h"

#include <Eigen/Geometry>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

namespace {

using matching_test::Sample;

// ---------------------------------------------------------------------------
// CropImage

TEST(CropImage, BlanksOutsideTheClampedRectangleAndPrintsEachChange)
{
    struct Case {
        RECT rect;
        bool result;
        RECT clamped;
        const char* printed;
        bool changed;
    };
    const int W = 10, H = 8;
    const Case cases[] = {
        {{0, 0, 9, 7}, false, {0, 0, 9, 7}, "", false},
        {{-3, 2, 5, 6}, true, {0, 2, 5, 6}, "WARNING Utilities::CropImage: rect->left=-3? change to 0\n", true},
        {{2, -1, 12, 9}, true, {2, 0, 9, 7},
         "WARNING Utilities::CropImage: rect->right(12)>w(10)? change to w-1\n"
         "WARNING Utilities::CropImage: rect->top=-1? change to 0\n"
         "WARNING Utilities::CropImage: rect->bottom(9)>h(8)? change to h-1\n",
         true},
        {{10, 0, 12, 5}, false, {10, 0, 12, 5}, "WARNING Utilities::CropImage: rect->left(10)>w(10)? no crop!\n", false},
        {{5, 0, 2, 7}, false, {5, 0, 2, 7}, "WARNING Utilities::CropImage: rect->right(2)<rect->left(5)? no crop!\n", false},
        {{-2, 0, -5, 7}, false, {0, 0, -5, 7},
         "WARNING Utilities::CropImage: rect->left=-2? change to 0\n"
         "WARNING Utilities::CropImage: rect->right(-5)<rect->left(0)? no crop!\n",
         false},
        {{0, 8, 9, 9}, false, {0, 8, 9, 9}, "WARNING Utilities::CropImage: rect->top(8)>h(8)? no crop!\n", false},
        {{0, 5, 9, 3}, false, {0, 5, 9, 3}, "WARNING Utilities::CropImage: rect->bottom(3)<rect->top(5)? no crop!\n", false},
        {{3, 3, 3, 3}, true, {3, 3, 3, 3}, "", true},
    };
    for (const Case& c : cases) {
        for (int channels : {1, 3}) {
            auto image = RefPtr<Image>::adopt(testkit::MakePatternImage(W, H, channels));
            // No sample of the pattern is 0, so a kept sample is told from a blanked one.
            for (size_t i = 0; i < image->GetDataSize(); ++i) image->GetData()[i] |= 1;
            auto original = RefPtr<Image>::adopt(image->Duplicate());
            RECT rect = c.rect;
            testing::internal::CaptureStdout();
            const bool result = Utilities::CropImage(&rect, image.get());
            const std::string printed = testing::internal::GetCapturedStdout();
            EXPECT_EQ(result, c.result) << c.rect.left << "," << c.rect.top << "," << c.rect.right << "," << c.rect.bottom;
            EXPECT_EQ(printed, c.printed);
            EXPECT_EQ(rect.left, c.clamped.left);
            EXPECT_EQ(rect.top, c.clamped.top);
            EXPECT_EQ(rect.right, c.clamped.right);
            EXPECT_EQ(rect.bottom, c.clamped.bottom);
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x)
                    for (int ch = 0; ch < channels; ++ch) {
                        const bool inside = x >= rect.left && x <= rect.right && y >= rect.top && y <= rect.bottom;
                        const int expected = !c.changed || inside ? Sample(*original, x, y, ch) : 0;
                        ASSERT_EQ(Sample(*image, x, y, ch), expected) << x << ", " << y;
                    }
        }
    }
}

// ---------------------------------------------------------------------------
// Paths and the resolution guess

TEST(PathHelpers, CutExtensionCutsAtTheLastDot)
{
    const std::pair<const char*, const char*> cases[] = {
        {".", ""}, {"a.b.c", "a.b"}, {"name", "name"}, {".hidden", ""}, {"dir.d/file", "dir"}, {"", ""}};
    for (const auto& [in, out] : cases) {
        char text[32];
        std::strcpy(text, in);
        Utilities::CutExtension(text);
        EXPECT_STREQ(text, out) << in;
    }
    Utilities::CutExtension(nullptr);
}

TEST(PathHelpers, SplitPathAtTheLastSeparatorOfEitherKind)
{
    struct Case {
        const char* path;
        bool result;
        const char* folder;
        const char* name;
    };
    const Case cases[] = {
        {"C:\\photos/trip\\img.jpg", true, "C:\\photos/trip", "img.jpg"},
        {"C:\\photos\\trip/img.jpg", true, "C:\\photos\\trip", "img.jpg"},
        {"a/b/", true, "a/b", ""},
        {"/img.jpg", false, "keep", "keep"},
        {"\\img.jpg", false, "keep", "keep"},
        {"img.jpg", false, "keep", "keep"},
        {"", false, "keep", "keep"},
    };
    for (const Case& c : cases) {
        std::string folder = "keep", name = "keep";
        EXPECT_EQ(Utilities::SplitPath(c.path, folder, name), c.result) << c.path;
        EXPECT_EQ(folder, c.folder) << c.path;
        EXPECT_EQ(name, c.name) << c.path;
    }
}

TEST(PathHelpers, EstimatePanoResolution)
{
    struct Case {
        int count;
        bool closed;
        float fov;
        int minWidth, fullWidth;
        float expected;
    };
    const float span7 = 6.5f * 40.0f * 1.3f;  // 338 degrees
    const Case cases[] = {
        {8, true, 40.0f, 100, 3600, 10.0f},                       // a closed loop: the full circle
        {7, true, 40.0f, 100, 3600, 3600.0f * span7 / 360.0f / span7},
        {7, false, 40.0f, 5000, 3600, 5000.0f / span7},          // at least minWidth over the span
        {20, false, 40.0f, 100, 3600, 10.0f},                     // the span stops at 360
        {3, false, 50.0f, 2000, 3600, 2000.0f / (2.5f * 50.0f * 1.3f)},
        {0, false, 40.0f, 100, 3600, 10.0f},                      // nothing spanned: the full circle
        {5, false, 0.0f, 100, 3600, 10.0f},
        {5, false, -30.0f, 100, 3600, 10.0f},
        {5, false, std::nanf(""), 100, 3600, 10.0f},
    };
    for (const Case& c : cases) {
        const float r = Utilities::EstimatePanoResolution(c.count, c.closed, c.fov, c.minWidth, c.fullWidth);
        EXPECT_NEAR(r, c.expected, 1e-4f * c.expected) << c.count << " images of " << c.fov;
    }
}

// ---------------------------------------------------------------------------
// Rotation vectors against Eigen

Eigen::Matrix3d ToEigen(const float m[9])
{
    Eigen::Matrix3d e;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) e(r, c) = m[3 * r + c];
    return e;
}

Eigen::Matrix3d EigenRotation(const Eigen::Vector3d& w)
{
    const double angle = w.norm();
    return angle == 0.0 ? Eigen::Matrix3d::Identity() : Eigen::AngleAxisd(angle, w / angle).toRotationMatrix();
}

void FromEigen(const Eigen::Matrix3d& e, float m[9])
{
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) m[3 * r + c] = static_cast<float>(e(r, c));
}

Eigen::Vector3d RandomAxis(std::mt19937& random)
{
    std::normal_distribution<double> n;
    Eigen::Vector3d v(n(random), n(random), n(random));
    return v.normalized();
}

TEST(RotationVector, RotVecToMatrixMatchesEigen)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> angle(0.0, M_PI - 1e-3);
    for (int i = 0; i < 200; ++i) {
        const Eigen::Vector3d w = RandomAxis(random) * angle(random);
        const float wf[3] = {static_cast<float>(w.x()), static_cast<float>(w.y()), static_cast<float>(w.z())};
        float m[9];
        Utilities::RotVecToMatrix(wf, m);
        const Eigen::Vector3d wd(wf[0], wf[1], wf[2]);
        EXPECT_LT((ToEigen(m) - EigenRotation(wd)).cwiseAbs().maxCoeff(), 1e-6) << i;
    }
    const float zero[3] = {0, 0, 0};
    float m[9];
    Utilities::RotVecToMatrix(zero, m);
    EXPECT_EQ(ToEigen(m), Eigen::Matrix3d::Identity());
}

TEST(RotationVector, MatrixToRotVecRoundTripsUpToAHalfTurn)
{
    std::mt19937 random(11);
    for (double angle : {0.0, 1e-7, 1e-3, 0.5, 2.0, 3.0, M_PI - 2e-3, M_PI - 5e-4, M_PI - 1e-4, M_PI - 1e-6}) {
        for (int i = 0; i < 20; ++i) {
            const Eigen::Vector3d axis = RandomAxis(random);
            float m[9];
            FromEigen(Eigen::AngleAxisd(angle, axis).toRotationMatrix(), m);
            float w[3];
            Utilities::MatrixToRotVec(m, w);
            // Eigen's own reading of the (float) matrix.
            const Eigen::AngleAxisd expected(ToEigen(m));
            const Eigen::Vector3d ours(w[0], w[1], w[2]);
            EXPECT_NEAR(ours.norm(), expected.angle(), 2e-4) << "angle " << angle;
            // Float entries leave the axis less certain as sin(angle) falls.
            const double tolerance = angle > 3.0 ? 1e-4 : 1e-5;
            if (angle > 1e-3) {
                EXPECT_LT((ours - expected.angle() * expected.axis()).norm(), tolerance) << "angle " << angle;
            }
            // The vector gives the matrix back.
            float back[9];
            Utilities::RotVecToMatrix(w, back);
            EXPECT_LT((ToEigen(back) - ToEigen(m)).cwiseAbs().maxCoeff(), 2e-4) << "angle " << angle;
        }
    }
}

TEST(RotationVector, ComposeAddsTurnsAboutOneAxisAndFollowsTheMatrixProduct)
{
    std::mt19937 random(3);
    for (int i = 0; i < 20; ++i) {
        const Eigen::Vector3d axis = RandomAxis(random);
        float w1[3], w2[3];
        for (int k = 0; k < 3; ++k) {
            w1[k] = static_cast<float>(axis[k] * 0.7);
            w2[k] = static_cast<float>(axis[k] * 1.9);
        }
        Utilities::ComposeRotVec(w1, w2);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(w1[k], axis[k] * 2.6, 1e-5);
    }
    std::uniform_real_distribution<double> angle(0.0, 1.5);
    for (int i = 0; i < 100; ++i) {
        const Eigen::Vector3d a = RandomAxis(random) * angle(random), b = RandomAxis(random) * angle(random);
        float w1[3] = {static_cast<float>(a.x()), static_cast<float>(a.y()), static_cast<float>(a.z())};
        const float w2[3] = {static_cast<float>(b.x()), static_cast<float>(b.y()), static_cast<float>(b.z())};
        const Eigen::Matrix3d product = EigenRotation(Eigen::Vector3d(w1[0], w1[1], w1[2])) *
                                        EigenRotation(Eigen::Vector3d(w2[0], w2[1], w2[2]));
        float m1[9], m2[9], m[9];
        Utilities::RotVecToMatrix(w1, m1);
        Utilities::RotVecToMatrix(w2, m2);
        Utilities::MulMatrix3(m1, m2, m);
        EXPECT_LT((ToEigen(m) - product).cwiseAbs().maxCoeff(), 1e-6);
        Utilities::ComposeRotVec(w1, w2);
        float composed[9];
        Utilities::RotVecToMatrix(w1, composed);
        EXPECT_LT((ToEigen(composed) - product).cwiseAbs().maxCoeff(), 2e-5) << i;
    }
    // Zero on either side.
    float w[3] = {0.1f, 0.2f, 0.3f};
    const float zero[3] = {0, 0, 0};
    Utilities::ComposeRotVec(w, zero);
    EXPECT_EQ(w[0], 0.1f);
    EXPECT_EQ(w[2], 0.3f);
    float z[3] = {0, 0, 0};
    Utilities::ComposeRotVec(z, w);
    EXPECT_EQ(z[1], 0.2f);
}

}  // namespace
