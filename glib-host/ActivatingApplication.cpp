#include "ActivatingApplication.h"

#include <cstdlib>

namespace lumivant::gtk {

namespace {

struct ActivatingApplication {
  GApplication parent;
  gchar* token;
};

struct ActivatingApplicationClass {
  GApplicationClass parent;
};

// NOLINTNEXTLINE: the GObject type macros.
G_DEFINE_TYPE(ActivatingApplication, activating_application, G_TYPE_APPLICATION)

void activating_application_init(ActivatingApplication*) {}

void finalize(GObject* object) {
  g_free(reinterpret_cast<ActivatingApplication*>(object)->token);
  G_OBJECT_CLASS(activating_application_parent_class)->finalize(object);
}

// Runs before each "activate" is emitted, with what the sender put beside it.
void beforeEmit(GApplication* application, GVariant* platformData) {
  auto* self = reinterpret_cast<ActivatingApplication*>(application);
  g_clear_pointer(&self->token, g_free);
  const gchar* token = nullptr;
  if (!g_variant_lookup(platformData, "activation-token", "&s", &token)) {
    g_variant_lookup(platformData, "desktop-startup-id", "&s", &token);
  }
  if (token && *token) self->token = g_strdup(token);
  G_APPLICATION_CLASS(activating_application_parent_class)->before_emit(application, platformData);
}

void activating_application_class_init(ActivatingApplicationClass* type) {
  G_OBJECT_CLASS(type)->finalize = finalize;
  G_APPLICATION_CLASS(type)->before_emit = beforeEmit;
}

}  // namespace

GApplication* newActivatingApplication(const char* applicationId, GApplicationFlags flags) {
  return G_APPLICATION(g_object_new(activating_application_get_type(), "application-id",
                                    applicationId, "flags", flags, nullptr));
}

std::string activationTokenOf(GApplication* application) {
  const gchar* token = reinterpret_cast<ActivatingApplication*>(application)->token;
  return token ? token : "";
}

GVariant* activationPlatformData() {
  GVariantBuilder data;
  g_variant_builder_init(&data, G_VARIANT_TYPE_VARDICT);
  const char* token = std::getenv("XDG_ACTIVATION_TOKEN");
  if (!token || !*token) token = std::getenv("DESKTOP_STARTUP_ID");
  if (token && *token) {
    g_variant_builder_add(&data, "{sv}", "activation-token", g_variant_new_string(token));
    g_variant_builder_add(&data, "{sv}", "desktop-startup-id", g_variant_new_string(token));
  }
  return g_variant_builder_end(&data);
}

}  // namespace lumivant::gtk
