#pragma once
// How long the UI thread goes without turning its event loop while a folder tree shows
// folders of many files and no subfolders: the expansion of their parent, then refresh
// passes through the refresh thread, each followed by a repaint of the rows. Also how long
// each pass takes from the refresh thread taking it to the tree showing it, and how often
// the folders of many files are read meanwhile.

#include <string>

struct StallFigures {
    double expandMs = 0;            // from asking for the expansion to the children drawn
    double longestExpandGapMs = 0;  // the longest gap while expanding
    double longestPassGapMs = 0;    // the longest gap during the passes and their repaints
    int passes = 0;                 // passes applied
    // The median and the slowest pass, from the refresh thread taking the batch to the tree
    // showing the folder made for the pass (its result applied).
    double medianPassMs = 0;
    double slowestPassMs = 0;
    int expandReads = 0;  // reads of the folders of many files while expanding
    int passReads = 0;    // and during the passes
};

// Makes `folders` folders of `filesEach` empty files below root/many.
void MakeFoldersOfFiles(const std::string& root, int folders, int filesEach);
// Once those folders are over two seconds old, as folders the user has not just filled
// (bench::WaitUntilSettled), shows them in a fresh tree rooted at `root` (folders only, no
// hidden items: as the program's tree), expands root/many and runs `passes` passes; without
// `useLinkCounts` the tree works as on a file system that keeps no link counts (btrfs).
StallFigures MeasureManyFilesStall(const std::string& root, int folders, int passes,
                                   bool useLinkCounts = true);
