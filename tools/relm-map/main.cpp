// relm-map: builds the section map file kukan.dat from its text source and dumps it back.

#include "relm_map_command.h"

#include <iostream>

int main(int argc, char **argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    return relm::runRelmMap(args, std::cout, std::cerr);
}
