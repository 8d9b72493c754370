#include "GtkDownloadRows.h"

#include <set>

namespace lumivant::gtk {

GtkDownloadRows::GtkDownloadRows()
    : box_(GObjectPtr<GtkWidget>::adopt(
          GTK_WIDGET(g_object_ref_sink(gtk_box_new(GTK_ORIENTATION_VERTICAL, 0))))) {
  // The window's show_all must not show an empty strip.
  gtk_widget_set_no_show_all(box_.get(), TRUE);
  AtkObject* strip = gtk_widget_get_accessible(box_.get());
  atk_object_set_role(strip, ATK_ROLE_LIST);
  atk_object_set_name(strip, "下载");
}

// Destroying the strip destroys its buttons, so none can call into a row that
// is gone; the window may have destroyed them already.
GtkDownloadRows::~GtkDownloadRows() { gtk_widget_destroy(box_.get()); }

void GtkDownloadRows::show(const std::vector<DownloadRow>& rows) {
  std::set<uint64_t> wanted;
  for (const DownloadRow& row : rows) wanted.insert(row.id);
  for (auto it = rows_.begin(); it != rows_.end();) {
    if (wanted.count(it->first)) {
      ++it;
      continue;
    }
    g_signal_handlers_disconnect_by_data(it->second->button, it->second.get());
    gtk_widget_destroy(it->second->box);
    it = rows_.erase(it);
  }
  int position = 0;
  for (const DownloadRow& row : rows) {
    auto& widgets = rows_[row.id];
    if (!widgets) {
      widgets = makeRow(row);
      gtk_box_pack_start(GTK_BOX(box_.get()), widgets->box, FALSE, FALSE, 0);
    }
    gtk_box_reorder_child(GTK_BOX(box_.get()), widgets->box, position++);
    update(*widgets, row);
  }
  gtk_widget_set_visible(box_.get(), !rows_.empty());
}

GtkWidget* GtkDownloadRows::rowWidget(uint64_t id) const {
  auto it = rows_.find(id);
  return it == rows_.end() ? nullptr : it->second->box;
}

std::unique_ptr<GtkDownloadRows::Row> GtkDownloadRows::makeRow(const DownloadRow& row) {
  auto widgets = std::make_unique<Row>();
  widgets->box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
  atk_object_set_role(gtk_widget_get_accessible(widgets->box), ATK_ROLE_LIST_ITEM);
  g_object_set(widgets->box, "margin", 6, nullptr);
  widgets->label = gtk_label_new(nullptr);
  gtk_label_set_ellipsize(GTK_LABEL(widgets->label), PANGO_ELLIPSIZE_MIDDLE);
  gtk_label_set_max_width_chars(GTK_LABEL(widgets->label), 48);
  widgets->bar = gtk_progress_bar_new();
  gtk_widget_set_valign(widgets->bar, GTK_ALIGN_CENTER);
  widgets->button = gtk_button_new_with_label(kCancelDownloadButton);
  g_signal_connect(widgets->button, "clicked", G_CALLBACK(onCancelClicked), widgets.get());
  gtk_box_pack_start(GTK_BOX(widgets->box), widgets->label, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(widgets->box), widgets->bar, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(widgets->box), widgets->button, FALSE, FALSE, 0);
  gtk_widget_show_all(widgets->box);
  widgets->cancel = row.cancel;
  return widgets;
}

// What assistive technology reads for a row: each of its controls says which
// download it belongs to, since a screen reader reads them one at a time.
void GtkDownloadRows::nameForAssistiveTechnology(const Row& widgets, const std::string& label) {
  atk_object_set_name(gtk_widget_get_accessible(widgets.box), label.c_str());
  atk_object_set_name(gtk_widget_get_accessible(widgets.bar), ("进度：" + label).c_str());
  atk_object_set_name(gtk_widget_get_accessible(widgets.button), ("取消：" + label).c_str());
}

void GtkDownloadRows::update(Row& widgets, const DownloadRow& row) {
  if (row.label != gtk_label_get_text(GTK_LABEL(widgets.label))) {
    nameForAssistiveTechnology(widgets, row.label);
  }
  gtk_label_set_text(GTK_LABEL(widgets.label), row.label.c_str());
  if (row.fraction) {
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(widgets.bar), *row.fraction);
  } else if (const gint64 now = g_get_monotonic_time();
             now - widgets.lastPulse >= kPulseIntervalMicroseconds) {
    gtk_progress_bar_pulse(GTK_PROGRESS_BAR(widgets.bar));
    widgets.lastPulse = now;
  }
  widgets.cancel = row.cancel;
}

void GtkDownloadRows::onCancelClicked(GtkButton*, gpointer data) {
  // Cancelling may end the download at once and take this row with it, so
  // the action is copied out of the row before it runs.
  const std::function<void()> cancel = static_cast<Row*>(data)->cancel;
  if (cancel) cancel();
}

}  // namespace lumivant::gtk
