// dorvik-load-child: one process of the multi-clerk load run (a clerk, the pricing clerk or the
// summary reader), started and told when to begin by loadrun::runLoad.
#include "LoadRun.h"

int main(int argc, char** argv)
{
    return loadrun::childMain(argc, argv);
}
