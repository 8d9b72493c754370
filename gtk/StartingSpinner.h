#pragma once

#include <gtk/gtk.h>

namespace lumivant::gtk {

// A spinner for the starting indicator, turning while started. It draws an
// image compiled into the shell, in the theme's text colour, instead of the
// theme's spinner icon: that one is an SVG, and drawing it would load an SVG
// renderer into the shell for this one image.
GtkWidget* newStartingSpinner();

}  // namespace lumivant::gtk
