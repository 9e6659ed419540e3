#include "tour/tessiv/hotspot_params.h"

#include "platform/win/wnd.h"
#include "tour/norvik/tour_norvik.h"
#include "tour/tessiv/file_utils.h"
#include "tour/tessiv/hot_spot.h"
#include "tour/tessiv/param_text.h"
#include "tour/tessiv/text_style.h"
#include "tour/tessiv/tour_colors.h"
#include "tour/tessiv/tour_library.h"
#include "tour/tessiv/tour_project.h"
#include "tour/tessiv/vista.h"

#include <cmath>
#include <cstdio>
#include <optional>

namespace {

using tessiv::Format;
using tessiv::TrueFalse;

constexpr const char* kKindNames[2] = {"hotspot", "shotspot"};

struct EntryText {
    std::string text;
    int show = 0;
    std::string font;
    bool bold = false;
    bool italic = false;
    int size = 0;
    COLORREF textColor = 0;
    COLORREF bgColor = 0xFFFFFF;
    int transparency = 0;
    int width = 0;
};

// Everything one entry writes, decided before anything is written so that
// both forms keep or drop the same entries.
struct Entry {
    int kind = 0;
    int left = 0, top = 0, right = 0, bottom = 0;
    std::optional<EntryText> text;
    std::string image;
    int jumpTo = -1;
    std::optional<std::string> url;
    int iconCode = -1;

