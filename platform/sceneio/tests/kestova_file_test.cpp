#include "platform/sceneio/kestova_file.h"

#include "core/logger.h"

#include <gtest/gtest.h>

namespace {

TEST(KestovaFile, BandsKeepTheirOrderAndSectors)
{
    KestovaFile file;
    file.SetNumChannel(3);
    file.SetEquatorSampleNum(400);
    file.SetHalfRingNum(100);
    file.SetBandBound(100);
    EXPECT_EQ(file.GetEquatorSampleNum(), 400);
    EXPECT_EQ(file.GetHalfRingNum(), 100);
    EXPECT_EQ(file.GetBandBound(), 100);
    CBand* b0 = file.AddBand(-3, 398);
    CBand* b1 = file.AddBand(7, 396);
    ASSERT_NE(b0, nullptr);
    CSector* s0 = b0->AddSector(-10, 9, file.GetNumChannel());
    CSector* s1 = b0->AddSector(50, 50, file.GetNumChannel());
    ASSERT_NE(s0, nullptr);
    EXPECT_EQ(b0->m_numSectors, 2);
    EXPECT_EQ(b0->m_sectors[0], s0);
    EXPECT_EQ(b0->m_sectors[1], s1);
    EXPECT_EQ(s0->GetNumSamples(), 20);
    for (int i = 0; i < 60; ++i) EXPECT_EQ(s0->GetDataPtr()[i], 0);
    s0->GetDataPtr()[59] = 9;  // the last byte belongs to the sector (ASan)
    EXPECT_EQ(b1->m_numSectors, 0);

    LogCapture log;
    EXPECT_EQ(b1->AddSector(5, 4, 3), nullptr);
    EXPECT_EQ(log.errorCount(), 1);

    List* bands = file.GetBandList();
    ASSERT_EQ(bands->m_count, 2);
    EXPECT_EQ(bands->GetData(0), b0);
    EXPECT_EQ(bands->GetData(1), b1);
    EXPECT_EQ(static_cast<CBand*>(bands->GetData(1))->m_row, 7);
    EXPECT_EQ(static_cast<CBand*>(bands->GetData(0))->m_samples, 398);

    file.RemoveSorage();
    EXPECT_EQ(file.GetBandList()->m_count, 0);
    EXPECT_EQ(file.GetNumChannel(), 3);
}

TEST(KestovaFile, RectangularBand)
{
    KestovaFile file;
    file.SetNumChannel(3);
    int x0, y0, x1, y1;
    file.GetBandRect(x0, y0, x1, y1);
    EXPECT_LT(x1, x0);
    EXPECT_EQ(file.GetBandData(), nullptr);
    ASSERT_TRUE(file.SetBandRect(-5, 2, 4, 3));
    file.GetBandRect(x0, y0, x1, y1);
    EXPECT_EQ(x0, -5);
    EXPECT_EQ(y0, 2);
    EXPECT_EQ(x1, 4);
    EXPECT_EQ(y1, 3);
    EXPECT_EQ(file.GetBandRowBytes(), 30);
    file.GetBandData()[59] = 1;
    LogCapture log;
    EXPECT_FALSE(file.SetBandRect(3, 0, 2, 0));
    EXPECT_EQ(log.errorCount(), 1);
    file.RemoveSorage();
    file.GetBandRect(x0, y0, x1, y1);
    EXPECT_LT(x1, x0);
}

}  // namespace
