#pragma once
// How long the UI thread goes without turning its event loop while a folder tree shows
// folders of many files and no subfolders: the expansion of their parent, then refresh
// passes through the refresh thread, each followed by a repaint of the rows.

#include <string>

struct StallFigures {
    double expandMs = 0;            // from asking for the expansion to the children drawn
    double longestExpandGapMs = 0;  // the longest gap while expanding
    double longestPassGapMs = 0;    // the longest gap during the passes and their repaints
    int passes = 0;                 // passes applied
};

// Makes `folders` folders of `filesEach` empty files below root/many (once), then shows them
// in a fresh tree rooted at `root` (folders only, no hidden items: as the program's tree).
StallFigures MeasureManyFilesStall(const std::string& root, int folders, int filesEach, int passes);
