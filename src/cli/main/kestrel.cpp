#include <iostream>

#include "cli/cli.h"

int main(int argc, char** argv) { return kestrel::cli::run(argc, argv, std::cout, std::cerr); }
