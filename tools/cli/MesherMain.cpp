// velmora-mesher: the mesh import run apart from the programs that use it, under their limits.
#include "meshimport/MesherProcess.h"

int main(int argc, char** argv) { return runMesherProgram(argc, argv); }
