#include "tour/tessiv/tour_library.h"

#include "tour/tessiv/hot_spot.h"

#include <algorithm>

void TourLibraryState::ResetForNewTour()
{
    vistaLabelStyle = TextStyle();
    vistaLabelStyle.SetFace(TextStyle::kDefaultFace, TextStyle::kDefaultSize, 0);
    highestVistaId = 0;
    highestSoundId = 1;
    highestHotSpotId = 0;
}

TourLibraryState& TourLibrary()
{
    static TourLibraryState state;
    return state;
}

int NewVistaId() { return ++TourLibrary().highestVistaId; }
int NewSoundId() { return ++TourLibrary().highestSoundId; }
int NewHotSpotId() { return ++TourLibrary().highestHotSpotId; }

void NoteVistaId(int id) { TourLibrary().highestVistaId = std::max(TourLibrary().highestVistaId, id); }
void NoteSoundId(int id) { TourLibrary().highestSoundId = std::max(TourLibrary().highestSoundId, id); }
void NoteHotSpotId(int id) { TourLibrary().highestHotSpotId = std::max(TourLibrary().highestHotSpotId, id); }

const TextStyle& TakeHotSpotLabelStyle(const HotSpot* hotSpot)
{
    TextStyle& out = TourLibrary().hotSpotLabelStyle;
    const TextStyle* own = hotSpot ? hotSpot->GetLabelStyle() : nullptr;
    const TextStyle look = own ? *own : TextStyle();
    if (own && own->GetFaceName())
        out.SetFace(own->GetFaceName(), own->GetSize(), own->GetStyle());
    else
        out.SetFace(TextStyle::kDefaultFace, 160, 0);
    out.SetTextColor(look.GetTextColor());
    out.SetBgColor(look.GetBgColor());
    out.SetOpacity(look.GetOpacity());
    return out;
}
