#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "app/startup.h"
#include "base/console.h"
#include "shell/working_folder.h"

int main(int argc, char** argv)
{
    bool trace = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("stowline %s\n", STOWLINE_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--trace") == 0) trace = true;
    }
    // On a terminal the user reads only what is said to them (where the
    // working folder is, what went wrong); the trace (start-up steps, every
    // line sent and received) goes to a log or a pipe, or with --trace.
    if (!trace && isatty(STDOUT_FILENO)) set_console_sink([](const char*, bool) {});
    // Before anything loads a picture or settings.ini by its relative name.
    enter_working_folder();
    return run_application(argc, argv);
}
