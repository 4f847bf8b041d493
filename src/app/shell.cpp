#include "app/shell.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "app/console.h"
#include "link/link_gui.h"
#include "settings/device_selection.h"

GtkBuilder* ui_builder = nullptr;
int progress_visible = 0;

GtkWidget* get_widget(const char* id)
{
    GObject* obj = ui_builder ? gtk_builder_get_object(ui_builder, id) : nullptr;
    return obj && GTK_IS_WIDGET(obj) ? GTK_WIDGET(obj) : nullptr;
}

GObject* get_object(const char* id)
{
    return ui_builder ? gtk_builder_get_object(ui_builder, id) : nullptr;
}

void status_message(const char* fmt, ...)
{
    static char buffer[256];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buffer, sizeof buffer, fmt, ap);
    va_end(ap);
    // Many messages end in a line end; the one-line bar would draw it as a
    // symbol, so it is left out of what is shown.
    size_t n = std::strlen(buffer);
    while (n > 0 && (buffer[n - 1] == '\n' || buffer[n - 1] == '\r')) buffer[--n] = '\0';
    GtkWidget* sb = get_widget("id_sb");
    if (!sb) return;
    gtk_statusbar_pop(GTK_STATUSBAR(sb), 0);
    gtk_statusbar_push(GTK_STATUSBAR(sb), 0, buffer);
}

gboolean progress_show(const char* label)
{
    gtk_label_set_text(GTK_LABEL(get_widget("id_progress_lbl")), label);
    gtk_widget_show(get_widget("id_progress_win"));
    progress_visible = 1;
    return TRUE;
}

gboolean progress_set_fraction(double fraction)
{
    if (progress_visible != 1) return TRUE;
    GtkProgressBar* bar = GTK_PROGRESS_BAR(get_widget("id_progress_bar"));
    if (fraction < 0.0) fraction = 0.0;  // the toolkit rejects values outside 0..1
    if (fraction > 1.0) fraction = 1.0;
    gtk_progress_bar_set_fraction(bar, fraction);
    char text[32];
    std::snprintf(text, sizeof text, "%3.0f%c", fraction * 100.0, '%');
    gtk_progress_bar_set_text(bar, text);
    return TRUE;
}

gboolean progress_hide()
{
    gtk_widget_hide(get_widget("id_progress_win"));
    progress_visible = 0;
    return TRUE;
}

void mark_profile_state(int state)
{
    GtkLabel* label = GTK_LABEL(get_widget("label5"));
    if (!label) return;
    if (state == 1)
        gtk_label_set_markup(label, "<span weight=\"bold\" foreground=\"Red\" size=\"large\">Profile Name:</span>");
    else
        gtk_label_set_markup(label, "<span weight=\"bold\" foreground=\"Black\" size=\"large\">Profile Name:</span>");
}

void show_about(GtkWidget*)
{
    gtk_widget_show(get_widget("id_awin"));
}

gboolean hide_on_close(GtkWidget* widget)
{
    gtk_widget_hide(widget);
    return TRUE;
}

GtkWidget* find_descendant(GtkWidget* widget, GType type)
{
    if (!widget) return nullptr;
    if (G_TYPE_CHECK_INSTANCE_TYPE(widget, type)) return widget;
    if (!GTK_IS_CONTAINER(widget)) return nullptr;
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    GtkWidget* found = nullptr;
    for (GList* c = children; c && !found; c = c->next) found = find_descendant(GTK_WIDGET(c->data), type);
    g_list_free(children);
    return found;
}

void set_button_label(GtkWidget* button, const char* text)
{
    if (!button) return;
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(button));
    GtkWidget* label = find_descendant(child, GTK_TYPE_LABEL);
    if (label)
        gtk_label_set_text(GTK_LABEL(label), text);
    else
        gtk_button_set_label(GTK_BUTTON(button), text);
}

void set_image_file(GtkWidget* image, const char* file)
{
    GError* error = nullptr;
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(file, &error);
    if (error) {
        g_error_free(error);
        return;
    }
    if (image) gtk_image_set_from_pixbuf(GTK_IMAGE(image), pixbuf);
    g_object_unref(pixbuf);
}

void quit_application()
{
    save_settings();
    stop_receive_poll();
    if (gtk_main_level() > 0) gtk_main_quit();
}
