// Self-tests of the warp fit: twelve synthetic point pairs on a 200 x 200
// image, the second set mapped through a known pair rotation, fitted by
// CWAlign (TestWAlign) or by fitting the nine rotation-form words directly
// with the conjugate-gradient minimiser (TestWAlignRR). Exported for the
// stitching core's diagnostics; the results go to the log.
#pragma once

#include "core/pair_align_records.h"
#include "core/geometry_records.h"

constexpr int kWAlignTestPairs = 12;
constexpr int kWAlignTestImageSize = 200;

// What a self-test run found; mean errors are pixels of image 2.
struct WAlignSelfTestReport {
    int feed = 0;                 // the feeding operation's result
    int fit = 0;                  // the fit's result
    double meanErrorBefore = 0;   // the start parameters
    double meanErrorAfter = 0;    // the fitted parameters
    PAIR_WALIGN_RR_PRMS2 truth{}; // the transform the pairs were made with
    PAIR_WALIGN_RR_PRMS2 fitted{};
};

// The synthetic set: points of image 1 and their images in image 2, both
// measured from the image centres, and the transform between them.
void MakeWAlignTestPairs(POINT2 p1[kWAlignTestPairs], POINT2 p2[kWAlignTestPairs], PAIR_WALIGN_RR_PRMS2* truth);

int TestWAlign();
int TestWAlignRR();
int RunTestWAlign(WAlignSelfTestReport* report);
int RunTestWAlignRR(WAlignSelfTestReport* report);
