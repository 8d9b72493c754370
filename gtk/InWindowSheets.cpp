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
    GtkWidget* child = nullptr;
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

// The first widget of the type within widget, its own children included, that
// is visible.
GtkWidget* firstVisible(GtkWidget* widget, GType type) {
  if (!gtk_widget_get_visible(widget)) return nullptr;
  if (G_TYPE_CHECK_INSTANCE_TYPE(widget, type)) return widget;
  if (!GTK_IS_CONTAINER(widget)) return nullptr;
  struct Search {
    GType type = G_TYPE_INVALID;
    GtkWidget* found = nullptr;
  } search{type};
  gtk_container_forall(
      GTK_CONTAINER(widget),
      [](GtkWidget* child, gpointer data) {
        auto* search = static_cast<Search*>(data);
        if (!search->found) search->found = firstVisible(child, search->type);
      },
      &search);
  return search.found;
}

// A file chooser's room in a window of that size: as much as a chooser dialog
// takes, less in a small window, with a margin all round. The height leaves
// out the title bar so that the sheet still centres on the whole window.
constexpr int kChooserWidth = 820;
constexpr int kChooserHeight = 580;
constexpr int kChooserMargin = 24;

}  // namespace

// The widgets of the sheet on show, each held until the sheet is answered.
struct InWindowSheets::Shown {
  GObjectPtr<GtkWidget> scrim;
  GObjectPtr<GtkWidget> sheet;
  GtkWidget* field = nullptr;  // owned by the sheet
  std::vector<GtkWidget*> buttons;
  GtkWidget* chooser = nullptr;  // owned by the sheet, as are the two below
  GtkWidget* accept = nullptr;
  GtkWidget* notice = nullptr;  // asks before a file is replaced
  std::string acceptLabel;
  std::string replaceConfirmed;  // the existing file the user chose to replace
  GObjectPtr<GtkWidget> focusBefore;
  std::function<void(Answer)> done;
  std::shared_ptr<SheetWithdrawal> withdrawal;

