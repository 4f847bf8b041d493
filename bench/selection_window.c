/* The floor for the program's start-up: the selection window alone, its
 * heading, four device pictures and Exit button made with GTK calls (no UI
 * definition, nothing else built), started like the program in its working
 * folder so that it loads the same pictures. */
#include <gtk/gtk.h>

static GtkWidget* picture_button(const char* file)
{
    GtkWidget* button = gtk_button_new();
    gtk_button_set_relief(GTK_BUTTON(button), GTK_RELIEF_NONE);
    gtk_widget_set_receives_default(button, TRUE);
    gtk_button_set_image(GTK_BUTTON(button), gtk_image_new_from_file(file));
    return button;
}

int main(int argc, char** argv)
{
    gtk_init(&argc, &argv);
    GtkWidget* w = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(w), "Selection Window Floor");
    gtk_window_set_resizable(GTK_WINDOW(w), FALSE);
    gtk_window_set_position(GTK_WINDOW(w), GTK_WIN_POS_CENTER_ALWAYS);

    GtkWidget* box = gtk_vbox_new(FALSE, 6);
    gtk_container_set_border_width(GTK_CONTAINER(box), 6);
    GtkWidget* heading = gtk_label_new(NULL);
    gtk_label_set_markup(GTK_LABEL(heading), "<span weight=\"bold\" size=\"large\">Please Select Your Product</span>");
    gtk_misc_set_padding(GTK_MISC(heading), 0, 6);
    gtk_box_pack_start(GTK_BOX(box), heading, FALSE, TRUE, 0);

    GtkWidget* row = gtk_hbox_new(FALSE, 6);
    const char* pictures[] = {"d_velmora.png", "d_m900.png", "d_m600.png", "d_cv_relay.png"};
    for (int i = 0; i < 4; ++i) gtk_box_pack_start(GTK_BOX(row), picture_button(pictures[i]), FALSE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(box), row, FALSE, TRUE, 6);

    GtkWidget* exit_button = gtk_button_new_with_label("Exit Application");
    gtk_widget_set_size_request(exit_button, -1, 50);
    gtk_widget_set_receives_default(exit_button, TRUE);
    g_signal_connect(exit_button, "clicked", G_CALLBACK(gtk_main_quit), NULL);
    gtk_box_pack_start(GTK_BOX(box), exit_button, FALSE, TRUE, 0);

    gtk_container_add(GTK_CONTAINER(w), box);
    g_signal_connect(w, "destroy", G_CALLBACK(gtk_main_quit), NULL);
    gtk_widget_show_all(w);
    gtk_main();
    return 0;
}
