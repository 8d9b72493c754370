#include "FileChooserSettings.h"

namespace lumivant::gtk {

namespace {

const char* saveFolder() {
  const char* downloads = g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD);
  if (downloads && g_file_test(downloads, G_FILE_TEST_IS_DIR)) return downloads;
  return g_get_home_dir();
}

}  // namespace

ChooserLook savePanelLook(const SavePanelSheet& panel) {
  return {GTK_FILE_CHOOSER_ACTION_SAVE, panel.title, "保存"};
}

void setUpSavePanel(GtkFileChooser* chooser, const SavePanelSheet& panel) {
  gtk_file_chooser_set_current_folder(chooser, saveFolder());
  gtk_file_chooser_set_current_name(chooser, panel.nameFieldStringValue.c_str());
  gtk_file_chooser_set_create_folders(chooser, panel.canCreateDirectories);
  gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
}

ChooserLook openPanelLook(const OpenPanelSheet& panel) {
  if (panel.canChooseFiles || !panel.canChooseDirectories) {
    return {GTK_FILE_CHOOSER_ACTION_OPEN, "选择文件", "打开"};
  }
  return {GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "选择文件夹", "打开"};
}

void setUpOpenPanel(GtkFileChooser* chooser, const OpenPanelSheet& panel) {
  gtk_file_chooser_set_select_multiple(chooser, panel.allowsMultipleSelection);
}

std::vector<std::string> chosenPaths(GtkFileChooser* chooser) {
  std::vector<std::string> paths;
  GSList* files = gtk_file_chooser_get_files(chooser);
  for (GSList* item = files; item; item = item->next) {
    g_autofree char* path = g_file_get_path(G_FILE(item->data));
    if (path) paths.emplace_back(path);
  }
  g_slist_free_full(files, g_object_unref);
  return paths;
}

}  // namespace lumivant::gtk
