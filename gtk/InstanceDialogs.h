#pragma once

namespace lumivant::gtk {

// Tells the user that the shell already running for this data root does not
// answer, and waits until the dialog is dismissed. Needs GTK initialised.
void showUnresponsiveInstanceDialog();

}  // namespace lumivant::gtk
