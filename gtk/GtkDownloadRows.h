#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "GObjectPtr.h"
#include "host/Host.h"

namespace lumivant::gtk {

// The strip below the web view with one row per download in flight: its text,
// a progress bar (pulsing while the size is unknown) and a button "取消". The
// strip is hidden while there are no rows, so the web view has the window to
// itself. Each row's controls say to assistive technology which download
// they belong to.
class GtkDownloadRows {
 public:
  GtkDownloadRows();
  ~GtkDownloadRows();
  GtkDownloadRows(const GtkDownloadRows&) = delete;
  GtkDownloadRows& operator=(const GtkDownloadRows&) = delete;

  GtkWidget* widget() const { return box_.get(); }
  // Brings the strip to exactly these rows, keeping the widgets of rows that stay.
  void show(const std::vector<DownloadRow>& rows);

  // For the host's tests: the widgets of the row with this id, or null.
  GtkWidget* rowWidget(uint64_t id) const;

 private:
  struct Row {
    GtkWidget* box = nullptr;  // owned by the strip
    GtkWidget* label = nullptr;
    GtkWidget* bar = nullptr;
    GtkWidget* button = nullptr;
    std::function<void()> cancel;
    gint64 lastPulse = 0;  // monotonic microseconds
  };
  static void onCancelClicked(GtkButton*, gpointer row);
  std::unique_ptr<Row> makeRow(const DownloadRow& row);
  static void update(Row& widgets, const DownloadRow& row);
  static void nameForAssistiveTechnology(const Row& widgets, const std::string& label);

  GObjectPtr<GtkWidget> box_;
  std::map<uint64_t, std::unique_ptr<Row>> rows_;
};

inline constexpr const char* kCancelDownloadButton = "取消";
// The bar of a download of unknown size moves one step per interval at most,
// however often data arrives: GTK animates the block from the time between
// pulses, and pulses that come in bursts leave it nearly standing still.
inline constexpr gint64 kPulseIntervalMicroseconds = 100'000;

}  // namespace lumivant::gtk