    bool HasElements() const { return text || !image.empty() || jumpTo >= 0 || url; }
};

bool IsDrivePath(const std::string& s) { return s.size() >= 3 && s[1] == ':' && (s[2] == '\\' || s[2] == '/'); }

std::string WithSlashes(std::string path)
{
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

// The address a link action opens; nothing when the file lies on another
// drive than the publish folder and cannot be reached from the tour.
std::optional<std::string> LinkAddress(const std::string& s, const char* publishFolder)
{
    const std::string folder = publishFolder ? publishFolder : "";
    if (IsDrivePath(s) && (folder.empty() || s[0] != folder[0])) return std::nullopt;
    if (s.compare(0, 4, "www.") == 0) return "http://" + s;
    const bool sameDrive = (IsDrivePath(s) && IsDrivePath(folder) && s[0] == folder[0]) ||
                           (s[0] == '/' && !folder.empty() && folder[0] == '/');
    if (!sameDrive) return s;
    std::string relative;
    if (RelativeFilePath(s.c_str(), folder.c_str(), relative)) return WithSlashes(relative);
    return WithSlashes(s);
}

// The look comes from the library's hot-spot label style as this hot spot
// makes it; the words, the show value and the width from the hot spot's own.
EntryText DecideText(const HotSpot& hotSpot, int show)
{
    const TextStyle& own = *hotSpot.GetLabelStyle();
    const TextStyle& look = TakeHotSpotLabelStyle(&hotSpot);
    EntryText t;
    t.text = own.GetText();
    t.show = show;
    t.font = look.GetFaceName() ? look.GetFaceName() : TextStyle::kDefaultFace;
    t.size = look.GetSize();
    t.bold = look.IsBold();
    t.italic = look.IsItalic();
    t.textColor = look.GetTextColor();
    t.bgColor = look.GetBgColor();
    t.transparency = look.GetOpacity();
    t.width = own.GetTransparency();
    return t;
}

Entry Decide(const TourProject& project, const HotSpot& hotSpot, int kind, const HotSpotFrame& frame,
             HotSpotDrops& drops)
{
    Entry e;
    e.kind = kind;
    int w = frame.imageWidth, h = frame.imageHeight;
    if (kind == kHotspotStatic) {
        const RECT viewer = project.GetLayoutBox(kViewerBox);
        w = viewer.right;
        h = viewer.bottom;
    }
    const int x = static_cast<int>(std::trunc(w * static_cast<double>(hotSpot.GetPositionX()) + 0.5));
    const int y = static_cast<int>(std::trunc(h * static_cast<double>(hotSpot.GetPositionY()) + 0.5));
    const int flags = hotSpot.GetFlags();
    const TextStyle* style = hotSpot.GetLabelStyle();
    const bool hasText = (flags & HotSpot::kHasText) != 0 && style && style->HasText();
    const int halfWidth = hotSpot.GetValue() > 10 && hasText ? 15 : 10;
    const int halfHeight = 10;
    e.left = x - halfWidth;
    e.top = y - halfHeight;
    e.right = x + halfWidth;
    e.bottom = y + halfHeight;

    if (hasText) {
        const int show = ((flags & HotSpot::kTextOnMouseOver) ? 1 : 0) + ((flags & HotSpot::kTextOnClick) ? 2 : 0);
        if (show > 0) e.text = DecideText(hotSpot, show);
    }
    std::string image;
    if ((flags & HotSpot::kShowsImage) && hotSpot.GetExportFileName(image)) e.image = image;

    if (flags & HotSpot::kHasAction) {
        if (!(flags & HotSpot::kLinksToText)) {
            const Vista* target = hotSpot.GetTargetVista();
            if (target) e.jumpTo = project.GetVistaIndex(target->GetId());
        } else if (const char* link = hotSpot.GetLinkText(); link && *link) {
            e.url = LinkAddress(link, frame.publishFolder);
            if (!e.url) ++(kind == kHotspotDynamic ? drops.dynamicCount : drops.staticCount);
        }
    }
    e.iconCode = HotSpotIconCode(hotSpot.GetValue());
    return e;
}

// The vista's entries in writing order, dynamic first, numbered per kind.
std::vector<Entry> DecideAll(const TourProject& project, const Vista& vista, const HotSpotFrame& frame,
                             HotSpotDrops& drops)
{
    std::vector<Entry> entries;
    for (int kind : {int(kHotspotDynamic), int(kHotspotStatic)}) {
        for (int i = 0; i < vista.GetHotSpotCount(); ++i) {
            const HotSpot* hotSpot = vista.GetHotSpot(i);
            if (!hotSpot || hotSpot->IsDynamic() != (kind == kHotspotDynamic)) continue;
            Entry e = Decide(project, *hotSpot, kind, frame, drops);
            if (e.HasElements()) entries.push_back(std::move(e));
        }
    }
    return entries;
}

}  // namespace

int HotSpotIconCode(int iconIndex)
{
    static constexpr int kCodes[HotSpot::kNoIcon] = {9, 5, 3, 7, 4, 10, 6, 8, 12, 11, 13, 0, 1, 2};
    return iconIndex >= 0 && iconIndex < HotSpot::kNoIcon ? kCodes[iconIndex] : -1;
}

std::string ViewerFileName(const std::string& name, bool flash)
{
    if (!flash || name.empty() || name[0] != '.') return name;
    const size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::string BraceText(const std::string& text)
{
    std::string out = text;
    for (char& c : out) {
        if (c == '\n' || c == '\r' || c == '}') c = ' ';
    }
    return out;
}

void WriteHotSpotEntries(const TourProject& project, const Vista& vista, const HotSpotFrame& frame,
                         std::string& groups, std::string& preloadImages, HotSpotDrops& drops)
{
    int number[2] = {0, 0};
    for (const Entry& e : DecideAll(project, vista, frame, drops)) {
        groups += Format("{%s%d= x%d y%d a%d b%d\n", kKindNames[e.kind], number[e.kind]++, e.left, e.top, e.right,
                         e.bottom);
        if (e.text) {
            const EntryText& t = *e.text;
            groups += Format("\tTT'%s' TS'%d' ", BraceText(t.text).c_str(), t.show);
            groups += Format("Tf'%s' ", BraceText(t.font).c_str());
            groups += Format("TB'%s' TI'%s' ", TrueFalse(t.bold), TrueFalse(t.italic));
            groups += Format("Ts'%d' ", t.size / 20);
            groups += "Tc" + ViewerColorHex(t.textColor) + " Tb" + ViewerColorHex(t.bgColor);
            groups += Format(" Tt'%d' Tw'%d'\n", t.transparency, t.width);
        }
        if (!e.image.empty()) {
            groups += Format("\tp i'%s'\n", BraceText(e.image).c_str());
            preloadImages += ViewerFileName(e.image, frame.flash) + ",";
        }
        if (e.jumpTo >= 0) groups += Format("\tu'QuorvaneTour:showNewVista(%d)'\n", e.jumpTo);
        if (e.url) {
            groups += Format("\tu'%s' t'QuorvaneTour_%s'\n", BraceText(*e.url).c_str(),
                             BraceText(frame.tourBaseName).c_str());
        }
        groups += e.iconCode >= 0 ? Format("Ti'%d'}\n", e.iconCode) : std::string("}\n");
    }
}

bool AddHotSpotEntries(const TourProject& project, const Vista& vista, const HotSpotFrame& frame,
                       TourNorvik& document, std::string& preloadImages, HotSpotDrops& drops)
{
    const RECT viewer = project.GetLayoutBox(kViewerBox);
    const int wv = viewer.right, hv = viewer.bottom;
    const HotspotRange range = {wv / 2, hv / 2, wv / 2 + 1, hv / 2 + 1};
    const int v = frame.vistaIndex;
    const std::string window = "QuorvaneTour_" + frame.tourBaseName + "_hs_link";
    int number[2] = {0, 0};
    bool ok = true;
    for (const Entry& e : DecideAll(project, vista, frame, drops)) {
        const int k = e.kind;
        const int id = number[k]++;
        ok = document.AddHotspot(v, k, id, e.left, e.top, e.right, e.bottom, &range, wv, hv) && ok;
        if (e.text) {
            const EntryText& t = *e.text;
            ok = document.AddHotspotTextStyle(v, k, id, t.text.c_str(), t.show, t.font.c_str(), TrueFalse(t.bold),
                                              TrueFalse(t.italic), t.size / 20,
                                              static_cast<int32_t>(SwapRedBlue(t.textColor) & 0xFFFFFFu),
                                              static_cast<int32_t>(SwapRedBlue(t.bgColor) & 0xFFFFFFu), t.transparency,
                                              t.width) &&
                 ok;
        }
        if (!e.image.empty()) {
            ok = document.AddHotspotText(v, k, id, "image", e.image.c_str()) && ok;
            preloadImages += ViewerFileName(e.image, frame.flash) + ",";
        }
        if (e.jumpTo >= 0) ok = document.AddHotspotInt(v, k, id, "toVista", e.jumpTo) && ok;
        if (e.url) ok = document.AddHotspotUrl(v, k, id, window.c_str(), e.url->c_str()) && ok;
        ok = document.AddHotspotInt(v, k, id, "icon", e.iconCode) && ok;
    }
    return ok;
}

std::string DroppedActionWarning(const HotSpotDrops& drops)
{
    std::string text;
    if (drops.dynamicCount && drops.staticCount) {
        text = Format("Warning: %d dynamic and %d static ", drops.dynamicCount, drops.staticCount);
    } else if (drops.dynamicCount) {
        text = Format("Warning: %d dynamic ", drops.dynamicCount);
    } else if (drops.staticCount) {
        text = Format("Warning: %d static ", drops.staticCount);
    } else {
        return text;
    }
    return text +
           "hotspot(s) will have URL action skipped in the tour, because the URL files are on drive(s) different "
           "from the tour publish folder.  See the manual Hotspot Editor section for detail.";
}

void ShowDroppedActionWarning(const HotSpotDrops& drops)
{
    const std::string text = DroppedActionWarning(drops);
    if (!text.empty()) AfxMessageBox(text.c_str(), MB_OK);
}
