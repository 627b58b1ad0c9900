// The values inside score statements: numbers, beats as ticks, bar:beat
// positions and pitch names. Each returns false, leaving its output unusable,
// when the text is not a valid value of its kind.
#pragma once

#include <string>
#include <vector>

bool ParseInt(const std::string& text, int& out);
bool ParseFloat(const std::string& text, float& out);
// Beats ("2", "2.25", "3/4", "1+1/3") to ticks; false off the tick grid.
bool ParseTicks(const std::string& beats, int& ticks);
// "bar:beat", both 1-based, within a pattern of bars bars, to ticks from its start.
bool ParsePosition(const std::string& text, int bars, int& tick);
// "A4", "C#5", "Bb2" or a MIDI number, 0..127.
bool ParsePitch(const std::string& text, int& pitch);
// Pitches joined by '+': a chord.
bool ParseChord(const std::string& text, std::vector<int>& pitches);
