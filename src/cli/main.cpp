#include <iostream>

#include "cli/Cli.h"

int main(int argc, char** argv) { return tovi::cli::runCli(argc, argv, std::cout, std::cerr); }
