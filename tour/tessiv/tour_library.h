// Values of a tour that the tour maker keeps once for the whole library
// rather than in the TourProject: the vista label style of the viewers, the
// hot-spot label style, the vista legend flag and the id counters of vistas,
// sounds and hot spots. A new TourProject resets them; the configuration file
// saves and loads the two styles and the flag with the project.
#pragma once

#include "tour/tessiv/text_style.h"

struct TourLibraryState {
    TextStyle vistaLabelStyle;   // "MS Serif", size 200, style 0
    TextStyle hotSpotLabelStyle; // copied from a hot spot's own style when one is written out
    bool vistaLegendInViewer = false;
    int highestVistaId = 0;      // new vista ids are one more
    int highestSoundId = 1;      // new sound ids are one more
    int highestHotSpotId = 0;    // new hot-spot ids are one more: the first is 1

    // What a new tour starts from (the hot-spot style and the legend flag
    // are not the tour's and stay).
    void ResetForNewTour();
};

class HotSpot;

// The one state of the library. The tour maker runs on the user-interface
// thread only.
TourLibraryState& TourLibrary();

// New ids, each one more than the highest given out.
int NewVistaId();
int NewSoundId();
int NewHotSpotId();
// An id chosen elsewhere (a loaded record) raises the counter when higher.
void NoteVistaId(int id);
void NoteSoundId(int id);
void NoteHotSpotId(int id);

// Makes the library's hot-spot label style the look of `hotSpot`'s own label
// style as a hot spot is written out: its face ("MS Serif" at size 160, style
// 0, when it has none), colours and opacity; a hot spot without a style (or
// none) gives black on white. Returns the library's style.
const TextStyle& TakeHotSpotLabelStyle(const HotSpot* hotSpot);
