#pragma once

#include <QString>

namespace corvane {

// What the main window says when a label is clicked with speech on: a fixed explanation for a
// caption label, or for a value label a fixed phrase followed directly by the value the label
// shows ("The maximum z is" and "12.5" give "The maximum z is12.5"; an empty label gives the
// phrase alone). Labels that say nothing give an empty text.
QString labelAnnouncement(const QString& labelName, const QString& labelText);

// The labels that speak, by object name.
const QStringList& speakingLabels();

}  // namespace corvane
