#include "app/hooks.h"

#include "ballistics/truing.h"
#include "ballistics/window/preview_window.h"
#include "collections/window/profile_commands.h"
#include "collections/window/profile_lists.h"
#include "editor/window/editor.h"
#include "link/carriers.h"
#include "link/download.h"
#include "link/link_state.h"
#include "link/window/link_window.h"
#include "shell/shell.h"

void fill_hooks()
{
    link_callbacks link = link_callbacks_default();
    // The window's main loop drives the link: its timeouts, and pauses and
    // pumps that keep the window drawn and answering and re-read the lists.
    link.start_timer = start_timer;
    link.stop_timer = stop_timer;
    link.sleep_ms = wait_handling_events;
    link.pump = refresh_profile_lists;
    link.status = [](const char* text) { status_message("%s", text); };
    link.progress_show = [](const char* text) { progress_show(text); };
    link.progress_fraction = [](double fraction) { progress_set_fraction(fraction); };
    link.progress_hide = [] { progress_hide(); };
    link.line_handler = handle_download_line;
    link.device_folder_changed = [] { scan_device_profiles(); };
    link.lost = show_link_lost;
    link_use(link);

    window_hooks.read_form = read_form_into_profile;
    window_hooks.load_profile = load_profile_file;
    window_hooks.write_profile = write_profile_file;
    window_hooks.settle_changes = settle_unsaved_changes;
    window_hooks.save_profile = save_current_profile;
    window_hooks.profile_left_lists = note_profile_left_lists;
    window_hooks.update_unit_labels = update_unit_labels;
    window_hooks.show_chosen_bullet = show_chosen_bullet;
    window_hooks.profile_folders_changed = [] {
        scan_pc_profiles();
        scan_device_profiles();
    };
    window_hooks.device_folder_changed = [] { scan_device_profiles(); };
    window_hooks.connect_bridge = hid_connect;

    // The solution preview follows what the form shows, and reads it as it
    // shows now (cvIn and the saved mark stay as they are).
    window_hooks.form_changed = preview_form_changed;
    window_hooks.form_profile = read_shown_profile;
    // Truing's fields reach the form as a bullet from the library does: the
    // form's edits into cvIn, the trued fields over them, the form shown
    // again and the profile marked changed.
    window_hooks.apply_trued = [](const GunProfile& trued) {
        read_form_into_profile();
        copy_trued_fields(cvIn, trued);
        show_chosen_bullet(false);
        mark_profile_state(profile_unsaved);
    };
}
