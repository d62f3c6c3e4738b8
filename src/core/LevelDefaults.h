#pragma once
// The set-up after a drawing was read: burn settings from each level's
// height, a perimeter level after every area level, the outline level last,
// the size boxes and the output size.

class TLevels;

// Perimeter levels get 99 shells for a copper layer, one otherwise.
void ApplyLevelDefaults(TLevels &levels, bool gerberLoaded);
