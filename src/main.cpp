int vemra_main(int argc, char** argv);

int main(int argc, char** argv) { return vemra_main(argc, argv); }
