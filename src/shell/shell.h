// Services every window uses: widget lookup in the one builder, the status
// bar, the progress window, the red/black "Profile Name:" label, pictures,
// list columns and cell texts, ending answered dialogs, and the hooks through
// which one window unit asks another to act.
#pragma once

#include <gtk/gtk.h>

#include <string>

struct GunProfile;  // the record (profile/gun_profile.h), passed by the hooks

extern GtkBuilder* ui_builder;

// Widget by builder id; nullptr for an unknown id.
GtkWidget* get_widget(const char* id);
// Any builder object (stores, models) by id.
GObject* get_object(const char* id);

// One message in the status bar id_sb, replacing the previous one.
void status_message(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// A failure the user has to see: shown like status_message, and kept in place
// by status_note until the next status_message or status_failure.
void status_failure(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// A remark of a background re-read (a list that could not be read whole):
// shown unless a failure stands in the bar.
void status_note(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// What the system says about `error` (an errno value), in lower case to
// follow a colon: "permission denied".
std::string system_reason(int error);
// The last part of a path: the file name a message names.
std::string file_name_of(const std::string& path);

// The answers to "Save changes to <name>?". Closing the question or Escape
// is Cancel.
enum class change_answer { save, discard, cancel };
change_answer ask_save_changes(const char* name);

gboolean progress_show(const char* label);
// Does nothing while the progress window is not shown through progress_show.
gboolean progress_set_fraction(double fraction);
gboolean progress_hide();
bool progress_is_visible();

// The states mark_profile_state shows; any value but profile_unsaved shows
// the profile as saved.
enum profile_state { profile_unsaved = 1, profile_saved = 2 };
void mark_profile_state(int state);

void show_about(GtkWidget* widget);
// Hides the emitting widget; keeps it for the next use.
gboolean hide_on_close(GtkWidget* widget);
// Ends an answered dialog from its "response" handler: hidden now, destroyed
// from an idle once the press that answered it is over. The accessibility
// layer presses a button from an idle of its own and still uses the button
// after the release that emitted "response".
void close_dialog_later(GtkWidget* dialog);

// The first widget of `type` in `widget` or below it (depth first).
GtkWidget* find_descendant(GtkWidget* widget, GType type);

// Sets `label` (mnemonic or plain) of a button whose child is a label or a box
// holding one.
void set_button_label(GtkWidget* button, const char* text);
// Loads `file` into an image widget only when it loads without error.
void set_image_file(GtkWidget* image, const char* file);

// Stores of one text column (the profile lists, the unit combos) keep it here.
constexpr int kTextColumn = 0;

// The text in `column` of a model row; "" when the cell is empty.
std::string model_text(GtkTreeModel* model, GtkTreeIter* iter, int column);
// The text in `column` of a combo box's active row; "" when none is active.
std::string combo_active_text(GtkWidget* combo, int column = 0);

// A list column showing the text of `store_column`: autosized, at least
// `min_width` wide, left-aligned, not resizable, 5 px between cells. `cell`
// receives its renderer. The caller appends it to its view.
GtkTreeViewColumn* new_text_column(const char* title, int store_column, int min_width,
                                   GtkCellRenderer** cell = nullptr);
// Gives a view its model, with alternating row shading and autosized columns.
void set_list_model(GtkTreeView* view, GtkTreeModel* model);

// Waits `ms` while the windows keep drawing and answering: pending events are
// handled during the wait instead of after it.
void wait_handling_events(unsigned ms);

// A main-loop timer: `fire` runs after `ms`, again each `ms` while it returns
// true. The id is for stop_timer, which must not be called after `fire`
// returned false.
unsigned start_timer(unsigned ms, bool (*fire)());
void stop_timer(unsigned id);

// What one window unit asks of another; filled in once at start-up by the
// layer above them. Each does nothing until then.
struct window_hook_set {
    // The editor.
    void (*read_form)();                     // the form back into cvIn
    bool (*load_profile)(const char* path);  // read a file into cvIn and show it; false when refused
    // Writes cvIn; false when not written. With `reason` the caller tells the
    // user ("permission denied" is put there), else the editor does.
    bool (*write_profile)(const char* path, std::string* reason);
    // Before the shown profile is replaced: asks about unsaved changes; false
    // when the user keeps them (Cancel, or the save failed).
    bool (*settle_changes)();
    void (*update_unit_labels)();             // unit labels and the form, after a unit change
    void (*show_chosen_bullet)(bool custom);  // cvIn after the bullet library filled it
    // The profile lists.
    void (*profile_folders_changed)();  // re-read both folders
    void (*device_folder_changed)();    // re-read the device side
    bool (*save_profile)();             // Save Profile; true when the file was written
    void (*profile_left_lists)();       // the form shows a profile of no list row (New Profile)
    // The link.
    void (*connect_bridge)();  // open the M900 cable, lamp and poll
    // The editor announces that what the form shows changed (Enter, a choice,
    // another profile shown); the solution preview follows it.
    void (*form_changed)();
    // The profile as the form shows it now, read without touching cvIn or
    // the saved mark (the solution preview's input).
    void (*form_profile)(GunProfile& out);
    // Truing's fields of `trued` into the form as edits; the profile is
    // marked changed.
    void (*apply_trued)(const GunProfile& trued);
};
extern window_hook_set window_hooks;
