#include "GtkMainQueue.h"

#include <glib.h>

namespace lumivant::gtk {

namespace {

gboolean runOnce(gpointer data) {
  (*static_cast<std::function<void()>*>(data))();
  return G_SOURCE_REMOVE;
}

void destroyWork(gpointer data) { delete static_cast<std::function<void()>*>(data); }

}  // namespace

void GtkMainQueue::post(std::function<void()> work) {
  g_idle_add_full(G_PRIORITY_DEFAULT, runOnce, new std::function<void()>(std::move(work)),
                  destroyWork);
}

void GtkMainQueue::postAfter(double seconds, std::function<void()> work) {
  const auto milliseconds = static_cast<guint>(seconds > 0 ? seconds * 1000.0 : 0.0);
  g_timeout_add_full(G_PRIORITY_DEFAULT, milliseconds, runOnce,
                     new std::function<void()>(std::move(work)), destroyWork);
}

}  // namespace lumivant::gtk
