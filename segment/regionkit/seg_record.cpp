#include "segment/regionkit/seg_record.h"

SegRecord::~SegRecord()
{
    seg_cleanup(&init);
    if (channels == 3) delete[] static_cast<SegNode3*>(nodes);
    else delete[] static_cast<SegNode1*>(nodes);
}

float SegCost1(SEG_INIT* rec, int a, int b)
{
    const SegNode1* n = static_cast<const SegNode1*>(rec->nodes);
    const float d = n[a].value - n[b].value;
    return d * d / (n[a].weight + n[b].weight);
}

void SegMerge1(SEG_INIT* rec, int a, int b)
{
    SegNode1* n = static_cast<SegNode1*>(rec->nodes);
    const float wa = n[a].weight, wb = n[b].weight, sum = wa + wb;
    n[a].value = (wa * n[b].value + wb * n[a].value) / sum;
    n[a].weight = wa * wb / sum;
}

float SegCost3(SEG_INIT* rec, int a, int b)
{
    const SegNode3* n = static_cast<const SegNode3*>(rec->nodes);
    float e = 0.0f;
    for (int c = 0; c < 3; ++c) {
        const float d = n[a].value[c] - n[b].value[c];
        e += d * d;
    }
    return e / (n[a].weight + n[b].weight);
}

void SegMerge3(SEG_INIT* rec, int a, int b)
{
    SegNode3* n = static_cast<SegNode3*>(rec->nodes);
    const float wa = n[a].weight, wb = n[b].weight, sum = wa + wb;
    for (int c = 0; c < 3; ++c) n[a].value[c] = (wa * n[b].value[c] + wb * n[a].value[c]) / sum;
    n[a].weight = wa * wb / sum;
}

int SegArea1(const SegRecord* rec, int node)
{
    return static_cast<int>(1.0f / static_cast<const SegNode1*>(rec->nodes)[node].weight + 0.5f);
}

int SegArea3(const SegRecord* rec, int node)
{
    return static_cast<int>(1.0f / static_cast<const SegNode3*>(rec->nodes)[node].weight + 0.5f);
}

void SegMeans1(const SegRecord* rec, int node, float* m0, float*, float*)
{
    *m0 = static_cast<const SegNode1*>(rec->nodes)[node].value;
}

void SegMeans3(const SegRecord* rec, int node, float* m0, float* m1, float* m2)
{
    const SegNode3& n = static_cast<const SegNode3*>(rec->nodes)[node];
    *m0 = n.value[0];
    *m1 = n.value[1];
    *m2 = n.value[2];
}
