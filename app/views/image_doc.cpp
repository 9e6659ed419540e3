#include "app/views/image_doc.h"
#include "app/views/image_view.h"

#include "core/logger.h"
#include "imaging/image.h"
#include "platform/win/dib.h"
#include "platform/win/gdi.h"
#include "projectgraph/curvekit/two_d_curves.h"
#include "worldmap/text_cell.h"
#include "worldmap/text_layer.h"

#include <algorithm>

CImageDoc::~CImageDoc()
{
    ReleaseImage(m_image);
    for (MarkerGroup* group : m_groups) delete group;
    delete m_curves;
    delete m_textLayer;
}

void CImageDoc::SetImage(Image* image)
{
    RefAdd(image);
    ReleaseImage(m_image);
    m_image = image;
}

void CImageDoc::SetImageAndName(Image* image, const char* name)
{
    SetImage(image);
    m_name = name ? name : "";
    SetTitle(m_name.c_str());
}

bool CImageDoc::InitBlank(int width, int height, const char* name)
{
    if (width <= 0 || height <= 0) {
        Logger::log("ERROR CImageDoc::InitBlank bad size %d x %d", 1, width, height);
        return false;
    }
    auto* image = new Image();
    if (image->BmpInit(width, height, 3) != 0) {
        delete image;
        return false;
    }
    SetImageAndName(image, name);
    return true;
}

void CImageDoc::CopyImageRegion(Image* source, const RECT* rect, int x, int y)
{
    if (!source || !rect || !m_image) return;
    source->CopyDataTo(rect->left, rect->right, rect->top, rect->bottom, m_image, x, y);
    UpdateAllViews(nullptr);
}

MarkerGroup* CImageDoc::AddMarkerGroup(int id, int x, int y)
{
    if (MarkerGroup* group = FindMarkerGroup(id)) return group;
    auto* group = new MarkerGroup(id, static_cast<int16_t>(x), static_cast<int16_t>(y));
    m_groups.push_back(group);
    return group;
}

MarkerGroup* CImageDoc::FindMarkerGroup(int id) const
{
    for (MarkerGroup* group : m_groups)
        if (group->GetId() == id) return group;
    return nullptr;
}

void CImageDoc::RemoveMarkerGroup(int id)
{
    auto it = std::find_if(m_groups.begin(), m_groups.end(), [id](MarkerGroup* g) { return g->GetId() == id; });
    if (it == m_groups.end()) return;
    delete *it;
    m_groups.erase(it);
}

bool CImageDoc::ToggleMarkerIndex()
{
    bool changed = false;
    for (MarkerGroup* group : m_groups) changed = group->ToggleMarkerIndex(2) || changed;
    return changed;
}

bool CImageDoc::ToggleLineVisibility()
{
    if (!m_curves) return false;
    m_curves->SetLineVisibility(2);
    return true;
}

bool CImageDoc::ToggleLineIndex()
{
    return m_curves ? m_curves->ToggleLineIndex(2) : false;
}

TwoDCurves* CImageDoc::GetCurves()
{
    if (!m_curves) m_curves = new TwoDCurves();
    return m_curves;
}

void CImageDoc::AddText(const char* text, int x, int y)
{
    if (!text) return;
    if (!m_textLayer) m_textLayer = new TextLayer();
    auto* cell = new TextCell(text);
    cell->Move(static_cast<int16_t>(x), static_cast<int16_t>(y));
    m_textLayer->AddTextCell(cell);
}
