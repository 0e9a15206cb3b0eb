#include "sim/simulator.h"

int main(int argc, char** argv) { return kestrel::sim::runSimulatorMain(argc, argv); }
