// Kestrel-Helper: the login item that starts the agent.
#include "helper/application_main.h"

int main(int argc, char** argv) { return application_main(argc, argv); }
