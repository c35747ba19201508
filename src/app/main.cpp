#include "KeloMain.h"

int main(int argc, char **argv)
{
    return keloMain(argc, argv);
}
