#include "app/startup.h"
#include "app/working_folder.h"

int main(int argc, char** argv)
{
    // Before anything loads a picture or settings.ini by its relative name.
    enter_working_folder();
    return run_application(argc, argv);
}
