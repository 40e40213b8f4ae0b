#pragma once
// The Save command: it fills the saving dialog, runs it and, on OK, saves the series from
// the dialog's entries. The save itself (SavePackage.h) knows nothing of the dialog; this
// unit is where the two meet. UI thread only.

#include <QStringList>

#include "app/Saving/SavePackage.h"

class TSavingForm;
class TProgressForm;

// Shows the save's progress in the progress box and paints it at once; to get it on the
// screen, events other than user input are let through at each step.
TSaveProgress ProgressOn(TProgressForm* form);

// The Save command: an empty series does nothing. Otherwise the dialog gets the time
// stamp as its additional path, the picture count and the pictures' extensions, runs
// modally, and on OK the package is saved from its entries, its file-system work off the
// UI thread unless the services say otherwise. Returns whether a save ran.
bool SaveSeriesAsPackage(const QStringList& series, TSavingForm& dialog,
                         TSaveServices services = {});
