// QunaAgg2: the updater's window. It takes no arguments.
#include "program.h"

int main(int argc, char** argv) {
    return app::runUpdater(argc, argv);
}
