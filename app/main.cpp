// kadenzo: the desktop program.
#include "application.h"

int main(int argc, char** argv)
{
    return KadenzoMain(argc, argv);
}
