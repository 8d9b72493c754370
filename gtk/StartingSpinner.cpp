#include "StartingSpinner.h"

#include "GObjectPtr.h"

// Made by glib-compile-resources from resources/shell.gresource.xml; the
// resource registers itself when the shell starts.
extern "C" GResource* lumivant_shell_get_resource(void);

namespace lumivant::gtk {

namespace {

// -gtk-recolor paints a symbolic image in the style's colours, as the theme's
// own icon would be; -gtk-scaled picks the larger image on scaled displays.
constexpr char kSpinnerStyle[] = R"css(
spinner {
  -gtk-icon-source: -gtk-scaled(
      -gtk-recolor(url("resource:///org/lumivant/shell/starting-spinner-32.symbolic.png")),
      -gtk-recolor(url("resource:///org/lumivant/shell/starting-spinner-64.symbolic.png")));
}
)css";

}  // namespace

GtkWidget* newStartingSpinner() {
  // Referring to the resource keeps it in the link, and so registered.
  (void)lumivant_shell_get_resource();
  GtkWidget* spinner = gtk_spinner_new();
  auto style = GObjectPtr<GtkCssProvider>::adopt(gtk_css_provider_new());
  gtk_css_provider_load_from_data(style.get(), kSpinnerStyle, -1, nullptr);
  gtk_style_context_add_provider(gtk_widget_get_style_context(spinner),
                                 GTK_STYLE_PROVIDER(style.get()),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  return spinner;
}

}  // namespace lumivant::gtk
