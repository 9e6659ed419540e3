#include "tour/tessiv/tour_library.h"

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
