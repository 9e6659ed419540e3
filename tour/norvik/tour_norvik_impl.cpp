#include "tour/norvik/tour_norvik_impl.h"

#include "tour/norvik/xml_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

// Parents of operations 0 to 8, by TourListIndex.
constexpr const char* kListPaths[kTourListCount] = {
    "//QuorvaneTour",
    "//QuorvaneTour/framework",
    "//QuorvaneTour/framework/vistaTimeMs_list",
    "//QuorvaneTour/framework/vistaLabel_list",
    "//QuorvaneTour/framework/fileThumbnail_list",
    "//QuorvaneTour/framework/vistaSound_list",
    "//QuorvaneTour/viewer",
    "//QuorvaneTour/viewer/pano_list",
    "//QuorvaneTour/tourmap",
    "//QuorvaneTour/tourmap/map_list",
};

// By HotspotKind.
constexpr const char* kHotspotNames[] = {"hotspot", "shotspot", "ghotspot"};
constexpr const char* kHotspotLists[] = {"hotspot_list", "shotspot_list", "ghotspot_list"};

bool IsHotspotKind(int32_t kind) { return kind >= kHotspotDynamic && kind <= kHotspotGlobal; }

using ElementPtr = std::unique_ptr<TiXmlElement>;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...)
{
    char buffer[64];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n >= 0 && static_cast<size_t>(n) < sizeof buffer) return std::string(buffer, static_cast<size_t>(n));
    // "%f" of a very large float needs more room than the buffer.
    std::string text(static_cast<size_t>(n > 0 ? n : 0), '\0');
    va_start(args, format);
    std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    return text;
}

std::string Decimal(int64_t value) { return Format("%lld", static_cast<long long>(value)); }
std::string Hex(int32_t value) { return Format("%x", static_cast<unsigned>(value)); }
std::string Hex6(int32_t value) { return Format("%.6x", static_cast<unsigned>(value)); }
std::string Fixed(double value) { return Format("%f", value); }
std::string Percent(int64_t value) { return Format("%%%lld", static_cast<long long>(value)); }

// A file name as the Flash viewer wants it: a relative path that begins with
// a dot ("./data_F/room.jpg") keeps only its file name; other texts, and a
// dotted text without any "/", stay whole.
std::string ViewerFileText(const char* text)
{
    const std::string s = text ? text : "";
    if (s.empty() || s[0] != '.') return s;
    const size_t slash = s.rfind('/');
    return slash == std::string::npos ? s : s.substr(slash + 1);
}

// A new detached element, or null for a name that would break the document.
ElementPtr NewElement(const char* name)
{
    if (!norvik::IsXmlName(name)) return nullptr;
    return std::make_unique<TiXmlElement>(name);
}

void SetAttr(TiXmlElement& element, const char* name, const std::string& value)
{
    element.SetAttribute(name, norvik::XmlCharacterData(value.c_str()));
}

void SetAttr(TiXmlElement& element, const char* name, const char* value)
{
    element.SetAttribute(name, norvik::XmlCharacterData(value));
}

void SetAttrInt(TiXmlElement& element, const char* name, int64_t value) { SetAttr(element, name, Decimal(value)); }

// Text content is always one text child, also when it is empty.
void SetText(TiXmlElement& element, const std::string& text)
{
    element.LinkEndChild(new TiXmlText(norvik::XmlCharacterData(text.c_str())));
}

// Links a finished element as the parent's last child; from here on the
// document owns it. Elements are built whole before they are linked, so that
// running out of memory half-way adds nothing.
void Attach(TiXmlElement* parent, ElementPtr element) { parent->LinkEndChild(element.release()); }

// Element `name` holding `text`, with an "id" first when one is given.
bool AppendText(TiXmlElement* parent, const char* name, const std::string& text, const int32_t* id = nullptr)
{
    if (!parent) return false;
    ElementPtr element = NewElement(name);
    if (!element) return false;
    if (id) SetAttrInt(*element, "id", *id);
    SetText(*element, text);
    Attach(parent, std::move(element));
    return true;
}