  ~Shown() {
    if (withdrawal) withdrawal->whileShown(nullptr);
    // Unmapped while its windows are still there: a chooser unmapped stops
    // loading a folder, and what it loaded so far may still ask to be drawn.
    gtk_widget_hide(sheet.get());
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
  if (shown_ && shown_->chooser) g_signal_handlers_disconnect_by_data(shown_->chooser, this);
  // Dropping the completions answers them as closed, in the order asked.
  shown_.reset();
  waiting_.clear();
  if (GTK_IS_WIDGET(body_)) gtk_widget_set_sensitive(body_, TRUE);
}

void InWindowSheets::runAlert(const AlertSheet& alert, std::function<void(long)> done) {
  auto once = answerOnce<long>(std::move(done), {0});
  if (closing_) return;
  waiting_.push_back({alert.messageText, alert.informativeText, alert.buttons, std::nullopt,
                      std::nullopt, [once](const Answer& answer) { once(answer.response); },
                      alert.withdrawal});
  showNext();
}

void InWindowSheets::runPrompt(const PromptSheet& prompt,
                               std::function<void(long, std::string)> done) {
  auto once = answerOnce<long, std::string>(std::move(done), {0, std::string()});
  if (closing_) return;
  waiting_.push_back({prompt.messageText,
                      {},
                      prompt.buttons,
                      prompt.defaultText,
                      std::nullopt,
                      [once](Answer answer) { once(answer.response, std::move(answer.text)); }});
  showNext();
}

void InWindowSheets::runSavePanel(const SavePanelSheet& panel,
                                  std::function<void(std::optional<std::string>)> done) {
  auto once = answerOnce<std::optional<std::string>>(std::move(done), {std::nullopt});
  if (closing_) return;
  Chooser chooser{savePanelLook(panel),
                  [panel](GtkFileChooser* widget) { setUpSavePanel(widget, panel); }};
  waiting_.push_back({{}, {}, {}, std::nullopt, std::move(chooser), [once](Answer answer) {
                        if (answer.paths.empty()) return once(std::nullopt);
                        once(std::move(answer.paths.front()));
                      }});
  showNext();
}

void InWindowSheets::runOpenPanel(
    const OpenPanelSheet& panel,
    std::function<void(std::optional<std::vector<std::string>>)> done) {
  using Paths = std::optional<std::vector<std::string>>;
  auto once = answerOnce<Paths>(std::move(done), {std::nullopt});
  if (closing_) return;
  Chooser chooser{openPanelLook(panel),
                  [panel](GtkFileChooser* widget) { setUpOpenPanel(widget, panel); }};
  waiting_.push_back({{}, {}, {}, std::nullopt, std::move(chooser), [once](Answer answer) {
                        if (answer.paths.empty()) return once(std::nullopt);
                        once(std::move(answer.paths));
                      }});
  showNext();
}

void InWindowSheets::showNext() {
  while (!shown_ && !waiting_.empty()) {
    Request next = std::move(waiting_.front());
    waiting_.pop_front();
    // A question that stopped standing while it waited is never shown.
    if (next.withdrawal && next.withdrawal->withdrawn()) {
      next.done(Answer{});
      continue;
    }
    show(std::move(next));
  }
}

void InWindowSheets::show(Request request) {
  GtkWidget* overlay = overlay_.get();
  addSheetStyleOnce(overlay);
  auto shown = std::make_unique<Shown>();
  shown->done = std::move(request.done);
  shown->withdrawal = std::move(request.withdrawal);
  if (shown->withdrawal) shown->withdrawal->whileShown([this] { answer(Answer{}); });
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
  shown->sheet = GObjectPtr<GtkWidget>::retain(sheet);
  GtkWidget* content =
      request.chooser ? buildChooser(*request.chooser, *shown) : buildMessage(request, *shown);
  g_object_set(content, "margin", 18, nullptr);
  gtk_box_pack_start(GTK_BOX(sheet), content, TRUE, TRUE, 0);
  g_signal_connect(sheet, "key-press-event", G_CALLBACK(onKeyPress), this);

  GtkWidget* defaultButton = shown->accept ? shown->accept : shown->buttons.front();
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
  if (shown_->chooser) {
    // As the chooser dialog does: the name field when saving, else the list
    // of files.
    GtkWidget* chooser = shown_->chooser;
    const bool saving =
        gtk_file_chooser_get_action(GTK_FILE_CHOOSER(chooser)) == GTK_FILE_CHOOSER_ACTION_SAVE;
    focus = firstVisible(chooser, saving ? GTK_TYPE_ENTRY : GTK_TYPE_TREE_VIEW);
    // The chooser's name field has no name of its own for assistive
    // technology: its label is not tied to it in this chooser.
    if (saving && focus) atk_object_set_name(gtk_widget_get_accessible(focus), "文件名");
    if (!focus) focus = defaultButton;
  }
  gtk_widget_grab_focus(focus);
}

GtkWidget* InWindowSheets::buildMessage(const Request& request, Shown& shown) {
  // As wide as a message dialog at the least, so that a short question does
  // not squeeze its buttons.
  gtk_widget_set_size_request(shown.sheet.get(), 360, -1);
  // Read as the dialog it stands for: an alert named by its message.
  AtkObject* accessible = gtk_widget_get_accessible(shown.sheet.get());
  atk_object_set_role(accessible, ATK_ROLE_ALERT);
  atk_object_set_name(accessible, request.message.c_str());

  GtkWidget* content = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
  gtk_box_pack_start(GTK_BOX(content),
                     newWrappingLabel(request.message, !request.informative.empty()), FALSE, FALSE,
                     0);
  if (!request.informative.empty()) {
    gtk_box_pack_start(GTK_BOX(content), newWrappingLabel(request.informative, false), FALSE, FALSE,
                       0);
  }
  if (request.field) {
    shown.field = gtk_entry_new();
    gtk_entry_set_text(GTK_ENTRY(shown.field), request.field->c_str());
    gtk_entry_set_activates_default(GTK_ENTRY(shown.field), TRUE);
    gtk_box_pack_start(GTK_BOX(content), shown.field, FALSE, FALSE, 0);
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
    shown.buttons.push_back(button);
  }
  gtk_box_pack_start(GTK_BOX(content), row, FALSE, FALSE, 0);
  return content;
}

GtkWidget* InWindowSheets::buildChooser(const Chooser& chooser, Shown& shown) {
  // Read as the chooser dialog it stands for, named by its title.
  AtkObject* accessible = gtk_widget_get_accessible(shown.sheet.get());
  atk_object_set_role(accessible, ATK_ROLE_DIALOG);
  atk_object_set_name(accessible, chooser.look.title.c_str());

  GtkWidget* content = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
  GtkWidget* title = newWrappingLabel(chooser.look.title, true);
  gtk_box_pack_start(GTK_BOX(content), title, FALSE, FALSE, 0);

  shown.chooser = gtk_file_chooser_widget_new(chooser.look.action);
  chooser.setUp(GTK_FILE_CHOOSER(shown.chooser));
  g_signal_connect(shown.chooser, "file-activated", G_CALLBACK(onFileActivated), this);
  g_signal_connect(shown.chooser, "selection-changed", G_CALLBACK(onChosenChanged), this);
  g_signal_connect(shown.chooser, "current-folder-changed", G_CALLBACK(onChosenChanged), this);
  // The chooser shows and hides its own parts: showing all of the sheet must
  // not show them all.
  gtk_widget_set_no_show_all(shown.chooser, TRUE);
  gtk_widget_show(shown.chooser);
  gtk_box_pack_start(GTK_BOX(content), shown.chooser, TRUE, TRUE, 0);

  shown.notice = gtk_label_new(nullptr);
  gtk_label_set_line_wrap(GTK_LABEL(shown.notice), TRUE);
  gtk_widget_set_halign(shown.notice, GTK_ALIGN_START);
  gtk_widget_set_no_show_all(shown.notice, TRUE);  // until a file would be replaced
  gtk_box_pack_start(GTK_BOX(content), shown.notice, FALSE, FALSE, 0);

  // Cancel on the left of the default button, as in the chooser dialog.
  GtkWidget* row = gtk_button_box_new(GTK_ORIENTATION_HORIZONTAL);
  gtk_button_box_set_layout(GTK_BUTTON_BOX(row), GTK_BUTTONBOX_END);
  gtk_box_set_spacing(GTK_BOX(row), 6);
  GtkWidget* cancel = gtk_button_new_with_label(kCancelChooserButton);
  g_signal_connect(cancel, "clicked", G_CALLBACK(onCancelClicked), this);
  shown.acceptLabel = chooser.look.acceptLabel;
  shown.accept = gtk_button_new_with_label(shown.acceptLabel.c_str());
  g_signal_connect(shown.accept, "clicked", G_CALLBACK(onAcceptClicked), this);
  gtk_container_add(GTK_CONTAINER(row), cancel);
  gtk_container_add(GTK_CONTAINER(row), shown.accept);
  gtk_box_pack_start(GTK_BOX(content), row, FALSE, FALSE, 0);
  return content;
}

void InWindowSheets::answer(Answer given) {
  if (!shown_) return;
  std::unique_ptr<Shown> answered = std::move(shown_);
  if (answered->field) given.text = gtk_entry_get_text(GTK_ENTRY(answered->field));
  if (answered->chooser) g_signal_handlers_disconnect_by_data(answered->chooser, this);
  auto done = std::move(answered->done);
  GObjectPtr<GtkWidget> focusBefore = std::move(answered->focusBefore);
  answered.reset();
  gtk_widget_set_sensitive(body_, TRUE);
  // The keyboard goes back where it was, unless that is gone meanwhile.
  if (focusBefore &&
      gtk_widget_get_toplevel(focusBefore.get()) == gtk_widget_get_toplevel(overlay_.get())) {
    gtk_widget_grab_focus(focusBefore.get());
  }
  done(std::move(given));
  showNext();
}

void InWindowSheets::acceptChosen() {
  if (!shown_ || !shown_->chooser) return;
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(shown_->chooser);
  std::vector<std::string> paths = chosenPaths(chooser);
  if (paths.empty()) return;  // nothing named or selected yet
  const GtkFileChooserAction action = gtk_file_chooser_get_action(chooser);
  // A folder given where a file is wanted is opened, as the chooser dialog
  // does.
  if (action != GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER && paths.size() == 1 &&
      g_file_test(paths.front().c_str(), G_FILE_TEST_IS_DIR)) {
    gtk_file_chooser_set_current_folder(chooser, paths.front().c_str());
    if (action == GTK_FILE_CHOOSER_ACTION_SAVE) gtk_file_chooser_set_current_name(chooser, "");
    return;
  }
  // An existing file is replaced only once the user has said so.
  if (action == GTK_FILE_CHOOSER_ACTION_SAVE &&
      g_file_test(paths.front().c_str(), G_FILE_TEST_EXISTS) &&
      shown_->replaceConfirmed != paths.front()) {
    shown_->replaceConfirmed = paths.front();
    g_autofree char* name = g_path_get_basename(paths.front().c_str());
    g_autofree char* question =
        g_strdup_printf("名为“%s”的文件已经存在。再按“替换”将覆盖它。", name);
    gtk_label_set_text(GTK_LABEL(shown_->notice), question);
    gtk_widget_show(shown_->notice);
    gtk_button_set_label(GTK_BUTTON(shown_->accept), "替换");
    return;
  }
  answer({1, {}, std::move(paths)});
}

void InWindowSheets::onAcceptClicked(GtkButton*, gpointer self) {
  static_cast<InWindowSheets*>(self)->acceptChosen();
}

void InWindowSheets::onCancelClicked(GtkButton*, gpointer self) {
  static_cast<InWindowSheets*>(self)->answer({});
}

void InWindowSheets::onFileActivated(GtkFileChooser*, gpointer self) {
  static_cast<InWindowSheets*>(self)->acceptChosen();
}

void InWindowSheets::onChosenChanged(GtkFileChooser*, gpointer data) {
  // Another file chosen: the question about replacing the last one is moot.
  auto* self = static_cast<InWindowSheets*>(data);
  if (!self->shown_ || self->shown_->replaceConfirmed.empty()) return;
  self->shown_->replaceConfirmed.clear();
  gtk_widget_hide(self->shown_->notice);
  gtk_button_set_label(GTK_BUTTON(self->shown_->accept), self->shown_->acceptLabel.c_str());
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
  const int titleBar = titleBarHeight(self->overlay_.get());
  const int middle = (height - titleBar) / 2;
  if (self->shown_->chooser) {
    natural.width = std::max(kChooserWidth, natural.width);
    natural.width = std::min(natural.width, width - 2 * kChooserMargin);
    natural.height = std::max(kChooserHeight, natural.height);
    natural.height = std::min(natural.height, height - titleBar - 2 * kChooserMargin);
    // Never below what the sheet needs, however small the window.
    GtkRequisition minimum;
    gtk_widget_get_preferred_size(child, &minimum, nullptr);
    natural.width = std::max(natural.width, minimum.width);
    natural.height = std::max(natural.height, minimum.height);
  }
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
  self->answer({kAlertFirstButtonReturn + static_cast<long>(index), {}, {}});
}

gboolean InWindowSheets::onKeyPress(GtkWidget*, GdkEventKey* event, gpointer data) {
  if (event->keyval != GDK_KEY_Escape) return FALSE;
  static_cast<InWindowSheets*>(data)->answer({});
  return TRUE;
}

}  // namespace lumivant::gtk
