#include "cmd/startup.h"

int main(int argc, char** argv) { return vemra_main(argc, argv); }
