#include "InWindowSheets.h"

#include <algorithm>

#include "AnswerOnce.h"
#include "GtkSheets.h"

namespace lumivant::gtk {

namespace {

// The scrim dims the body so that it reads as out of reach; the sheet is drawn
// as the theme draws a dialog's background, raised above the body.
constexpr char kSheetStyle[] = R"css(
.in-window-sheet-scrim { background-color: rgba(0, 0, 0, 0.3); }
.in-window-sheet {
  border-radius: 8px;
  border: 1px solid alpha(black, 0.25);
  box-shadow: 0 3px 12px alpha(black, 0.4);
}
)css";

void addSheetStyleOnce(GtkWidget* widget) {
  static bool added = false;
  if (added) return;
  added = true;
  auto style = GObjectPtr<GtkCssProvider>::adopt(gtk_css_provider_new());
  gtk_css_provider_load_from_data(style.get(), kSheetStyle, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(widget),
                                            GTK_STYLE_PROVIDER(style.get()),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

// The height of what the toplevel draws above its child: the client-side title
// bar, when the window draws its own. Nothing when the window system draws it.
int titleBarHeight(GtkWidget* body) {
  GtkWidget* toplevel = gtk_widget_get_toplevel(body);
  if (!GTK_IS_WINDOW(toplevel)) return 0;
  struct Search {
    GtkWidget* child;
    int height = 0;
  } search{gtk_bin_get_child(GTK_BIN(toplevel))};
  // forall, unlike foreach, also visits the window's own title bar.
  gtk_container_forall(
      GTK_CONTAINER(toplevel),
      [](GtkWidget* widget, gpointer data) {
        auto* found = static_cast<Search*>(data);
        if (widget != found->child && gtk_widget_get_visible(widget)) {
          found->height += gtk_widget_get_allocated_height(widget);
        }
      },
      &search);
  return search.height;
}

GtkWidget* newWrappingLabel(const std::string& text, bool bold) {
  GtkWidget* label = gtk_label_new(text.c_str());
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(label), 50);
  gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_CENTER);
  if (bold) {
    PangoAttrList* attributes = pango_attr_list_new();
    pango_attr_list_insert(attributes, pango_attr_weight_new(PANGO_WEIGHT_BOLD));
    gtk_label_set_attributes(GTK_LABEL(label), attributes);
    pango_attr_list_unref(attributes);
  }
  return label;
}

}  // namespace

// The widgets of the sheet on show, each held until the sheet is answered.
struct InWindowSheets::Shown {
  GObjectPtr<GtkWidget> scrim;
  GObjectPtr<GtkWidget> sheet;
  GtkWidget* field = nullptr;  // owned by the sheet
  std::vector<GtkWidget*> buttons;
  GObjectPtr<GtkWidget> focusBefore;
  std::function<void(long, std::string)> done;

  ~Shown() {
    gtk_widget_destroy(sheet.get());
    gtk_widget_destroy(scrim.get());
  }
};

InWindowSheets::InWindowSheets(GtkWidget* body)
    : overlay_(GObjectPtr<GtkWidget>::adopt(GTK_WIDGET(g_object_ref_sink(gtk_overlay_new())))),
      body_(body) {
  gtk_container_add(GTK_CONTAINER(overlay_.get()), body);
  g_signal_connect(overlay_.get(), "get-child-position", G_CALLBACK(onChildPosition), this);
}

InWindowSheets::~InWindowSheets() {
  closing_ = true;
  g_signal_handlers_disconnect_by_data(overlay_.get(), this);
  // Dropping the completions answers them as closed, in the order asked.
  shown_.reset();
  waiting_.clear();
  if (GTK_IS_WIDGET(body_)) gtk_widget_set_sensitive(body_, TRUE);
}

void InWindowSheets::runAlert(const AlertSheet& alert, std::function<void(long)> done) {
  auto once = answerOnce<long>(std::move(done), {0});
  if (closing_) return;
  waiting_.push_back({alert.messageText, alert.informativeText, alert.buttons, std::nullopt,
                      [once](long response, const std::string&) { once(response); }});
  showNext();
}

void InWindowSheets::runPrompt(const PromptSheet& prompt,
                               std::function<void(long, std::string)> done) {
  auto once = answerOnce<long, std::string>(std::move(done), {0, std::string()});
  if (closing_) return;
  waiting_.push_back({prompt.messageText, {}, prompt.buttons, prompt.defaultText, once});
  showNext();
}

void InWindowSheets::showNext() {
  if (shown_ || waiting_.empty()) return;
  Request next = std::move(waiting_.front());
  waiting_.pop_front();
  show(std::move(next));
}

