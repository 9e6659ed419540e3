#include "align/warpfit/refine_gate.h"

#include "core/logger.h"
#include "platform/xformkit/transform_wa.h"

#include <algorithm>
#include <cmath>

CRefineGate::CRefineGate(const PAIR_WALIGN_PRMS& start, double workingScale, double searchRange, const char* who)
    : m_start(start), m_scale(workingScale), m_range(searchRange), m_who(who)
{
}

bool CRefineGate::MapPoints(const PAIR_WALIGN_PRMS& prms, const POINT2* p1, int n, std::vector<POINT2>& out)
{
    PAIR_WALIGN_RR_PRMS2 rr;
    float m[9];
    if (!CTransformWA::PairAlignPrmsStoRR2(&prms, &rr) || !CTransformWA::PairAlignPrmsRR2toM(&rr, nullptr, nullptr, m))
        return false;
    out.assign(static_cast<size_t>(std::max(n, 0)), POINT2{});
    for (int i = 0; i < n; ++i)
        if (!CTransformWA::TransformPtRR2(&p1[i], &out[i], m)) return false;
    return true;
}

bool CRefineGate::Accept(const PAIR_WALIGN_PRMS& fitted, const POINT2* p1, const POINT2* p2, int n,
                         std::vector<char>& within, const std::vector<char>* usable) const
{
    within.assign(static_cast<size_t>(std::max(n, 0)), 0);
    std::vector<POINT2> atFit, atStart;
    if (n <= 0 || !p1 || !p2 || !(m_scale > 0) || !MapPoints(fitted, p1, n, atFit) ||
        !MapPoints(m_start, p1, n, atStart)) {
        Logger::log("ERROR %s: the fitted transform does not map the matched points", 1, m_who);
        return false;
    }
    // Every match was found within the search range of the start's
    // prediction: a fit that moves the transform further than that over most
    // of the matched points says that the search could not have seen the
    // true matches there. (A start that is good over part of the overlap
    // only may move further at a few points.)
    std::vector<double> moves(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        moves[i] = std::hypot(double(atFit[i].x) - atStart[i].x, double(atFit[i].y) - atStart[i].y) * m_scale;
    std::nth_element(moves.begin(), moves.begin() + n / 2, moves.end());
    const double move = moves[n / 2];
    int survivors = 0;
    for (int i = 0; i < n; ++i) {
        const double d = std::hypot(double(atFit[i].x) - p2[i].x, double(atFit[i].y) - p2[i].y) * m_scale;
        within[i] = d <= kResidualGate;
        if (within[i] && (!usable || (*usable)[i])) ++survivors;
    }
    if (!(move <= m_range)) {
        Logger::log("ERROR %s: the fit moves the transform %.1f working pixels (median over the matched points), "
                    "beyond the search range of %.0f",
                    1, m_who, move, m_range);
        return false;
    }
    if (survivors < kMinPairs || survivors < m_share * n) {
        Logger::log("ERROR %s: only %d of %d matched pairs lie within %.1f working pixels of the fit", 1, m_who,
                    survivors, n, kResidualGate);
        return false;
    }
    return true;
}
