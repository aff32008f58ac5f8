#pragma once

#include <QString>

namespace corvane {

// The folder the Open dialog starts in. In the build tree the samples sit in the folder
// "samples" beside the program; an installed program finds them in the data folder of its own
// installation (<program folder>/../share/corvane/samples under the usual layout), located
// relative to the program so that any prefix, and a staged installation under DESTDIR, works.
// When neither folder exists the dialog is pointed at the folder beside the program, as before.
QString samplesFolder(const QString& programFolder);

}  // namespace corvane