// The attributes of a styled text, shared by hot spots and the first movie.
ElementPtr TextStyleElement(const char* text, int32_t showType, const char* font, const char* bold,
                            const char* italic, int32_t size, int32_t color, int32_t bgColor, int32_t transparency,
                            int32_t width)
{
    ElementPtr element = NewElement("text");
    SetAttr(*element, "text", text);
    SetAttrInt(*element, "showType", showType);
    SetAttr(*element, "font", font);
    SetAttr(*element, "bold", bold);
    SetAttr(*element, "italic", italic);
    SetAttrInt(*element, "size", size);
    SetAttr(*element, "color", Hex(color));
    SetAttr(*element, "bgColor", Hex(bgColor));
    SetAttrInt(*element, "transparency", transparency);
    SetAttrInt(*element, "width", width);
    return element;
}

// One coordinate of a shotspot: "s" and the centre when it lies at or before
// the low bound, "e" and the distance from the far edge minus one at or
// after the high bound, else the centre as a fraction of the image size.
std::string ShotspotPosition(int64_t centre, int32_t low, int32_t high, int32_t size)
{
    if (centre <= low) return Format("s%lld", static_cast<long long>(centre));
    if (centre < high) return Fixed(size > 0 ? static_cast<double>(centre) / size : 0.0);
    return Format("e%lld", static_cast<long long>(static_cast<int64_t>(size) - centre - 1));
}

