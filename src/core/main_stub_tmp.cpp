#include <cstdio>
int vemra_main(int, char**) { std::puts("vemra"); return 0; }
