#include "gui_support.h"

#include <cstring>

#include "shell/shell.h"

void pump_events()
{
    for (int i = 0; i < 200 && gtk_events_pending(); ++i) gtk_main_iteration_do(FALSE);
}

std::string entry_text(const char* id) { return gtk_entry_get_text(GTK_ENTRY(get_widget(id))); }

void set_entry_text(const char* id, const char* text) { gtk_entry_set_text(GTK_ENTRY(get_widget(id)), text); }

void press_enter(const char* id) { gtk_widget_activate(get_widget(id)); }

bool is_sensitive(const char* id) { return gtk_widget_is_sensitive(get_widget(id)); }
bool is_visible(const char* id) { return gtk_widget_get_visible(get_widget(id)); }

std::string label_markup_colour()
{
    GtkLabel* label = GTK_LABEL(get_widget("label5"));
    PangoAttrList* attrs = pango_layout_get_attributes(gtk_label_get_layout(label));
    if (!attrs) return "";
    PangoAttrIterator* it = pango_attr_list_get_iterator(attrs);
    std::string colour;
    if (auto* a = reinterpret_cast<PangoAttrColor*>(pango_attr_iterator_get(it, PANGO_ATTR_FOREGROUND))) {
        if (a->color.red == 0xffff && a->color.green == 0 && a->color.blue == 0) colour = "Red";
        else if (a->color.red == 0 && a->color.green == 0 && a->color.blue == 0) colour = "Black";
        else colour = "other";
    }
    pango_attr_iterator_destroy(it);
    return colour;
}

std::string label_text(const char* id) { return gtk_label_get_text(GTK_LABEL(get_widget(id))); }

std::string combo_text(const char* id)
{
    GtkComboBox* combo = GTK_COMBO_BOX(get_widget(id));
    GtkTreeIter iter;
    if (!gtk_combo_box_get_active_iter(combo, &iter)) return "";
    gchar* text = nullptr;
    gtk_tree_model_get(gtk_combo_box_get_model(combo), &iter, 0, &text, -1);
    std::string s = text ? text : "";
    g_free(text);
    return s;
}

int combo_rows(const char* id)
{
    GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(get_widget(id)));
    return model ? gtk_tree_model_iter_n_children(model, nullptr) : 0;
}

void set_combo_text(const char* id, const char* text)
{
    GtkComboBox* combo = GTK_COMBO_BOX(get_widget(id));
    GtkTreeModel* model = gtk_combo_box_get_model(combo);
    GtkTreeIter iter;
    if (!gtk_tree_model_get_iter_first(model, &iter)) return;
    do {
        gchar* row = nullptr;
        gtk_tree_model_get(model, &iter, 0, &row, -1);
        bool match = row && std::strcmp(row, text) == 0;
        g_free(row);
        if (match) {
            gtk_combo_box_set_active_iter(combo, &iter);
            return;
        }
    } while (gtk_tree_model_iter_next(model, &iter));
}

void click(const char* id) { gtk_button_clicked(GTK_BUTTON(get_widget(id))); }

void set_toggle(const char* id, bool active)
{
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(get_widget(id)), active);
}

bool toggle_active(const char* id) { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(get_widget(id))); }

std::string status_text()
{
    GtkWidget* area = gtk_statusbar_get_message_area(GTK_STATUSBAR(get_widget("id_sb")));
    GList* children = gtk_container_get_children(GTK_CONTAINER(area));
    std::string text;
    for (GList* c = children; c; c = c->next)
        if (GTK_IS_LABEL(c->data)) text = gtk_label_get_text(GTK_LABEL(c->data));
    g_list_free(children);
    return text;
}

namespace {
int g_pending_response = 0;

gboolean answer_dialog(gpointer)
{
    GList* tops = gtk_window_list_toplevels();
    for (GList* t = tops; t; t = t->next) {
        GtkWidget* w = GTK_WIDGET(t->data);
        if (GTK_IS_DIALOG(w) && !GTK_IS_ABOUT_DIALOG(w) && gtk_widget_get_visible(w)) {
            g_list_free(tops);
            gtk_dialog_response(GTK_DIALOG(w), g_pending_response);
            return FALSE;
        }
    }
    g_list_free(tops);
    return TRUE;  // not shown yet: try again
}
}  // namespace

void answer_next_dialog(int response)
{
    g_pending_response = response;
    g_timeout_add(20, answer_dialog, nullptr);
}