void InWindowSheets::show(Request request) {
  GtkWidget* overlay = overlay_.get();
  addSheetStyleOnce(overlay);
  auto shown = std::make_unique<Shown>();
  shown->done = std::move(request.done);
  GtkWidget* toplevel = gtk_widget_get_toplevel(overlay);
  if (GTK_IS_WINDOW(toplevel)) {
    shown->focusBefore = GObjectPtr<GtkWidget>::retain(gtk_window_get_focus(GTK_WINDOW(toplevel)));
  }

  // An event box has a window of its own, and so takes the clicks meant for
  // the body below.
  GtkWidget* scrim = gtk_event_box_new();
  gtk_style_context_add_class(gtk_widget_get_style_context(scrim), "in-window-sheet-scrim");
  shown->scrim = GObjectPtr<GtkWidget>::retain(scrim);

  GtkWidget* sheet = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  GtkStyleContext* style = gtk_widget_get_style_context(sheet);
  gtk_style_context_add_class(style, "in-window-sheet");
  gtk_style_context_add_class(style, GTK_STYLE_CLASS_BACKGROUND);
  // As wide as a message dialog at the least, so that a short question does
  // not squeeze its buttons.
  gtk_widget_set_size_request(sheet, 360, -1);
  shown->sheet = GObjectPtr<GtkWidget>::retain(sheet);
  // Read as the dialog it stands for: an alert named by its message.
  AtkObject* accessible = gtk_widget_get_accessible(sheet);
  atk_object_set_role(accessible, ATK_ROLE_ALERT);
  atk_object_set_name(accessible, request.message.c_str());

  GtkWidget* content = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
  g_object_set(content, "margin", 18, nullptr);
  gtk_box_pack_start(GTK_BOX(sheet), content, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(content),
                     newWrappingLabel(request.message, !request.informative.empty()), FALSE, FALSE,
                     0);
  if (!request.informative.empty()) {
    gtk_box_pack_start(GTK_BOX(content), newWrappingLabel(request.informative, false), FALSE, FALSE,
                       0);
  }
  if (request.field) {
    shown->field = gtk_entry_new();
    gtk_entry_set_text(GTK_ENTRY(shown->field), request.field->c_str());
    gtk_entry_set_activates_default(GTK_ENTRY(shown->field), TRUE);
    gtk_box_pack_start(GTK_BOX(content), shown->field, FALSE, FALSE, 0);
  }
  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_box_set_homogeneous(GTK_BOX(row), TRUE);
  gtk_widget_set_margin_top(row, 6);
  const std::vector<std::string> labels =
      request.buttons.empty() ? std::vector<std::string>{kDefaultAlertButton} : request.buttons;
  for (const std::string& label : labels) {
    GtkWidget* button = gtk_button_new_with_label(label.c_str());
    g_signal_connect(button, "clicked", G_CALLBACK(onButtonClicked), this);
    gtk_box_pack_start(GTK_BOX(row), button, TRUE, TRUE, 0);
    shown->buttons.push_back(button);
  }
  gtk_box_pack_start(GTK_BOX(content), row, FALSE, FALSE, 0);
  g_signal_connect(sheet, "key-press-event", G_CALLBACK(onKeyPress), this);

  GtkWidget* defaultButton = shown->buttons.front();
  GtkWidget* focus = shown->field ? shown->field : defaultButton;
  shown_ = std::move(shown);

  gtk_widget_set_sensitive(body_, FALSE);
  gtk_overlay_add_overlay(GTK_OVERLAY(overlay), scrim);
  gtk_overlay_add_overlay(GTK_OVERLAY(overlay), sheet);
  gtk_widget_show_all(scrim);
  gtk_widget_show_all(sheet);
  gtk_style_context_add_class(gtk_widget_get_style_context(defaultButton),
                              GTK_STYLE_CLASS_SUGGESTED_ACTION);
  gtk_widget_set_can_default(defaultButton, TRUE);
  gtk_widget_grab_default(defaultButton);
  gtk_widget_grab_focus(focus);
}

void InWindowSheets::answer(long response) {
  if (!shown_) return;
  std::unique_ptr<Shown> answered = std::move(shown_);
  const std::string text =
      answered->field ? gtk_entry_get_text(GTK_ENTRY(answered->field)) : std::string();
  auto done = std::move(answered->done);
  GObjectPtr<GtkWidget> focusBefore = std::move(answered->focusBefore);
  answered.reset();
  gtk_widget_set_sensitive(body_, TRUE);
  // The keyboard goes back where it was, unless that is gone meanwhile.
  if (focusBefore &&
      gtk_widget_get_toplevel(focusBefore.get()) == gtk_widget_get_toplevel(overlay_.get())) {
    gtk_widget_grab_focus(focusBefore.get());
  }
  done(response, text);
  showNext();
}

gboolean InWindowSheets::onChildPosition(GtkOverlay*, GtkWidget* child, GdkRectangle* place,
                                         gpointer data) {
  auto* self = static_cast<InWindowSheets*>(data);
  if (!self->shown_ || child != self->shown_->sheet.get()) return FALSE;
  GtkRequisition natural;
  gtk_widget_get_preferred_size(child, nullptr, &natural);
  const int width = gtk_widget_get_allocated_width(self->overlay_.get());
  const int height = gtk_widget_get_allocated_height(self->overlay_.get());
  // The window's middle lies half a title bar above the middle of its body.
  const int middle = (height - titleBarHeight(self->overlay_.get())) / 2;
  place->width = std::min(natural.width, width);
  place->height = std::min(natural.height, height);
  place->x = (width - place->width) / 2;
  place->y = std::clamp(middle - place->height / 2, 0, height - place->height);
  return TRUE;
}

void InWindowSheets::onButtonClicked(GtkButton* button, gpointer data) {
  auto* self = static_cast<InWindowSheets*>(data);
  if (!self->shown_) return;
  const auto& buttons = self->shown_->buttons;
  const auto index =
      std::find(buttons.begin(), buttons.end(), GTK_WIDGET(button)) - buttons.begin();
  self->answer(kAlertFirstButtonReturn + static_cast<long>(index));
}

gboolean InWindowSheets::onKeyPress(GtkWidget*, GdkEventKey* event, gpointer data) {
  if (event->keyval != GDK_KEY_Escape) return FALSE;
  static_cast<InWindowSheets*>(data)->answer(0);
  return TRUE;
}

}  // namespace lumivant::gtk
