// Music visuals: note strips, the lanes of a piano roll drawn into a layer.
// One strip per distinct pitch of an instrument track; every strip is faintly
// visible, and a strip flashes when its note sounds and glows over its
// neighbours, coloured from blue (lowest pitch) to white (highest).
//
// Sizes are in dots of the layer (row-major, y down). Times are song times in
// seconds on the soundtrack clock; the timeline queries add the lead, the
// flash decay uses the current time as given.
//
// The record is owned by a scene and drawn on its render thread. Without a
// loaded timeline, notes or size the layer is only cleared.
#pragma once

#include <cstdint>
#include <vector>

#include "music/music.h"
#include "render/compositor.h"

struct NoteStrips {
    MusicKind kind = MusicKind::Serum3;  // the track that drives the strips
    bool horizontal =
        false;            // false: columns, lowest pitch left; true: bands, lowest at the bottom
    float width = 0.42f;  // strip thickness as a fraction of the lane pitch
    float soft = 1.2f;    // glow reach beyond a strip edge, in strip thicknesses
    float decay = 0.35f;  // seconds: time constant of a flash
    uint8_t base = 22;    // alpha of an idle strip
    uint8_t peak = 235;   // alpha of a flash at intensity 1
    float window = 10.971429f;     // seconds after the scene start whose notes make the strips
    std::vector<int32_t> pitches;  // the distinct pitches, ascending
    double lastStart = -1;         // the scene start the pitches were collected for

    // Clears layer and draws the strips for song time now. The layer must be
    // dotW x dotH dots (otherwise it is only cleared); sceneStart is the song
    // time at which the scene began.
    void Draw(Layer& layer, int dotW, int dotH, double sceneStart, double now);
};
