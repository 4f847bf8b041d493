#include "app/startup.h"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/hooks.h"
#include "base/console.h"
#include "collections/window/profile_lists.h"
#include "editor/window/editor.h"
#include "library/bullet_table.h"
#include "library/window/bullet_window.h"
#include "link/window/link_window.h"
#include "profile/gun_profile.h"
#include "settings/window/device_selection.h"
#include "shell/shell.h"
#include "shell/ui_start.h"
#include "shell/working_folder.h"

const char* set_program_locale()
{
    const char* chosen = "en_US";
    if (!std::setlocale(LC_ALL, chosen)) {
        chosen = "C.UTF-8";
        if (!std::setlocale(LC_ALL, chosen)) {
            chosen = "C";
            std::setlocale(LC_ALL, chosen);
        }
    }
    // Profile texts are written and read with "." whatever the language is.
    std::setlocale(LC_NUMERIC, "C");
    return chosen;
}

namespace {

// The working folder's lock, held until the program ends.
int folder_lock_fd = -1;

void tell_already_running()
{
    std::error_code ec;
    const std::string folder = std::filesystem::current_path(ec).string();
    std::fprintf(stderr, "stowline: Stowline is already running with the working folder %s\n", folder.c_str());
    GtkWidget* d = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_INFO, GTK_BUTTONS_OK,
                                          "Stowline is already running with this working folder.");
    gtk_window_set_title(GTK_WINDOW(d), "Stowline");
    gtk_message_dialog_format_secondary_text(
        GTK_MESSAGE_DIALOG(d), "%s\n\nUse the Stowline window that is open, or quit it before starting Stowline again.",
        folder.c_str());
    gtk_window_set_position(GTK_WINDOW(d), GTK_WIN_POS_CENTER);
    gtk_dialog_run(GTK_DIALOG(d));
    gtk_widget_destroy(d);
}

}  // namespace

bool take_working_folder()
{
    if (folder_lock_fd >= 0) return true;
    int error = 0;
    switch (lock_working_folder(kWorkingFolderLock, &folder_lock_fd, &error)) {
    case folder_lock::taken: return true;
    case folder_lock::held_by_another: tell_already_running(); return false;
    case folder_lock::unavailable: break;
    }
    // A folder that cannot hold the lock (read-only) still serves one program.
    std::fprintf(stderr, "stowline: cannot lock the working folder (%s); carrying on\n", std::strerror(error));
    return true;
}

bool start_application(int* argc, char*** argv)
{
    // Trace lines reach a log or a pipe as they happen, not in blocks.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    set_program_locale();
    gtk_disable_setlocale();
    if (!gtk_init_check(argc, argv)) {
        std::fprintf(stderr, "stowline: cannot open the display\n");
        return false;
    }
    // A second program on this folder would empty the device side of the
    // first (below) and open its port: it says so and ends instead.
    if (!take_working_folder()) return false;
    console_message("String with numbers: %.2f\r\n", 2.34567);
    fill_hooks();

    // The selection window is on the screen before the rest is built. No
    // handler is connected until everything is in its start state, and what
    // the user does before then waits until it is.
    load_selection_window();
    set_window_icons({"id_sw"});
    show_window_first(get_widget("id_sw"));
    load_rest_of_ui();
    gtk_about_dialog_set_version(GTK_ABOUT_DIALOG(get_widget("id_awin")), STOWLINE_VERSION);

    std::memset(&cvIn, 0, sizeof cvIn);

    setup_bullet_list_columns();
    fill_bullet_list(kBulletListG1);
    fill_bullet_list(kBulletListG7);
    fill_bullet_list(kBulletListCustom);

    set_window_icons({"id_mw", "id_awin", "id_bl_win"});

    setup_profile_list_columns();
    console_message("Creating PC and Device list...\n");
    std::fflush(stdout);
    scan_pc_profiles();
    clear_device_folder();
    scan_device_profiles();

    new_profile(nullptr);

    prepare_port_list();

    mark_profile_state(profile_unsaved);
    set_up_form();

    connect_signals();
    return true;
}

bool quit_application()
{
    static bool settled = false;
    if (!settled && !settle_unsaved_changes()) return false;
    settled = true;
    save_settings();
    stop_receive_poll();
    if (gtk_main_level() > 0) gtk_main_quit();
    return true;
}

int run_application(int argc, char** argv)
{
    if (!start_application(&argc, &argv)) return 1;
    gtk_main();
    return 0;
}
