// The program: start-up, the main loop and the end of the session.
#pragma once

// Runs vemra with its command line; returns the process exit status.
int vemra_main(int argc, char** argv);
