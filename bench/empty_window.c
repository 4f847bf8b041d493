/* The floor for start-up: an empty GTK 2 window, started like the program.
 * With --text it holds one label and one button, so that it pays for font
 * set-up as any window with text does. */
#include <gtk/gtk.h>

int main(int argc, char** argv)
{
    gtk_init(&argc, &argv);
    GtkWidget* w = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(w), "Empty Window");
    if (argc > 1 && g_strcmp0(argv[1], "--text") == 0) {
        GtkWidget* box = gtk_vbox_new(FALSE, 6);
        gtk_box_pack_start(GTK_BOX(box), gtk_label_new("Please Select Your Product"), FALSE, FALSE, 0);
        gtk_box_pack_start(GTK_BOX(box), gtk_button_new_with_label("Exit Application"), FALSE, FALSE, 0);
        gtk_container_add(GTK_CONTAINER(w), box);
        gtk_widget_show_all(box);
    }
    g_signal_connect(w, "destroy", G_CALLBACK(gtk_main_quit), NULL);
    gtk_widget_show(w);
    gtk_main();
    return 0;
}