// Runs one operation; running out of memory is a false result, as the
// interface promises, never an exception through it.
template <typename Operation>
bool Guarded(Operation operation)
{
    try {
        return operation();
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace

TourNorvik* TourNorvik::CreateTourNorvik()
{
    try {
        return new TourNorvikImpl();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

TourNorvik* TourNorvik::DeleteTourNorvik(TourNorvik* tree)
{
    delete static_cast<TourNorvikImpl*>(tree);
    return nullptr;
}

TourNorvikImpl::TourNorvikImpl()
{
    TiXmlElement* root = m_norvik.Document()->LinkEndChild(new TiXmlElement("QuorvaneTour"))->ToElement();
    TiXmlElement* framework = Norvik::ChildElement(root, "framework", true);
    for (const char* list : {"vistaTimeMs_list", "vistaLabel_list", "fileThumbnail_list", "vistaSound_list"})
        Norvik::ChildElement(framework, list, true);
    Norvik::ChildElement(Norvik::ChildElement(root, "viewer", true), "pano_list", true);
    Norvik::ChildElement(Norvik::ChildElement(root, "tourmap", true), "map_list", true);
}

TourNorvikImpl::~TourNorvikImpl() = default;

TiXmlElement* TourNorvikImpl::ListElement(TourListIndex list) const
{
    if (list < 0 || list >= kTourListCount) return nullptr;
    return m_norvik.SelectElement(kListPaths[list]);
}

TiXmlElement* TourNorvikImpl::FindPano(int32_t panoId) const
{
    return m_norvik.SelectById(kListPaths[kTourListPanos], "pano", panoId);
}

TiXmlElement* TourNorvikImpl::FindMap(int32_t mapId) const
{
    return m_norvik.SelectById(kListPaths[kTourListMaps], "map", mapId);
}

TiXmlElement* TourNorvikImpl::FindHotspot(int32_t panoId, int32_t kind, int32_t hotspotId) const
{
    if (!IsHotspotKind(kind)) return nullptr;
    TiXmlElement* list = Norvik::ChildElement(FindPano(panoId), kHotspotLists[kind], false);
    return Norvik::ChildById(list, kHotspotNames[kind], hotspotId);
}

TiXmlElement* TourNorvikImpl::FindCompass(int32_t mapId, int32_t compassId) const
{
    TiXmlElement* list = Norvik::ChildElement(FindMap(mapId), "compass_list", false);
    return Norvik::ChildById(list, "compass", compassId);
}

bool TourNorvikImpl::AddListText(TourListIndex list, const char* name, const char* text)
{
    return Guarded([&] { return AppendText(ListElement(list), name, text ? text : ""); });
}

bool TourNorvikImpl::AddListTextWithId(TourListIndex list, const char* name, const char* text, int32_t id)
{
    return Guarded([&] { return AppendText(ListElement(list), name, text ? text : "", &id); });
}

bool TourNorvikImpl::AddListInt(TourListIndex list, const char* name, int32_t value)
{
    return Guarded([&] { return AddListText(list, name, Decimal(value).c_str()); });
}

bool TourNorvikImpl::AddListHex(TourListIndex list, const char* name, int32_t value)
{
    return Guarded([&] { return AddListText(list, name, Hex(value).c_str()); });
}

bool TourNorvikImpl::AddListIntWithId(TourListIndex list, const char* name, int32_t value, int32_t id)
{
    return Guarded([&] { return AppendText(ListElement(list), name, Decimal(value), &id); });
}

bool TourNorvikImpl::AddListColors(TourListIndex list, const char* name, int32_t off, int32_t over, int32_t click,
                                   int32_t active)
{
    return Guarded([&] {
        TiXmlElement* parent = ListElement(list);
        ElementPtr element = NewElement(name);
        if (!parent || !element) return false;
        SetAttr(*element, "off", Hex6(off));
        SetAttr(*element, "over", Hex6(over));
        SetAttr(*element, "click", Hex6(click));
        SetAttr(*element, "active", Hex6(active));
        Attach(parent, std::move(element));
        return true;
    });
}

bool TourNorvikImpl::AddListBox(TourListIndex list, const char* name, int32_t left, int32_t top, int32_t width,
                                int32_t height, int32_t color, int32_t transparency)
{
    return Guarded([&] {
        TiXmlElement* parent = ListElement(list);
        ElementPtr element = NewElement(name);
        if (!parent || !element) return false;
        // A negative value stands for "not given": the viewer keeps its own.
        if (left >= 0) SetAttrInt(*element, "left", left);
        if (top >= 0) SetAttrInt(*element, "top", top);
        SetAttrInt(*element, "width", width);
        SetAttrInt(*element, "height", height);
        if (color >= 0) SetAttr(*element, "color", Hex6(color));
        // Decimal, like the "transparency" that SetChildAttributeInt puts on
        // the same boxes.
        if (transparency >= 0) SetAttrInt(*element, "transparency", transparency);
        Attach(parent, std::move(element));
        return true;
    });
}

bool TourNorvikImpl::SetChildAttribute(TourListIndex list, const char* childName, const char* attribute,
                                       const char* text)
{
    return Guarded([&] {
        TiXmlElement* parent = ListElement(list);
        if (!parent || !norvik::IsXmlName(childName) || !norvik::IsXmlName(attribute)) return false;
        const std::string value = norvik::XmlCharacterData(text);
        TiXmlElement* child = parent->FirstChildElement(childName);
        if (!child) {
            ElementPtr made = NewElement(childName);
            made->SetAttribute(attribute, value);
            Attach(parent, std::move(made));
            return true;
        }
        const bool existed = child->Attribute(attribute) != nullptr;
        try {
            child->SetAttribute(attribute, value);
        } catch (const std::bad_alloc&) {
            // TinyXML links a new attribute before it names it and gives it
            // its value last: a failure leaves one without a name (printed
            // as ' =""') or without its value. An existing attribute keeps
            // its old value. Removing needs no memory.
            child->RemoveAttribute(static_cast<const char*>(""));
            if (!existed) child->RemoveAttribute(attribute);
            throw;
        }
        return true;
    });
}

bool TourNorvikImpl::SetChildAttributeInt(TourListIndex list, const char* childName, const char* attribute,
                                          int32_t value)
{
    return Guarded([&] { return SetChildAttribute(list, childName, attribute, Decimal(value).c_str()); });
}

bool TourNorvikImpl::AddPano(int32_t id, int32_t vistaType, bool flatView)
{
    return Guarded([&] {
        TiXmlElement* parent = ListElement(kTourListPanos);
        if (!parent) return false;
        ElementPtr pano = NewElement("pano");
        SetAttrInt(*pano, "id", id);
        SetAttrInt(*pano, "vistaType", vistaType);
        SetAttrInt(*pano, "flatView", flatView ? 1 : 0);
        Attach(parent, std::move(pano));
        return true;
    });
}

bool TourNorvikImpl::AddPanoText(int32_t panoId, const char* name, const char* text)
{
    return Guarded([&] { return AppendText(FindPano(panoId), name, ViewerFileText(text)); });
}

bool TourNorvikImpl::AddPanoInt(int32_t panoId, const char* name, int32_t value)
{
    return Guarded([&] { return AddPanoText(panoId, name, Decimal(value).c_str()); });
}

bool TourNorvikImpl::AddPanoFloat(int32_t panoId, const char* name, float value)
{
    return Guarded([&] { return AddPanoText(panoId, name, Fixed(value).c_str()); });
}

bool TourNorvikImpl::AddRoi(int32_t panoId, int32_t roiId, const char* file, int32_t x, int32_t y)
{
    return Guarded([&] {
        TiXmlElement* pano = FindPano(panoId);
        if (!pano) return false;
        ElementPtr roi = NewElement("roi");
        SetAttrInt(*roi, "id", roiId);
        SetAttr(*roi, "file", ViewerFileText(file));
        SetAttrInt(*roi, "x", x);
        SetAttrInt(*roi, "y", y);
        Attach(Norvik::ChildElement(pano, "roi_list", true), std::move(roi));
        return true;
    });
}

bool TourNorvikImpl::AddHotspot(int32_t panoId, int32_t kind, int32_t id, int32_t left, int32_t top, int32_t right,
                                int32_t bottom, const HotspotRange* range, int32_t imageWidth, int32_t imageHeight)
{
    return Guarded([&] {
        if (!IsHotspotKind(kind) || (kind == kHotspotStatic && !range)) return false;
        TiXmlElement* pano = FindPano(panoId);
        if (!pano) return false;
        ElementPtr spot = NewElement(kHotspotNames[kind]);
        SetAttrInt(*spot, "id", id);
        // Sums and differences in 64 bits: the box comes from the caller and
        // must not overflow on its way into the text.
        const int64_t cx = (static_cast<int64_t>(left) + right) / 2;
        const int64_t cy = (static_cast<int64_t>(top) + bottom) / 2;
        const int64_t spanX = static_cast<int64_t>(right) - left;
        const int64_t spanY = static_cast<int64_t>(bottom) - top;
        if (kind == kHotspotDynamic) {
            SetAttrInt(*spot, "left", left);
            SetAttrInt(*spot, "top", top);
            SetAttrInt(*spot, "right", right);
            SetAttrInt(*spot, "bottom", bottom);
        } else if (kind == kHotspotStatic) {
            SetAttr(*spot, "x", ShotspotPosition(cx, range->xLow, range->xHigh, imageWidth));
            SetAttr(*spot, "y", ShotspotPosition(cy, range->yLow, range->yHigh, imageHeight));
            SetAttrInt(*spot, "w", spanX + 1);
            SetAttrInt(*spot, "h", spanY + 1);
        } else {
            SetAttr(*spot, "x", Percent(cx));
            SetAttr(*spot, "y", Percent(cy));
            SetAttr(*spot, "w", Percent(spanX));
            SetAttr(*spot, "h", Percent(spanY));
        }
        Attach(Norvik::ChildElement(pano, kHotspotLists[kind], true), std::move(spot));
        return true;
    });
}

bool TourNorvikImpl::AddHotspotTextStyle(int32_t panoId, int32_t kind, int32_t hotspotId, const char* text,
                                         int32_t showType, const char* font, const char* bold, const char* italic,
                                         int32_t size, int32_t color, int32_t bgColor, int32_t transparency,
                                         int32_t width)
{
    return Guarded([&] {
        TiXmlElement* spot = FindHotspot(panoId, kind, hotspotId);
        if (!spot) return false;
        Attach(spot, TextStyleElement(text, showType, font, bold, italic, size, color, bgColor, transparency, width));
        return true;
    });
}

bool TourNorvikImpl::AddHotspotText(int32_t panoId, int32_t kind, int32_t hotspotId, const char* name,
                                    const char* text)
{
    return Guarded([&] { return AppendText(FindHotspot(panoId, kind, hotspotId), name, ViewerFileText(text)); });
}

bool TourNorvikImpl::AddHotspotInt(int32_t panoId, int32_t kind, int32_t hotspotId, const char* name, int32_t value)
{
    return Guarded([&] { return AddHotspotText(panoId, kind, hotspotId, name, Decimal(value).c_str()); });
}

bool TourNorvikImpl::AddHotspotUrl(int32_t panoId, int32_t kind, int32_t hotspotId, const char* window,
                                   const char* url)
{
    return Guarded([&] {
        TiXmlElement* spot = FindHotspot(panoId, kind, hotspotId);
        if (!spot) return false;
        ElementPtr link = NewElement("toUrl");
        SetAttr(*link, "win", window);
        SetText(*link, url ? url : "");
        Attach(spot, std::move(link));
        return true;
    });
}

bool TourNorvikImpl::AddMap(int32_t id, int32_t zoom0, int32_t x0c, int32_t y0c)
{
    return Guarded([&] {
        TiXmlElement* parent = ListElement(kTourListMaps);
        if (!parent) return false;
        ElementPtr map = NewElement("map");
        SetAttrInt(*map, "id", id);
        SetAttrInt(*map, "zoom0", zoom0);
        SetAttrInt(*map, "x0c", x0c);
        SetAttrInt(*map, "y0c", y0c);
        Attach(parent, std::move(map));
        return true;
    });
}

bool TourNorvikImpl::AddMapText(int32_t mapId, const char* name, const char* text)
{
    return Guarded([&] { return AppendText(FindMap(mapId), name, text ? text : ""); });
}

bool TourNorvikImpl::AddCompass(int32_t mapId, int32_t id, int32_t isValid, int32_t type, int32_t x, int32_t y)
{
    return Guarded([&] {
        TiXmlElement* map = FindMap(mapId);
        if (!map) return false;
        ElementPtr compass = NewElement("compass");
        SetAttrInt(*compass, "id", id);
        SetAttrInt(*compass, "isValid", isValid);
        SetAttrInt(*compass, "type", type);
        SetAttrInt(*compass, "x", x);
        SetAttrInt(*compass, "y", y);
        Attach(Norvik::ChildElement(map, "compass_list", true), std::move(compass));
        return true;
    });
}

bool TourNorvikImpl::AddCompassText(int32_t mapId, int32_t compassId, const char* name, const char* text)
{
    return Guarded([&] { return AppendText(FindCompass(mapId, compassId), name, text ? text : ""); });
}

bool TourNorvikImpl::AddCompassFloat(int32_t mapId, int32_t compassId, const char* name, float value)
{
    return Guarded([&] { return AddCompassText(mapId, compassId, name, Fixed(value).c_str()); });
}

bool TourNorvikImpl::AddFirstMovie(int32_t hotspot, int32_t vistaBench, int32_t tourMap, int32_t controlBar,
                                   int32_t fullScreen, int32_t textDurationMs, const char* text, int32_t showType,
                                   const char* font, const char* bold, const char* italic, int32_t size,
                                   int32_t color, int32_t bgColor, int32_t transparency, int32_t width)
{
    return Guarded([&] {
        TiXmlElement* viewer = ListElement(kTourListViewer);
        if (!viewer) return false;
        ElementPtr movie = NewElement("firstMovie");
        SetAttrInt(*movie, "hotspot", hotspot);
        SetAttrInt(*movie, "vistaBench", vistaBench);
        SetAttrInt(*movie, "tourMap", tourMap);
        SetAttrInt(*movie, "controlBar", controlBar);
        SetAttrInt(*movie, "fullScreen", fullScreen);
        SetAttrInt(*movie, "textDurationMs", textDurationMs);
        Attach(movie.get(),
               TextStyleElement(text, showType, font, bold, italic, size, color, bgColor, transparency, width));
        Attach(viewer, std::move(movie));
        return true;
    });
}

bool TourNorvikImpl::SaveToFile(const char* path)
{
    return Guarded([&] { return m_norvik.SaveFile(path); });
}

// Slots 26 and 27 go through a file on purpose: the text is byte for byte
// what the file writer produces, declaration and line ends included. The
// scratch file is removed once it was written, whatever happens after.

bool TourNorvikImpl::GetXmlString(std::string& text, const char* scratchPath)
{
    std::string scratch;
    bool saved = false;
    std::string read;
    const bool ok = Guarded([&] {
        scratch = systemPath(scratchPath);
        saved = m_norvik.SaveFile(scratch.c_str());
        return saved && Norvik::LoadTextFile(scratch.c_str(), read);
    });
    if (saved) removeSystemFile(scratch);
    if (ok) text.swap(read);
    return ok;
}

char* TourNorvikImpl::GetXmlText(const char* scratchPath)
{
    std::string scratch;
    bool saved = false;
    char* text = nullptr;
    Guarded([&] {
        scratch = systemPath(scratchPath);
        saved = m_norvik.SaveFile(scratch.c_str());
        if (saved) text = loadFile(scratch.c_str());
        return text != nullptr;
    });
    if (saved) removeSystemFile(scratch);
    return text;
}

bool TourNorvikImpl::FreeXmlText(char* text)
{
    // loadFile allocates with malloc in this library.
    const bool held = text != nullptr;
    std::free(text);
    return held;
}
