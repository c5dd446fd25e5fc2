#include "TessivaneApp.h"

int main(int argc, char *argv[])
{
    TessivaneApp app(argc, argv);
    // This start handed its file over, or had none to hand: no window.
    if (app.exitNow)
        return 1;
    return app.exec();
}
